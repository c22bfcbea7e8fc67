// The service log "Pagvigia.log": one dated line per event, beside the
// executable.
#pragma once
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace pagvigia {

inline constexpr const char* kServiceLogName = "Pagvigia.log";
// The Integrador exchanges' own log, beside it (integrador/integrador_cliente.h).
inline constexpr const char* kIntegradorLogName = "Pagvigia_Integrador.log";

// "DD/MM/YYYY HH:mm:ss" of a local moment.
std::string FormatServiceLogTime(const platform::DateTime& t);

// Appends one entry, the local time, " - " and `msg`, to the log file at
// `path`. A file that exists keeps its encoding (Windows-1252 without a mark,
// or the byte-order mark it carries); a new file is Windows-1252 without a
// mark; lines end with CR LF. A message with line breaks becomes several
// lines. When the existing file cannot be read, an entry with the read error
// is added before the message's entry and the earlier content is kept. A file
// that cannot be written raises platform::FileError.
void SaveServiceLog(const std::string& path, std::string_view msg, platform::Clock& clock);

}  // namespace pagvigia
