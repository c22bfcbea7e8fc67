// The support desk's look at one card payment (switch "LINHA N", N being its
// MFE_IDENTIFICADORINTERNO): connects as a cycle does, reads that row of
// MFE_TRANSACAO_CARTOES and prints, in Portuguese (UTF-8):
//   - the row's register, sale date, amount and POS serial, and the state of
//     each of its three steps (done with its id, to be sent, not applicable);
//   - "Motivo: ...": why its next step is not done yet, as the cycle would
//     find it, the first of: nothing to send; not pending (coupon, CF-e XML
//     or key empty); another register's sale of less than four days, or of a
//     register without its MSAUT row (and from which date this register takes
//     it); no MSAUT row, or no Integrador key, for this register; the journal
//     unreadable; text the connection cannot carry; an id waiting in the
//     journal (or one too long for its column); an unfinished send of this
//     register; a send of the row listed in PAGVIGIA_ENVIOS_PENDENTES; an id
//     column too short for the step; the row claimed by another attachment
//     right now; else nothing, it goes in the next cycle;
//   - the last entries of this register's two logs that name the row: its key,
//     or a session that one of its steps used (from its recorded answers, the
//     journal and the shop's table of unfinished sends), with their times.
//
// It only reads: every statement runs in read-only transactions (the claim is
// seen by a read that does not wait, never taken), and nothing is written to
// the database, the folders or the logs. A database that cannot be reached is
// reported in the status check's words (service/verificacao.h).
//
// Not thread-safe; one look at a time per process.
#pragma once
#include <cstdint>
#include <ostream>

#include "service/status_check.h"

namespace pagvigia {

// Writes the explanation of row `idInterno` to `out`. ExitCode 0 when the row
// exists, 1 when it does not or the database could not be read.
// options.LogLines is how many entries of each log are shown at most.
TStatusCheckResult ExplicarLinha(const TStatusCheckOptions& options, std::int64_t idInterno, std::ostream& out);

}  // namespace pagvigia
