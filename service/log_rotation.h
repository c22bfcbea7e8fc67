// Keeps the logs from filling the disk: a log that has reached its size limit
// becomes the one older generation ("Pagvigia.log" -> "Pagvigia.log.1",
// replacing an earlier ".1"), and the next entry begins a new file. The lines
// themselves are never changed.
#pragma once
#include <cstdint>
#include <string>

namespace pagvigia {

// The name of the older generation of `path`.
std::string OlderLogGeneration(const std::string& path);

// Renames the file at `path` to its older generation when it holds at least
// `limitBytes` bytes (0: no limit). True when it was renamed. Never raises: a
// log that cannot be renamed goes on growing rather than stop the service.
bool RotateLogIfFull(const std::string& path, std::uint64_t limitBytes);

}  // namespace pagvigia
