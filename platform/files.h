// File-system operations the program needs, behind one small interface so
// that the rest of the code never names a POSIX or Windows call.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia::platform {

// The platform's path delimiter: "\" on Windows, "/" elsewhere. On Windows
// the functions below also accept "/" inside the paths they are given.
#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif
// The root of the system drive, where fixed default folders live: "C:\" on
// Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr const char* kSystemRoot = "C:\\";
#else
inline constexpr const char* kSystemRoot = "/";
#endif
// The root of the drive that holds the executable, with its delimiter: "/"
// on POSIX; "C:\" or "\\server\share\" on Windows.
std::string DriveRoot();

// Where a path leads, for a service that runs under the system's own account
// (LocalSystem on Windows): this computer's disks; a network share named by
// its server ("\\server\share\..."), which the service reaches with the
// computer's account on the network, not a person's; or a drive letter
// mapped to a share, which belongs to the session of whoever mapped it and
// does not exist for the service. Always Local on POSIX.
enum class PathPlace { Local, NetworkShare, MappedDrive };
PathPlace PlaceOfPath(const std::string& path);

// Raised by the file operations below; the message names the file and the
// operating system's reason.
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& message, int code) : std::runtime_error(message), FCode(code) {}
  int code() const { return FCode; }

 private:
  int FCode;
};

// Utf8: UTF-8 without a mark, recognised only where the reader asks for it
// (settings files, see DecodeSettingsFile).
enum class TextEncoding { Ansi, Utf8Bom, Utf16LE, Utf16BE, Utf8 };

struct TextFile {
  std::string text;  // UTF-8
  TextEncoding encoding = TextEncoding::Ansi;
};

// Reads a whole text file: a byte-order mark selects UTF-8 or UTF-16 LE/BE,
// otherwise Windows-1252. The text is split into lines (CR LF, LF or CR) and
// rejoined with CR LF, with a CR LF after the last line (an empty file gives
// an empty text). Raises FileError when the file cannot be read.
TextFile ReadTextFile(const std::string& path);
// The same decoding of bytes already read (the one byte-order-mark decoder).
TextFile DecodeTextFile(std::string_view bytes);
// The encoding the first bytes announce by their byte-order mark; Ansi
// (Windows-1252) when there is none.
TextEncoding EncodingByMark(std::string_view bytes);
// The same lines without rejoining.
std::vector<std::string> ReadTextLines(const std::string& path);
// As DecodeTextFile, for a settings file a person edits: text without a mark
// that is valid UTF-8 and holds characters beyond ASCII is read as UTF-8
// (Notepad on current Windows and the Linux editors save so); other text
// without a mark is Windows-1252.
TextFile DecodeSettingsFile(std::string_view bytes);
// The encoding's name for a person: "Windows-1252", "UTF-8 com BOM",
// "UTF-16 LE", "UTF-16 BE", "UTF-8".
const char* EncodingName(TextEncoding encoding);
// Splits text into lines as ReadTextFile does (CR LF, LF or lone CR end a line).
std::vector<std::string> SplitLines(std::string_view text);
// UTF-8 text encoded for a file in the given encoding, with its mark.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

// Who may read a file the program creates. Private files hold the
// Integrador's access key and card data (the logs, the journal, the last
// cycle's state): on POSIX they are created 0640, for their owner and the
// service's group; shared ones 0644. On Windows a new file takes its folder's
// access either way. A file that exists keeps its permissions.
enum class FileAccess { Shared, Private };

// Reads all bytes of a file. Raises FileError. On Windows a file that another
// program holds open for writing cannot be read (a sharing violation), and
// the file may be deleted or replaced by its owner while it is read.
std::string ReadFileBytes(const std::string& path);
// As ReadFileBytes, for a file that its writer keeps open and appends to (a
// log): on Windows it is read while held for writing.
std::string ReadGrowingFileBytes(const std::string& path);
// Creates or truncates the file and writes the bytes. Raises FileError.
void WriteFileBytes(const std::string& path, std::string_view bytes, FileAccess access = FileAccess::Shared);
// Appends the bytes, creating the file when missing. Raises FileError.
void AppendFileBytes(const std::string& path, std::string_view bytes, FileAccess access = FileAccess::Shared);
// Replaces the file's content as one step that survives a crash or a power
// loss: the bytes go to `path` + ".tmp", which is flushed to disk and renamed
// over `path`, and the rename itself is flushed (the folder on POSIX; write-
// through on Windows). Afterwards, or after a crash at any point, the file
// holds either its old bytes or the new ones, never part of them. Raises
// FileError; a failure before the rename leaves the old file as it was.
void ReplaceFileDurably(const std::string& path, std::string_view bytes, FileAccess access = FileAccess::Shared);

bool FileExists(const std::string& path);       // a regular file (or anything but a folder)
bool RegularFileExists(const std::string& path);  // a regular file, not a device, pipe or folder
bool DirectoryExists(const std::string& path);
bool PathExists(const std::string& path);       // anything at all
// Deletes a file; false when it could not be deleted (missing included).
bool DeleteFile(const std::string& path);
// The ways RenameNoReplace can move a file, strongest first: the system's
// rename that refuses an existing target; a hard link to the new name and the
// old name dropped; a copy into a new file created exclusively, flushed to
// disk, and the old name dropped (for folders that have no hard links, such
// as network shares and FAT disks; the new name shows while it is written).
enum class RenameWay { Native, Link, Copy };
// Renames without ever replacing an existing target, trying each way from
// `first` on while the file system does not support it; false when the
// target exists or the rename failed (the error in *error when given, as an
// errno value: EEXIST for an existing target, ENOENT for a missing source; on
// Windows any other failure gives GetLastError's code). `first` is for tests,
// which take the stronger ways away; Windows has the native way only
// (MoveFile).
bool RenameNoReplace(const std::string& from, const std::string& to, int* error = nullptr,
                     RenameWay first = RenameWay::Native);
// Renames `from` to `to`, replacing `to` in one step when it exists; false
// when it failed (the error in *error when given, as for RenameNoReplace).
bool RenameReplacing(const std::string& from, const std::string& to, int* error = nullptr);
// Cuts the file to `size` bytes; false when it could not.
bool TruncateFile(const std::string& path, std::uint64_t size);
// Bytes free for this user on the disk that holds the folder; nullopt when
// unknown.
std::optional<std::uint64_t> FreeBytes(const std::string& folder);
// True for a path that names its folder from a root ("/x"; "C:\x" or
// "\\server\share" on Windows).
bool IsAbsolutePath(const std::string& path);
// Creates the folder chain; true when the folder exists afterwards.
bool ForceDirectories(const std::string& path);

// Names (without folder) of the entries of the mask's folder that match the
// mask's name part ("*" and "?" wildcards, ASCII letters in either case), in
// directory order (FindFirstFile order on Windows), "." and ".." skipped. A
// missing folder gives none.
std::vector<std::string> ListFolder(const std::string& mask);
// True when the folder's entries can be listed (it exists and this user may
// read it).
bool FolderListable(const std::string& folder);
// True when `name` matches a "*"/"?" wildcard mask.
bool MatchesMask(std::string_view name, std::string_view mask);

// What the file looks like now: used to tell a file that is still being
// written (size or modification time changing between two looks).
struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StatFile(const std::string& path);

// Absolute path of the running executable, and its folder with a delimiter.
std::string ExecutablePath();
std::string ExecutableDir();
// Folder part of a path, with its trailing delimiter ("" when none).
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);

}  // namespace pagvigia::platform
