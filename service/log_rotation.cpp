#include "service/log_rotation.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace pagvigia {

std::string OlderLogGeneration(const std::string& path) { return path + ".1"; }

bool RotateLogIfFull(const std::string& path, std::uint64_t limitBytes) {
  if (limitBytes == 0) return false;
  const platform::FileStamp stamp = platform::StatFile(path);
  if (!stamp.exists || stamp.size < limitBytes) return false;
  std::error_code ec;
  // Replaces the earlier generation in one step.
  std::filesystem::rename(path, OlderLogGeneration(path), ec);
  return !ec;
}

}  // namespace pagvigia
