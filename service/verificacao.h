// What the operator's read-only looks at an installation share (the status
// check, service/status_check.h, and the explanation of one row,
// service/explica_linha.h): the report's line form, the read-only connection
// to the shop's database with the words for each way its attach fails, and
// the small text helpers of their lines.
//
// Not thread-safe; one report at a time.
#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <ostream>
#include <string>

#include "db/fb_connection.h"
#include "db/fb_transaction.h"
#include "platform/clock.h"
#include "service/conexao_banco.h"
#include "service/conselhos.h"
#include "service/status_check.h"

namespace pagvigia {

// "1 linha", "2 linhas".
std::string Plural(std::int64_t n, const char* one, const char* many);
// "DD/MM/YYYY" from the server's "YYYY-MM-DD".
std::string DateBr(const std::string& iso);
// "DD/MM/YYYY HH:MM:SS" from a journal's time stamp (YYYYMMDDHHMMSS); the
// stamp as it is when it is not one.
std::string MomentoDoDiario(const std::string& desde);

// The report: one line per check, in the service log's form,
// "DD/MM/YYYY HH:mm:ss - OK: ...", "... - AVISO: ..." or
// "... - FALHA: <what is wrong>. <what to do>".
class TRelatorio {
 public:
  TRelatorio(std::ostream& out, platform::Clock& clock) : FOut(out), FClock(clock) {}
  // False: the OK lines are left out (a report that only speaks up when
  // something is wrong).
  bool MostrarOk = true;
  void Ok(const std::string& msg) {
    if (MostrarOk) Line("OK: " + msg);
  }
  void Warn(const std::string& msg) {
    ++result.Warnings;
    Line("AVISO: " + msg);
  }
  void Fail(const std::string& wrong, const std::string& todo) {
    ++result.Failures;
    result.ExitCode = 1;
    Line("FALHA: " + wrong + ". " + todo);
  }
  void Text(const std::string& line) { FOut << "    " << line << "\n"; }
  TStatusCheckResult result;

 private:
  void Line(const std::string& msg);
  std::ostream& FOut;
  platform::Clock& FClock;
};

// The database objects of a check, set up as the cycle's connection with a
// read-only, read-committed transaction that is never committed; shared with
// the attaching thread so that a thread left waiting never outlives them.
struct TBancoLeitura {
  TFbConnection conn{"Gestalo"};
  TFbTransaction tr{&conn, "VerificacaoLeitura"};
  TBancoLeitura();
};

// Loads the client library (an OK line naming its file, or a FALHA line) and
// attaches `db` (its login, server and path already set, see
// PrepararLogin), waiting at most `connectTimeoutSec` (plus a margin for a
// server that accepts the connection and then says nothing). True when
// attached, with an OK line for the server and one for the login; otherwise
// one FALHA line saying which part failed (server, login, database file) and
// what to do (also for the library), and false. `gestalo` is what "Gestalo.ini" names. When the
// attach did not return in time, relatorio.result.AttachAbandoned is set.
bool ConectarLeitura(TRelatorio& relatorio, const std::shared_ptr<TBancoLeitura>& db, const TGestaloIni& gestalo,
                     int connectTimeoutSec);

}  // namespace pagvigia
