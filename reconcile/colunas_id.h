// Whether the row can hold the ids the Integrador gives: the lengths of the
// three id columns of MFE_TRANSACAO_CARTOES, read from the database's
// metadata once per connection, against the longest id each step can bring.
//
// An id that does not fit its column is refused by the update after the
// Integrador has accepted the step; the row would stay "0" and the step be
// sent again every cycle. So a step whose longest id does not fit is not sent
// at all, and the cycle says so in one line naming the column and its length.
//
// The longest ids: a payment id is recorded only when positive, and the
// answer carries it as a 32-bit integer, so at most "2147483647" (10
// characters); a status id is the decimal text of the answer's session
// number, which names the session of the exchange (1 to 999998, the digits
// of the answer's Identificador, a sign at most before them), so at most 7
// characters. A
// fiscal-response id is the answer's free text with no maximum: it is not
// checked before sending; one that does not fit stays in the journal and is
// never sent again (see reconcile/diario.h).
#pragma once
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "reconcile/diario.h"

namespace pagvigia {

class TFbQuery;

// The longest id a step can bring; nullopt when it has no maximum.
std::optional<int> MaiorIdDaEtapa(TEtapa etapa);

// Characters each id column holds, indexed by TEtapa; nullopt when the column
// is not a character column (a BLOB holds any id; a numeric column is left
// to the server) or is missing.
using TTamanhosColunasId = std::array<std::optional<int>, 3>;

// The columns of the three updates whose text goes as UTF-8 octets
// (TFbStatement::SetParametroOctetos), by name, with the most bytes each
// takes: 4 per character, 0 for a text BLOB. A UTF8 or UNICODE_FSS column
// gets the text whole only so: an ISO8859_1 connection carries a parameter
// through its own set first, where “ ” – € become control characters, and a
// NONE connection sends the system's ANSI bytes, which the column refuses.
// A WIN1252 connection carries those characters, so it sends text as it is.
using TColunasOctetos = std::map<std::string, int>;

// The metadata look-up: RDB$RELATION_FIELDS joined with RDB$FIELDS for the
// three id columns and the three answer XML columns; result columns COLUNA,
// TIPO, CARACTERES, BYTES, CONJUNTO (the character set id).
std::vector<std::string> SqlTamanhosColunasId();

// Runs the look-up through `q` (its text is replaced) and reads it; with
// `octetos`, also the columns that take octets on q's connection.
TTamanhosColunasId LerTamanhosColunasId(TFbQuery& q, TColunasOctetos* octetos = nullptr);

// The log line for a step whose longest id does not fit its column, with the
// prefix of the step's own lines; nullopt when it fits (or is not checked).
std::optional<std::string> AvisoColunaCurta(TEtapa etapa, const TTamanhosColunasId& tamanhos);

// The log line for a journal entry whose id does not fit its column (it stays
// in the journal and its step is not sent again); nullopt when it fits or the
// column's length is not known.
std::optional<std::string> AvisoIdNaoCabe(const TEntradaDiario& entrada, const TTamanhosColunasId& tamanhos);

}  // namespace pagvigia
