// File and folder helpers over the platform's file operations; shared by
// every platform.
#include "platform/file_helpers.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/codepage.h"
#include "platform/files.h"

namespace pagvigia::platform {

std::string WithTrailingDelim(std::string_view path) {
  std::string p(path);
  if (!p.empty() && p.back() != kPathDelim) p += kPathDelim;
  return p;
}

void FindFiles(std::string_view FileMask, std::vector<std::string>& AStringList, bool IncludePath,
               TFindFilesSortType SortType, TFindFilesSortDirection SortDirection) {
  AStringList.clear();
  const std::string mask(FileMask);
  const std::string folder = ExtractFilePath(mask);
  std::vector<std::string> names;
  std::string last;
  for (const std::string& name : ListFolder(mask)) {
    if (!names.empty() && name == last) break;  // an enumeration that repeats itself
    last = name;
    if (std::string_view("..").find(name) != std::string_view::npos) continue;
    names.push_back(name);
  }
  if (SortType == TFindFilesSortType::fstFileName) {
    std::sort(names.begin(), names.end());
  } else if (SortType == TFindFilesSortType::fstDateTime) {
    std::vector<std::pair<std::int64_t, std::string>> keyed;
    for (auto& n : names) keyed.emplace_back(StatFile(folder + n).mtimeNs, n);
    std::stable_sort(keyed.begin(), keyed.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = keyed[i].second;
  }
  if (SortType != TFindFilesSortType::fstNone && SortDirection == TFindFilesSortDirection::sdDescending)
    std::reverse(names.begin(), names.end());
  for (auto& n : names) AStringList.push_back(IncludePath ? folder + n : n);
}

bool FilesExists(std::string_view FileName) {
  for (const std::string& name : ListFolder(std::string(FileName)))
    if (name != "." && name != "..") return true;
  return false;
}

void AppendFileBytesWhole(const std::string& path, std::string_view bytes, FileAccess access) {
  const std::uint64_t sizeBefore = StatFile(path).size;
  try {
    AppendFileBytes(path, bytes, access);
  } catch (const FileError&) {
    if (StatFile(path).size > sizeBefore) TruncateFile(path, sizeBefore);
    throw;
  }
}

void WriteToTXT(std::string_view ArqTXT, std::string_view ABinaryString, bool AppendIfExists, bool AddLineBreak,
                bool ForceDirectory, FileAccess access) {
  if (ArqTXT.empty()) return;
  const std::string path(ArqTXT);
  const bool exists = FileExists(path);
  if (exists && ABinaryString.empty()) return;
  if (!exists && ForceDirectory) {
    const std::string folder = ExtractFilePath(path);
    if (!folder.empty() && !DirectoryExists(folder)) ForceDirectories(folder);
  }
  std::string bytes(ABinaryString);
  if (AddLineBreak) bytes += "\r\n";
  if (AppendIfExists && exists)
    AppendFileBytesWhole(path, bytes, access);
  else
    WriteFileBytes(path, bytes, access);
}

void WriteToFile(std::string_view Arq, std::string_view ABinaryString) {
  WriteToTXT(Arq, ABinaryString, false, false, false);
}

void WriteLog(std::string_view ArqTXT, std::string_view ABinaryString, bool Traduz, FileAccess access) {
  if (ArqTXT.empty()) return;
  try {
    if (Traduz)
      WriteToTXT(ArqTXT, Utf8ToAnsi(ABinaryString), true, true, false, access);
    else
      WriteToTXT(ArqTXT, ABinaryString, true, true, false, access);
  } catch (...) {
    // A log that cannot be written must never stop the work it records.
  }
}

}  // namespace pagvigia::platform
