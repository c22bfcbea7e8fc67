#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/files.h"

namespace pagvigia::platform {
namespace {

[[noreturn]] void Raise(const std::string& what, const std::string& path, int err) {
  throw FileError(what + " \"" + path + "\": " + std::strerror(err), err);
}

class Fd {
 public:
  explicit Fd(int fd) : FFd(fd) {}
  ~Fd() {
    if (FFd >= 0) ::close(FFd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return FFd; }
  int release() {
    int f = FFd;
    FFd = -1;
    return f;
  }

 private:
  int FFd;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise("Cannot write file", path, errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

mode_t ModeOf(FileAccess access) { return access == FileAccess::Private ? 0640 : 0644; }

void WriteWithFlags(const std::string& path, std::string_view bytes, int flags, FileAccess access) {
  Fd fd(::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, ModeOf(access)));
  if (fd.get() < 0) Raise("Cannot create file", path, errno);
  WriteAll(fd.get(), bytes, path);
  if (::close(fd.release()) != 0) Raise("Cannot write file", path, errno);
}

}  // namespace

std::string DriveRoot() { return "/"; }

PathPlace PlaceOfPath(const std::string&) { return PathPlace::Local; }

std::string ReadFileBytes(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) Raise("Cannot open file", path, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode)) Raise("Cannot open file", path, EISDIR);
  std::string out;
  if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise("Cannot read file", path, errno);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

void WriteFileBytes(const std::string& path, std::string_view bytes, FileAccess access) {
  WriteWithFlags(path, bytes, O_CREAT | O_TRUNC, access);
}

void AppendFileBytes(const std::string& path, std::string_view bytes, FileAccess access) {
  WriteWithFlags(path, bytes, O_CREAT | O_APPEND, access);
}

void ReplaceFileDurably(const std::string& path, std::string_view bytes, FileAccess access) {
  const std::string tmp = path + ".tmp";
  {
    // A leftover of a crash would keep its own mode under O_TRUNC.
    ::unlink(tmp.c_str());
    Fd fd(::open(tmp.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, ModeOf(access)));
    if (fd.get() < 0) Raise("Cannot create file", tmp, errno);
    WriteAll(fd.get(), bytes, tmp);
    if (::fsync(fd.get()) != 0) Raise("Cannot write file", tmp, errno);
    if (::close(fd.release()) != 0) Raise("Cannot write file", tmp, errno);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    Raise("Cannot replace file", path, err);
  }
  // The rename is on disk once the folder is.
  const std::string dir = ExtractFilePath(path);
  Fd folder(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0 || (::fsync(folder.get()) != 0 && errno != EINVAL))
    Raise("Cannot write folder", dir, errno);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

std::string ReadGrowingFileBytes(const std::string& path) { return ReadFileBytes(path); }

bool RegularFileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RenameReplacing(const std::string& from, const std::string& to, int* error) {
  const bool ok = ::rename(from.c_str(), to.c_str()) == 0;
  if (error) *error = ok ? 0 : errno;
  return ok;
}

bool TruncateFile(const std::string& path, std::uint64_t size) {
  return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
  struct statvfs s {};
  if (::statvfs(folder.c_str(), &s) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

bool FolderListable(const std::string& folder) {
  DIR* d = ::opendir(folder.c_str());
  if (!d) return false;
  ::closedir(d);
  return true;
}

namespace {

// The call failed because the file system cannot do it, not because of the
// files: the next way is worth a try.
bool Unsupported(int err) {
  return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPERM || err == ENOTSUP || err == EXDEV;
}

// Copies `from` into `to`, which must not exist yet; the copy is on disk
// before the old name goes. Returns 0 or the errno of the failure.
int CopyNoReplace(const std::string& from, const std::string& to) {
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return errno;
  struct stat st{};
  if (::fstat(in.get(), &st) != 0) return errno;
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
  if (out.get() < 0) return errno;
  int err = 0;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(in.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n && !err;) {
      const ssize_t w = ::write(out.get(), buf + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) err = errno;
      else done += w;
    }
    if (err) break;
  }
  if (!err && ::fsync(out.get()) != 0 && errno != EINVAL) err = errno;
  if (::close(out.release()) != 0 && !err) err = errno;
  if (err) {
    ::unlink(to.c_str());  // our own half copy, never someone else's file
    return err;
  }
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to, int* error, RenameWay first) {
  int err = 0;
  bool done = false;
  bool next = true;
  if (first == RenameWay::Native) {
    // Refused with EEXIST when the target exists, atomically.
    done = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
    err = done ? 0 : errno;
    next = !done && Unsupported(err);
  }
  if (next && first != RenameWay::Copy) {
    // link() fails with EEXIST instead of replacing; then drop the old name.
    done = ::link(from.c_str(), to.c_str()) == 0;
    err = done ? 0 : errno;
    if (done) ::unlink(from.c_str());
    next = !done && Unsupported(err);
  }
  if (next) {
    err = CopyNoReplace(from, to);
    done = err == 0;
  }
  if (error) *error = err;
  return done;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string p = path;
  while (p.size() > 1 && p.back() == kPathDelim) p.pop_back();
  if (DirectoryExists(p)) return true;
  const auto slash = p.find_last_of(kPathDelim);
  if (slash != std::string::npos && slash > 0) ForceDirectories(p.substr(0, slash));
  return ::mkdir(p.c_str(), 0755) == 0 || DirectoryExists(p);
}

std::vector<std::string> ListFolder(const std::string& mask) {
  std::vector<std::string> out;
  const auto slash = mask.find_last_of(kPathDelim);
  const std::string folder = slash == std::string::npos ? "." : mask.substr(0, slash + 1);
  const std::string pattern = slash == std::string::npos ? mask : mask.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return out;
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (MatchesMask(name, pattern)) out.emplace_back(name);
  }
  ::closedir(dir);
  return out;
}

FileStamp StatFile(const std::string& path) {
  struct stat st {};
  FileStamp s;
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return s;
}

std::string ExecutablePath() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string ExecutableDir() { return ExtractFilePath(ExecutablePath()); }

std::string ExtractFilePath(const std::string& path) {
  const auto slash = path.find_last_of(kPathDelim);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const auto slash = path.find_last_of(kPathDelim);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace pagvigia::platform
