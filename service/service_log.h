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
// The same, stamped with the given local moment.
void SaveServiceLog(const std::string& path, std::string_view msg, const platform::DateTime& quando);

// How grave an entry is, numbered as the journal's priorities: an error is
// something that kept a row or a cycle from being done, a warning anything
// else worth a look.
enum class TGravidadeLog { Erro = 3, Aviso = 4 };

// An entry as standard error shows it, UTF-8, each line ending with LF. For
// the journal (`journal`) each line starts with its priority ("<3>", as the
// journal reads a service's standard error) and goes without the time, which
// the journal keeps itself; otherwise it is the entry as the log holds it.
std::string EntradaConsole(const platform::DateTime& quando, std::string_view msg, TGravidadeLog gravidade,
                           bool journal);

}  // namespace pagvigia
