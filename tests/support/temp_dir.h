// A temporary folder owned by a test: created fresh, removed with its content.
// Paths use the platform's delimiter ("\" on Windows).
#pragma once
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/files.h"

namespace pagvigia::testing {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "pagvigia") {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    const std::string base = std::filesystem::temp_directory_path().string();
    for (int attempt = 0; attempt < 100 && FPath.empty(); ++attempt) {
      std::string name = prefix + "-";
      for (int i = 0; i < 6; ++i) name += kLetters[pick(gen)];
      std::string candidate = base;
      if (!candidate.empty() && candidate.back() != '/' && candidate.back() != '\\')
        candidate += platform::kPathDelim;
      candidate += name;
      std::error_code ec;
      // create_directory is false when the folder already exists.
      if (std::filesystem::create_directory(candidate, ec)) FPath = candidate;
    }
    if (FPath.empty()) throw std::runtime_error("cannot create a temporary folder in " + base);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder, without a trailing delimiter.
  const std::string& path() const { return FPath; }
  // A path inside the folder.
  std::string operator/(const std::string& name) const { return FPath + platform::kPathDelim + name; }
  // The folder with a trailing delimiter.
  std::string withDelim() const { return FPath + platform::kPathDelim; }

 private:
  std::string FPath;
};

}  // namespace pagvigia::testing
