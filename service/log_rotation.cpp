#include "service/log_rotation.h"

#include "platform/files.h"

namespace pagvigia {

std::string OlderLogGeneration(const std::string& path) { return path + ".1"; }

bool RotateLogIfFull(const std::string& path, std::uint64_t limitBytes) {
  if (limitBytes == 0) return false;
  const platform::FileStamp stamp = platform::StatFile(path);
  if (!stamp.exists || stamp.size < limitBytes) return false;
  // Replaces the earlier generation in one step.
  return platform::RenameReplacing(path, OlderLogGeneration(path));
}

}  // namespace pagvigia
