// A temporary folder owned by a test: created fresh, removed with its content.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace pagvigia::testing {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "pagvigia") {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder, without a trailing delimiter.
  const std::string& path() const { return path_; }
  // A path inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // The folder with a trailing delimiter.
  std::string withDelim() const { return path_ + "/"; }

 private:
  std::string path_;
};

}  // namespace pagvigia::testing
