// The shop's optional table of unfinished sends, shared by every register
// through the database.
//
// A register's journal (reconcile/diario.h) is a file in its own folder: the
// other registers cannot read it. When a register is killed after the
// Integrador accepted a step but before the row records it, another register
// that takes the row (an orphan row older than four days) would see "0" and
// send the step again. With the table, each step inserts its row here
// (committed) before its command is published, and deletes it together with
// the row's update; a step of a row listed here is not sent (one line per
// cycle) until the register that left it settles it. The POS's own tables
// and the pending selection are untouched: the table is the program's alone.
//
// The shop's DBA creates it with the script the package ships
// (packaging/sql/pagvigia_envios.sql); without it the
// program works as before, and the status check says what it protects
// against.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pagvigia {

class TFbQuery;

inline constexpr const char* kTabelaEnvios = "PAGVIGIA_ENVIOS_PENDENTES";

// One unfinished send as listed in the table.
struct TEnvioListado {
  std::int32_t Caixa = 0;
  std::string Coluna;  // the step, named by the column its id goes to
  std::int32_t Sessao = 0;
  std::string Desde;   // as the server gives the time stamp
};

// Whether the table exists (RDB$RELATIONS); result column N.
std::vector<std::string> SqlExisteTabelaEnvios();
// The row's unfinished sends (parameter IDINTERNO): IDCAIXA, ETAPA, SESSAO, DESDE.
std::vector<std::string> SqlEnviosDaLinha();
// Inserts one (parameters IDCAIXA, IDINTERNO, ETAPA, SESSAO).
std::vector<std::string> SqlInserirEnvio();
// Deletes the row's send of the step (parameters IDINTERNO, ETAPA).
std::vector<std::string> SqlApagarEnvio();
// Runs SqlEnviosDaLinha through `q` (its text is replaced) for the row and
// reads what it lists. Raises what the database raises.
std::vector<TEnvioListado> LerEnviosDaLinha(TFbQuery& q, std::int64_t idInterno);
// Every send listed, for the status check: IDCAIXA, MFE_IDENTIFICADORINTERNO,
// ETAPA, SESSAO, DESDE.
std::vector<std::string> SqlTodosEnvios();

}  // namespace pagvigia
