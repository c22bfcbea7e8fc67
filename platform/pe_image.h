// What a Windows program or DLL file says about itself: the processor it is
// built for and the DLLs it imports. Read from the file's bytes on any
// platform; used to explain a client library that would not load.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia::platform {

struct PeImage {
  std::uint16_t machine = 0;         // IMAGE_FILE_HEADER's Machine: 0x014C i386, 0x8664 x86-64
  std::vector<std::string> imports;  // the DLL names of the import table, as written
  int Bits() const { return machine == 0x8664 || machine == 0xAA64 ? 64 : machine == 0x014C ? 32 : 0; }
};

// The image's header and import table; nullopt when the bytes are not a PE
// image or point outside themselves (never reads past `bytes`).
std::optional<PeImage> ReadPeImage(std::string_view bytes);

}  // namespace pagvigia::platform
