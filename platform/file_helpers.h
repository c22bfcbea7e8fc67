// The file and folder helpers the rest of the program calls by name: the
// trailing path delimiter, listing a folder by mask, and writing bytes to
// text files and logs. Built over platform/files.h, so they read and behave
// the same on every platform.
//
// Paths and names are UTF-8 byte strings; file contents are bytes, written
// without byte-order mark or conversion (only WriteLog may convert, when
// asked). Lists are owned by the caller. Stateless; thread-safe as far as
// the files themselves are not shared. Failure: WriteToTXT and WriteToFile
// raise platform::FileError (platform/files.h); the listing functions and
// WriteLog never raise (apart from std::bad_alloc).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace pagvigia::platform {

// `path` with the platform's path delimiter appended, unless it is empty or
// already ends with one. No trimming: the one place that knows how a folder
// path ends.
std::string WithTrailingDelim(std::string_view path);

enum class TFindFilesSortType { fstNone, fstDateTime, fstFileName };
enum class TFindFilesSortDirection { sdAscending, sdDescending };
// AStringList emptied, then filled with the entries (files and folders) that
// match the mask ("*" and "?"), in directory order unless sorted; with
// IncludePath each carries the mask's folder part. An enumeration that
// repeats a name is cut there; "." and ".." are skipped. A missing folder
// gives an empty list.
void FindFiles(std::string_view FileMask, std::vector<std::string>& AStringList, bool IncludePath = true,
               TFindFilesSortType SortType = TFindFilesSortType::fstNone,
               TFindFilesSortDirection SortDirection = TFindFilesSortDirection::sdAscending);
// True when some entry other than "." and ".." matches the name or mask.
bool FilesExists(std::string_view FileName);
// Appends the bytes to an existing file whole or not at all: a write that
// fails half-way (a full disk) is cut back to the file's earlier end, so no
// broken line stays, and the error is raised (platform::FileError). The one
// way logs are appended to.
void AppendFileBytesWhole(const std::string& path, std::string_view bytes, FileAccess access = FileAccess::Shared);
// Writes bytes to a file: nothing when ArqTXT is empty, or when the file
// exists and the bytes are empty; appends (AppendFileBytesWhole) when
// AppendIfExists and the file exists, otherwise creates or truncates; CR LF after the bytes when AddLineBreak; creates the folder
// chain when ForceDirectory; a new file is created with `access`. Raises
// platform::FileError.
void WriteToTXT(std::string_view ArqTXT, std::string_view ABinaryString, bool AppendIfExists = true,
                bool AddLineBreak = true, bool ForceDirectory = false, FileAccess access = FileAccess::Shared);
// Creates or overwrites the file with exactly these bytes. Raises
// platform::FileError.
void WriteToFile(std::string_view Arq, std::string_view ABinaryString);
// Appends the bytes and CR LF (WriteToTXT); nothing when ArqTXT is empty;
// every error ignored, so that a log that cannot be written never stops the
// work it records. With Traduz the UTF-8 text is converted to Windows-1252
// first, otherwise the bytes go unchanged. A new file is created with `access`.
void WriteLog(std::string_view ArqTXT, std::string_view ABinaryString, bool Traduz = false,
              FileAccess access = FileAccess::Shared);

}  // namespace pagvigia::platform
