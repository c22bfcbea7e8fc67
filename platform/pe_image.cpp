// The PE format's headers, section table and import directory, read by
// offset with every offset checked against the file's size.
#include "platform/pe_image.h"

#include <algorithm>

namespace pagvigia::platform {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : FBytes(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= FBytes.size() && size <= FBytes.size() - offset;
  }
  std::uint32_t U16(std::uint64_t offset) const { return Le(offset, 2); }
  std::uint32_t U32(std::uint64_t offset) const { return Le(offset, 4); }
  // A zero-terminated name at `offset`; empty when it runs off the end.
  std::string Name(std::uint64_t offset) const {
    if (offset >= FBytes.size()) return {};
    const std::size_t end = FBytes.find('\0', offset);
    if (end == std::string_view::npos || end - offset > 255) return {};
    return std::string(FBytes.substr(offset, end - offset));
  }

 private:
  std::uint32_t Le(std::uint64_t offset, int n) const {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(FBytes[offset + i]);
    return v;
  }
  std::string_view FBytes;
};

}  // namespace

std::optional<PeImage> ReadPeImage(std::string_view bytes) {
  const Reader r(bytes);
  if (!r.Has(0, 0x40) || bytes.substr(0, 2) != "MZ") return std::nullopt;
  const std::uint64_t pe = r.U32(0x3C);
  if (!r.Has(pe, 24) || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
  PeImage image;
  image.machine = static_cast<std::uint16_t>(r.U16(pe + 4));
  const std::uint32_t sections = r.U16(pe + 6);
  const std::uint64_t optional = pe + 24;
  const std::uint32_t optionalSize = r.U16(pe + 20);
  if (!r.Has(optional, 2)) return image;
  // The data directories follow the optional header's fixed part, which is
  // 16 bytes longer in a 64-bit image; the import table is the second.
  const std::uint32_t magic = r.U16(optional);
  const std::uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
  if (magic != 0x10B && magic != 0x20B) return image;
  if (!r.Has(directories, 16) || directories + 16 > optional + optionalSize) return image;
  const std::uint32_t importRva = r.U32(directories + 8);
  if (importRva == 0) return image;
  const std::uint64_t table = optional + optionalSize;
  auto offsetOf = [&](std::uint32_t rva) -> std::optional<std::uint64_t> {
    for (std::uint32_t i = 0; i < sections && r.Has(table + 40ull * i, 40); ++i) {
      const std::uint64_t s = table + 40ull * i;
      const std::uint32_t address = r.U32(s + 12), size = std::max(r.U32(s + 8), r.U32(s + 16));
      if (rva >= address && rva - address < size) return std::uint64_t{r.U32(s + 20)} + (rva - address);
    }
    return std::nullopt;
  };
  auto descriptor = offsetOf(importRva);
  // Descriptors of 20 bytes, ended by one of zeros; a bound on their number
  // keeps a damaged file from running on.
  for (int n = 0; descriptor && r.Has(*descriptor, 20) && n < 1024; ++n, *descriptor += 20) {
    const std::uint32_t nameRva = r.U32(*descriptor + 12);
    if (nameRva == 0) break;
    if (const auto name = offsetOf(nameRva)) {
      std::string text = r.Name(*name);
      if (!text.empty()) image.imports.push_back(std::move(text));
    }
  }
  return image;
}

}  // namespace pagvigia::platform
