#include "service/service_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/codepage.h"
#include "platform/file_helpers.h"
#include "platform/files.h"

namespace pagvigia {

std::string FormatServiceLogTime(const platform::DateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                t.minute, t.second);
  return buf;
}

namespace {

// Every line of a text followed by CR LF, as a saved line list reads.
std::string AsLines(std::string_view text) {
  std::string out;
  for (const std::string& line : platform::SplitLines(text)) {
    out += line;
    out += "\r\n";
  }
  if (text.empty()) out = "\r\n";  // an empty message is still one line
  return out;
}

// Replaces the file's content without ever leaving it truncated: the new
// content goes to a sibling file first, which then takes the log's place. When
// the folder does not allow that, the file is rewritten in place.
void ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::string tmp = path + ".tmp";
  try {
    platform::WriteFileBytes(tmp, bytes, platform::FileAccess::Private);
  } catch (const platform::FileError&) {
    platform::DeleteFile(tmp);
    platform::WriteFileBytes(path, bytes);
    return;
  }
  if (!platform::RenameReplacing(tmp, path)) {
    platform::DeleteFile(tmp);
    platform::WriteFileBytes(path, bytes);
  }
}

// True when every CR is followed by LF, every LF preceded by CR, and the text
// is empty or ends with CR LF.
bool EndsEveryLineWithCrLf(std::string_view bytes) {
  if (bytes.empty()) return true;
  if (bytes.size() < 2 || bytes.substr(bytes.size() - 2) != "\r\n") return false;
  // Every LF preceded by CR, and as many CR as LF: then every CR is followed
  // by LF as well.
  std::size_t lf = 0;
  for (const char* p = bytes.data(); (p = static_cast<const char*>(std::memchr(
                                          p, '\n', bytes.size() - static_cast<std::size_t>(p - bytes.data()))));
       ++p) {
    if (p == bytes.data() || p[-1] != '\r') return false;
    ++lf;
  }
  return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\r')) == lf;
}

}  // namespace

std::string EntradaConsole(const platform::DateTime& quando, std::string_view msg, TGravidadeLog gravidade,
                           bool journal) {
  const std::string prefixo = journal ? "<" + std::to_string(static_cast<int>(gravidade)) + ">"
                                      : FormatServiceLogTime(quando) + " - ";
  std::string out;
  for (const std::string& line : platform::SplitLines(msg)) {
    out += (out.empty() || journal ? prefixo : std::string()) + line;
    out += "\n";
  }
  if (out.empty()) out = prefixo + "\n";
  return out;
}

void SaveServiceLog(const std::string& path, std::string_view msg, platform::Clock& clock) {
  SaveServiceLog(path, msg, clock.LocalNow());
}

void SaveServiceLog(const std::string& path, std::string_view msg, const platform::DateTime& quando) {
  const std::string stamp = FormatServiceLogTime(quando) + " - ";
  const std::string entry = AsLines(stamp + std::string(msg));

  if (!platform::FileExists(path)) {
    platform::WriteFileBytes(path, platform::EncodeText(entry, platform::TextEncoding::Ansi),
                             platform::FileAccess::Private);
    return;
  }

  std::string old;
  std::string readError;
  try {
    old = platform::ReadFileBytes(path);
  } catch (const std::exception& e) {
    readError = e.what();
  }
  if (!readError.empty()) {
    // The earlier content cannot be seen, so it cannot be rewritten: add the
    // read error and the message at the end instead of replacing the file.
    const std::string lines = AsLines(stamp + readError) + entry;
    platform::AppendFileBytesWhole(path, platform::EncodeText(lines, platform::TextEncoding::Ansi));
    return;
  }

  // A Windows-1252 or UTF-8 file whose lines all end with CR LF (always so
  // for a file this log wrote) reads back and saves as the very same bytes,
  // so the new entry is simply appended: no need to convert the whole file,
  // and a failing write cannot harm the earlier entries.
  const platform::TextEncoding mark = platform::EncodingByMark(old);
  const bool utf8 = mark == platform::TextEncoding::Utf8Bom;
  const bool utf16 = mark == platform::TextEncoding::Utf16LE || mark == platform::TextEncoding::Utf16BE;
  if (!utf16 && EndsEveryLineWithCrLf(std::string_view(old).substr(utf8 ? 3 : 0))) {
    platform::AppendFileBytesWhole(path, utf8 ? entry : platform::EncodeText(entry, platform::TextEncoding::Ansi));
    return;
  }

  // Otherwise the whole file as the line list reads it, with the new entry
  // after it, in the file's own encoding; appended when that only extends
  // the bytes already there, else written as a whole.
  const platform::TextFile text = platform::DecodeTextFile(old);
  const std::string bytes = platform::EncodeText(text.text + entry, text.encoding);
  if (bytes.size() >= old.size() && bytes.compare(0, old.size(), old) == 0) {
    platform::AppendFileBytesWhole(path, std::string_view(bytes).substr(old.size()));
  } else {
    ReplaceFile(path, bytes);
  }
}

}  // namespace pagvigia
