// Files on Windows: the wide (W) functions, paths converted from UTF-8 at
// the edge. "/" is accepted as a delimiter in the paths given, "\" is the one
// the program writes.
#include "platform/files.h"
#include "platform/win_text.h"

#include <cerrno>

#include <algorithm>
#include <vector>

namespace pagvigia::platform {
namespace {

bool IsDelim(char c) { return c == '\\' || c == '/'; }

// A file held by another program is tried again this often, this far apart.
constexpr int kHeldFileAttempts = 20;
constexpr DWORD kHeldFileWaitMs = 50;

[[noreturn]] void Raise(const std::string& what, const std::string& path, DWORD err) {
  throw FileError(what + " \"" + path + "\": " + ErrorText(err), static_cast<int>(err));
}

class Handle {
 public:
  explicit Handle(HANDLE h) : FHandle(h) {}
  ~Handle() {
    if (FHandle != INVALID_HANDLE_VALUE) ::CloseHandle(FHandle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return FHandle; }
  bool valid() const { return FHandle != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE h = FHandle;
    FHandle = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE FHandle;
};

// Opens for writing; the file may be read by others meanwhile only by a
// reader that allows writing, which the program's own reads do not.
void WriteWith(const std::string& path, std::string_view bytes, DWORD access, DWORD disposition) {
  Handle h(::CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) Raise("Cannot create file", path, ::GetLastError());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(h.get(), bytes.data() + done, chunk, &written, nullptr))
      Raise("Cannot write file", path, ::GetLastError());
    done += written;
  }
  if (!::CloseHandle(h.release())) Raise("Cannot write file", path, ::GetLastError());
}

// The system's error as the errno value callers compare with on both builds
// (an existing target, a missing source); any other code passes unchanged.
int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return static_cast<int>(code);
  }
}

// Runs `call` (a system call that returns nonzero on success) again while it
// fails because another program holds the file for a moment (an antivirus
// scanner or a backup opening each new file): for about a second, then the
// failure counts. The last error is the call's own.
template <class Call>
bool Retrying(Call call) {
  for (int attempt = 0;; ++attempt) {
    if (call()) return true;
    const DWORD err = ::GetLastError();
    if ((err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED && err != ERROR_LOCK_VIOLATION) ||
        attempt >= kHeldFileAttempts) {
      ::SetLastError(err);
      return false;
    }
    ::Sleep(kHeldFileWaitMs);
  }
}

// Opens an existing file for reading, sharing what the caller allows.
std::string ReadSharing(const std::string& path, DWORD share) {
  Handle h(::CreateFileW(Widen(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
  if (!h.valid()) Raise("Cannot open file", path, ::GetLastError());
  std::string out;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h.get(), &size) && size.QuadPart > 0) out.reserve(static_cast<std::size_t>(size.QuadPart));
  char buf[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h.get(), buf, sizeof buf, &n, nullptr)) Raise("Cannot read file", path, ::GetLastError());
    if (n == 0) break;
    out.append(buf, n);
  }
  return out;
}

DWORD Attributes(const std::string& path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesW(Widen(path).c_str());
}

}  // namespace

std::string DriveRoot() {
  // "C:\" for a drive letter, "\\server\share\" for a network path.
  const std::string exe = ExecutablePath();
  if (exe.size() >= 2 && exe[1] == ':') return exe.substr(0, 2) + kPathDelim;
  if (exe.size() >= 2 && IsDelim(exe[0]) && IsDelim(exe[1])) {
    std::size_t end = exe.find_first_of("\\/", 2);  // after the server
    if (end != std::string::npos) end = exe.find_first_of("\\/", end + 1);  // after the share
    std::string root = exe.substr(0, end);
    for (char& c : root)
      if (c == '/') c = kPathDelim;
    return root + kPathDelim;
  }
  return std::string(1, kPathDelim);
}

PathPlace PlaceOfPath(const std::string& path) {
  std::string p = path;
  // "\\?\UNC\server\share" and "\\?\C:\": the long forms of the same places.
  if (p.size() >= 4 && IsDelim(p[0]) && IsDelim(p[1]) && (p[2] == '?' || p[2] == '.') && IsDelim(p[3])) {
    p = p.substr(4);
    if (p.size() >= 4 && (p.compare(0, 3, "UNC") == 0 || p.compare(0, 3, "unc") == 0) && IsDelim(p[3]))
      return PathPlace::NetworkShare;
  } else if (p.size() >= 2 && IsDelim(p[0]) && IsDelim(p[1])) {
    return PathPlace::NetworkShare;
  }
  const auto letter = static_cast<unsigned char>(p.empty() ? 0 : p[0]);
  if (p.size() >= 2 && p[1] == ':' && ((letter | 0x20) >= 'a' && (letter | 0x20) <= 'z')) {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
    if (::GetDriveTypeW(root) == DRIVE_REMOTE) return PathPlace::MappedDrive;
  }
  return PathPlace::Local;
}

std::string ReadFileBytes(const std::string& path) {
  // Not sharing writes: a file that some program still holds open for
  // writing is refused with a sharing violation instead of read half-written.
  // Sharing deletes: its owner may delete or replace it meanwhile (the
  // Integrador its answer, the service its journal).
  return ReadSharing(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
}

std::string ReadGrowingFileBytes(const std::string& path) {
  return ReadSharing(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

void WriteFileBytes(const std::string& path, std::string_view bytes, FileAccess) {
  WriteWith(path, bytes, GENERIC_WRITE, CREATE_ALWAYS);
}

void AppendFileBytes(const std::string& path, std::string_view bytes, FileAccess) {
  WriteWith(path, bytes, FILE_APPEND_DATA, OPEN_ALWAYS);
}

void ReplaceFileDurably(const std::string& path, std::string_view bytes, FileAccess) {
  const std::string tmp = path + ".tmp";
  {
    Handle h(::CreateFileW(Widen(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    if (!h.valid()) Raise("Cannot create file", tmp, ::GetLastError());
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(h.get(), bytes.data() + done, chunk, &written, nullptr))
        Raise("Cannot write file", tmp, ::GetLastError());
      done += written;
    }
    if (!::FlushFileBuffers(h.get())) Raise("Cannot write file", tmp, ::GetLastError());
    if (!::CloseHandle(h.release())) Raise("Cannot write file", tmp, ::GetLastError());
  }
  // Write-through: the call returns once the rename is on disk.
  if (!Retrying([&] {
        return ::MoveFileExW(Widen(tmp).c_str(), Widen(path).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
      })) {
    const DWORD err = ::GetLastError();
    Retrying([&] { return ::DeleteFileW(Widen(tmp).c_str()); });
    Raise("Cannot replace file", path, err);
  }
}

bool RenameReplacing(const std::string& from, const std::string& to, int* error) {
  const bool ok = Retrying(
      [&] { return ::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING); });
  if (error) *error = ok ? 0 : ErrnoOf(::GetLastError());
  return ok;
}

bool RegularFileExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool TruncateFile(const std::string& path, std::uint64_t size) {
  Handle h(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return false;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(h.get());
}

std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(Widen(folder).c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

bool FolderListable(const std::string& folder) {
  std::string mask = folder;
  if (mask.empty() || !IsDelim(mask.back())) mask += kPathDelim;
  WIN32_FIND_DATAW data{};
  HANDLE h = ::FindFirstFileExW(Widen(mask + "*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  ::FindClose(h);
  return true;
}

bool IsAbsolutePath(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && IsDelim(path[2])) ||
         (path.size() >= 2 && IsDelim(path[0]) && IsDelim(path[1]));
}

bool PathExists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool FileExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::string& path) {
  return !path.empty() && Retrying([&] { return ::DeleteFileW(Widen(path).c_str()); });
}

bool RenameNoReplace(const std::string& from, const std::string& to, int* error, RenameWay) {
  // MoveFile never replaces an existing target (ERROR_ALREADY_EXISTS), on
  // every file system: the one way there is.
  const bool ok = Retrying([&] { return ::MoveFileW(Widen(from).c_str(), Widen(to).c_str()); });
  if (error) *error = ok ? 0 : ErrnoOf(::GetLastError());
  return ok;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string p = path;
  while (p.size() > 1 && IsDelim(p.back())) p.pop_back();
  if (DirectoryExists(p)) return true;
  const auto slash = p.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0) ForceDirectories(p.substr(0, slash));
  return ::CreateDirectoryW(Widen(p).c_str(), nullptr) || DirectoryExists(p);
}

std::vector<std::string> ListFolder(const std::string& mask) {
  std::vector<std::string> out;
  const auto slash = mask.find_last_of("\\/:");
  const std::string pattern = slash == std::string::npos ? mask : mask.substr(slash + 1);
  WIN32_FIND_DATAW data{};
  // The long names only: the system would also match a mask against the
  // short 8.3 names ("*.xml" finding "a.xmlx"), which the mask test below
  // leaves out.
  HANDLE h = ::FindFirstFileExW(Widen(mask).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    const std::string name = Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    if (MatchesMask(name, pattern)) out.push_back(name);
  } while (::FindNextFileW(h, &data));
  ::FindClose(h);
  return out;
}

FileStamp StatFile(const std::string& path) {
  FileStamp s;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
    return s;
  s.exists = true;
  s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  // 100 ns ticks since 1601, counted from 1970 as on POSIX (from 1601 the
  // nanoseconds would not fit).
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime;
  s.mtimeNs = (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
  return s;
}

std::string ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return Narrow(std::wstring_view(buf.data(), n));
    buf.resize(buf.size() * 2);
  }
}

std::string ExecutableDir() { return ExtractFilePath(ExecutablePath()); }

std::string ExtractFilePath(const std::string& path) {
  const auto slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const auto slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace pagvigia::platform
