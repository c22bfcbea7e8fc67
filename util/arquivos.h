// The file and folder helpers under the names the text utilities give them.
// The implementations are the platform's (platform/file_helpers.h, which
// states their contract); PathWithDelim adds the trimming these utilities
// promise.
#pragma once
#include <string>
#include <string_view>

#include "platform/file_helpers.h"

namespace pagvigia {

// APath trimmed of blanks (util/texto.h), with the platform's path delimiter
// appended unless it is empty or already ends with it. Never raises (apart
// from std::bad_alloc).
std::string PathWithDelim(std::string_view APath);

using platform::FilesExists;
using platform::FindFiles;
using platform::TFindFilesSortDirection;
using platform::TFindFilesSortType;
using platform::WriteLog;
using platform::WriteToFile;
using platform::WriteToTXT;

}  // namespace pagvigia
