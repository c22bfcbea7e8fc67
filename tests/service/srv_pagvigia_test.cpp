// The service object on the real Firebird server: its design-time settings,
// what ServiceCreate deletes, the polling cycle's connection handling and
// clean-up, and the timer rules of the running service on a manual clock
// (first cycle one interval after the start, the next one interval after the
// previous ended, a paused service still cycling, a stop never cutting a
// cycle short).
#include "service/srv_pagvigia.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <regex>
#include <thread>
#include <utility>

#include "platform/files.h"
#include "tests/support/firebird_db.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

using namespace std::chrono_literals;

// The four tables as a shop's database has them (only the columns the
// service names).
std::string ShopSchema() {
  std::string msaut = "CREATE TABLE MSAUT (CAIXA INTEGER NOT NULL PRIMARY KEY";
  for (std::size_t i = 1; i + 2 < kSqlMSAut.size(); ++i)  // "     , NAME" lines
    msaut += ", " + std::string(kSqlMSAut[i].substr(7)) + " VARCHAR(100)";
  msaut += ");\n";
  return "CREATE TABLE PADRAO (CODIGO INTEGER NOT NULL PRIMARY KEY, CGC VARCHAR(18));\n"
         "CREATE TABLE MFE_CADASTRO_POS (CODIGO INTEGER NOT NULL PRIMARY KEY,"
         " MFE_SERIALPOS VARCHAR(40), MFE_CHAVEREQUISICAO VARCHAR(60), CODIGOESTABELECIMENTO VARCHAR(30));\n" +
         msaut +
         "CREATE TABLE MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO INTEGER NOT NULL PRIMARY KEY,"
         " MFE_SERIALPOS VARCHAR(40), MFE_CODAUTORIZACAO VARCHAR(20), MFE_BIN VARCHAR(10),"
         " MFE_DONOCARTAO VARCHAR(60), MFE_EXPIRACAO VARCHAR(10), MFE_INSTITUICAOFINANCEIRA VARCHAR(40),"
         " MFE_PARCELAS INTEGER, MFE_ULTQUATRODIGITOS INTEGER, MFE_CODIGOPAGAMENTO VARCHAR(20),"
         " MFE_VALORPAGAMENTO NUMERIC(15,4), MFE_IDPAGAMENTO VARCHAR(20) DEFAULT '0', MFE_IDLOCAL VARCHAR(20),"
         " MFE_TIPO VARCHAR(20), MFE_XML_STATUSVALIDADOR BLOB SUB_TYPE TEXT,"
         " MFE_IDRESPOSTAFISCAL VARCHAR(20) DEFAULT '0', MFE_XML_RESPOSTAFISCAL BLOB SUB_TYPE TEXT,"
         " MFE_IDSTATUSVALIDADOR VARCHAR(20) DEFAULT '0', MFE_XML_ENVIARPAGAMENTO BLOB SUB_TYPE TEXT,"
         " MFE_DATAVENDA DATE, MFE_HORAVENDA TIME, MFE_DADOSCARTAODIGITADO CHAR(1),"
         " MFE_NUMCUPOM VARCHAR(10), MFE_XMLSAT BLOB SUB_TYPE TEXT, MFE_CHAVESAT VARCHAR(50), CAIXA INTEGER);\n";
}

// The lines of the service log that begin an entry.
std::vector<std::string> Entries(const std::string& logPath) {
  std::vector<std::string> out;
  if (!platform::FileExists(logPath)) return out;
  static const std::regex entry(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - .*)");
  for (const std::string& line : platform::ReadTextLines(logPath))
    if (std::regex_match(line, entry)) out.push_back(line);
  return out;
}

// Waits a little real time and leaves the manual clock alone.
class RealNap : public platform::Sleeper {
 public:
  void SleepMs(std::int64_t) override { std::this_thread::sleep_for(1ms); }
};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

class SrvPagvigiaTest : public ::testing::Test {
 protected:
  SrvPagvigiaTest() {
    platform::ForceDirectories(FDir / "in");
    platform::ForceDirectories(FDir / "out");
    FSettings.PastaInput = FDir / "in/";
    FSettings.PastaOutput = FDir / "out/";
    FSettings.PastaCaixa = FDir.withDelim();
  }

  TSrvPagvigiaOptions Options() {
    TSrvPagvigiaOptions o;
    o.ExeDir = FDir.path();
    o.Settings = FSettings;
    o.Clock = &FClock;
    o.Sleeper = FSleeper;
    o.TimerSliceMs = 1000;
    o.OnCycleException = [this](const std::string& m) {
      std::lock_guard lock(FMutex);
      FEvents.push_back(m);
    };
    return o;
  }
  void Gestalo(const std::string& servidor, const std::string& caminho) {
    platform::WriteFileBytes(FDir / "Gestalo.ini",
                             "[Gestalo]\r\nServidor=" + servidor + "\r\nCaminho=" + caminho + "\r\n");
  }
  std::string Log() const { return FDir / "Pagvigia.log"; }
  std::vector<std::string> Events() {
    std::lock_guard lock(FMutex);
    return FEvents;
  }
  static std::string Host() { return testing::FirebirdHost(); }

  testing::TempDir FDir;
  TServiceSettings FSettings;
  platform::ManualClock FClock;
  // Tests that run cycles themselves keep the timer's waiting from moving the
  // clock, so that the armed timer never runs a cycle of its own.
  RealNap FNap;
  platform::Sleeper* FSleeper = &FNap;
  std::mutex FMutex;
  std::vector<std::string> FEvents;
};

TEST_F(SrvPagvigiaTest, CreationDeletesBothLogsAndAppliesTheDesignTimeSettings) {
  platform::WriteFileBytes(Log(), "old\r\n");
  platform::WriteFileBytes(FDir / "Pagvigia_Integrador.log", "old\r\n");
  FSettings.Timeout = 40;
  FSettings.Intervalo = 1234;
  TSrvPagvigia srv(Options());
  EXPECT_FALSE(platform::PathExists(Log()));
  EXPECT_FALSE(platform::PathExists(FDir / "Pagvigia_Integrador.log"));
  EXPECT_EQ(srv.IntegradorCliente.ArqLOG, FDir / "Pagvigia_Integrador.log");
  EXPECT_EQ(srv.IntegradorCliente.PastaInput(), FDir / "in/");
  EXPECT_EQ(srv.IntegradorCliente.PastaOutput(), FDir / "out/");
  EXPECT_EQ(srv.IntegradorCliente.Timeout(), 40);
  EXPECT_FALSE(srv.Timer1.Enabled());
  EXPECT_EQ(srv.Timer1.Interval(), 1234);

  // The connection's lasting settings; user, password, server and path are
  // the cycle's.
  EXPECT_EQ(srv.IBGestalo.Params.Value("CHARACTER SET"), "ISO8859_1");
  EXPECT_EQ(srv.IBGestalo.Protocol(), cpTCP_IP);
  EXPECT_EQ(srv.IBGestalo.SQLDialect(), 3);
  EXPECT_EQ(srv.IBGestalo.PasswordStorage, psNotSecure);
  EXPECT_EQ(srv.IBGestalo.DefaultTransaction, &srv.IB_TransPrincipal);
  // Reads in the read-only transaction, look-ups and updates in the
  // read-write one, both committing on their own.
  EXPECT_TRUE(srv.IB_TransPrincipal.ReadOnly);
  EXPECT_FALSE(srv.IBTPrincipalRW.ReadOnly);
  EXPECT_TRUE(srv.IB_TransPrincipal.AutoCommit() && srv.IBTPrincipalRW.AutoCommit());
  EXPECT_EQ(srv.QExec.FbTransaction(), &srv.IBTPrincipalRW);
  for (const TFbQuery* q : {&srv.TBEnviaMFEPendentes, &srv.TBPadrao, &srv.TBMSAut}) {
    EXPECT_EQ(q->FbConnection(), &srv.IBGestalo);
    EXPECT_EQ(q->FbTransaction(), nullptr);  // the connection's default
    EXPECT_TRUE(q->RefreshOnParamChange);    // the cycle sets CAIXA after opening
  }
}

TEST_F(SrvPagvigiaTest, UnreachableDatabaseGivesOneConnectionLinePerCycleAndNothingElse) {
  Gestalo(Host(), "/tmp/pagvigia-no-such-folder/GESTALO.FDB");
  TSrvPagvigia srv(Options());
  srv.Timer1Timer();
  FClock.Advance(1000);
  // A relative path (or an alias) goes to the server unchanged.
  Gestalo(Host(), "dados/GESTALO.FDB");
  srv.Timer1Timer();
  EXPECT_EQ(srv.IBGestalo.Path(), "dados/GESTALO.FDB");
  const auto entries = Entries(Log());
  ASSERT_EQ(entries.size(), 2u) << platform::ReadFileBytes(Log());
  // One line each: the server's message and what to do.
  for (const std::string& e : entries) {
    EXPECT_TRUE(StartsWith(e.substr(19), " - Conexão do Banco: ")) << e;
    EXPECT_NE(e.find(" — Corrija Caminho no Gestalo.ini"), std::string::npos) << e;
  }
  const std::string text = platform::ReadTextFile(Log()).text;
  EXPECT_EQ(text.find("ISC ERROR"), std::string::npos) << text;
  EXPECT_FALSE(srv.IBGestalo.Connected());
  EXPECT_TRUE(srv.Timer1.Enabled());  // re-armed by the clean-up
  EXPECT_TRUE(Events().empty());
  // The file keeps Windows-1252: "ã" is one byte.
  EXPECT_NE(platform::ReadFileBytes(Log()).find("Conex\xE3o do Banco: "), std::string::npos);
}

TEST_F(SrvPagvigiaTest, EditedGestaloIniTakesEffectAtTheNextCycle) {
  testing::FirebirdDb db(ShopSchema());
  Gestalo(db.host(), db.folder() + "/missing.fdb");
  TSrvPagvigia srv(Options());
  srv.Timer1Timer();
  ASSERT_EQ(Entries(Log()).size(), 1u);
  // Now the right database, with an empty pending set and a cash register
  // it does not know: the cycle opens and closes the queries, and says
  // which row is missing.
  Gestalo(db.host(), db.path());
  platform::WriteFileBytes(FDir / "ConfCaixa.ini", "[Caixa]\nIdCaixa=0x1A\n");
  EXPECT_EQ(srv.NumeroCaixa(), 26);
  srv.Timer1Timer();
  const auto entries = Entries(Log());
  ASSERT_EQ(entries.size(), 2u) << platform::ReadFileBytes(Log());
  EXPECT_TRUE(StartsWith(entries[1].substr(19), " - Caixa: MSAUT não tem linha para o caixa 26 ")) << entries[1];
  EXPECT_FALSE(srv.IBGestalo.Connected());
  EXPECT_FALSE(srv.TBPadrao.Active());
  EXPECT_FALSE(srv.TBMSAut.Active());
  EXPECT_FALSE(srv.TBEnviaMFEPendentes.Active());
  EXPECT_EQ(srv.IBGestalo.Username(), "USUARIO");
  EXPECT_EQ(srv.IBGestalo.Server(), db.host());
  EXPECT_EQ(srv.IBGestalo.Path(), db.path());
  EXPECT_EQ(srv.IBGestalo.Params.IndexOfName("PASSWORD"), -1);
}

TEST_F(SrvPagvigiaTest, FailureOutsideTheRowsEndsTheCycleAfterItsCleanUp) {
  testing::FirebirdDb db;  // no tables: opening the company defaults fails
  Gestalo(db.host(), db.path());
  TSrvPagvigia srv(Options());
  try {
    srv.Timer1Timer();
    FAIL() << "the cycle should have raised";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("PADRAO"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(srv.IBGestalo.Connected());
  EXPECT_FALSE(srv.TBPadrao.Active());
  EXPECT_TRUE(srv.Timer1.Enabled());
  EXPECT_TRUE(Entries(Log()).empty());  // the service log gets nothing

  // Run by the timer, the same failure goes to the event log, and the next
  // cycle still comes.
  FSleeper = &FClock;
  srv.Timer1.SetEnabled(false);
  TSrvPagvigia running(Options());
  platform::ServiceThread thread(false);
  auto execute = std::async(std::launch::async, [&] { running.ServiceExecute(thread); });
  for (int i = 0; i < 5000 && Events().size() < 2; ++i) std::this_thread::sleep_for(1ms);
  thread.Controller(platform::ServiceRequest::Stop);
  execute.get();
  const auto events = Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_NE(events[0].find("PADRAO"), std::string::npos) << events[0];
}

// The running service with a database that refuses connections at once: each
// cycle writes one line, so the log shows when the cycles ran.
class RunningServiceTest : public SrvPagvigiaTest {
 protected:
  RunningServiceTest() {
    Gestalo("127.0.0.1/1", "/x/GESTALO.FDB");
    FSleeper = &FClock;  // time flies: a minute of waiting costs nothing
  }
  void WaitEntries(std::size_t n) {
    for (int i = 0; i < 10000 && Entries(Log()).size() < n; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_GE(Entries(Log()).size(), n);
  }
};

TEST_F(RunningServiceTest, CyclesComeOneIntervalAfterStartAndAfterEachEndAndGoOnWhilePaused) {
  auto srv = std::make_unique<TSrvPagvigia>(Options());
  platform::ServiceThread thread(false);
  thread.ReportState(platform::ServiceState::Running);
  auto running = std::async(std::launch::async, [&] { srv->ServiceExecute(thread); });
  WaitEntries(2);
  thread.Controller(platform::ServiceRequest::Pause);
  for (int i = 0; i < 1000 && thread.State() != platform::ServiceState::Paused; ++i)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(thread.State(), platform::ServiceState::Paused);
  const std::size_t atPause = Entries(Log()).size();
  WaitEntries(atPause + 3);  // paused, and still cycling
  thread.Controller(platform::ServiceRequest::Continue);
  thread.Controller(platform::ServiceRequest::Stop);
  running.get();
  srv.reset();
  const auto entries = Entries(Log());
  // The manual clock starts at 10:00:00 and a refused connection takes no
  // time on it: one cycle a minute, the first at 10:01:00.
  ASSERT_GE(entries.size(), 5u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "08/12/2026 %02zu:%02zu:00 - ", 10 + (i + 1) / 60, (i + 1) % 60);
    EXPECT_TRUE(StartsWith(entries[i], expected)) << i << ": " << entries[i];
    EXPECT_NE(entries[i].find("Conexão do Banco: "), std::string::npos);
  }
  // Nothing after the service object is gone.
  EXPECT_EQ(Entries(Log()).size(), entries.size());
}

TEST_F(RunningServiceTest, StopRequestDuringACycleLetsTheCycleFinish) {
  auto srv = std::make_unique<TSrvPagvigia>(Options());
  // The log is a pipe: the cycle's log entry waits until the test reads it.
  ASSERT_EQ(::mkfifo(Log().c_str(), 0600), 0);
  platform::ServiceThread thread(false);
  auto running = std::async(std::launch::async, [&] { srv->ServiceExecute(thread); });
  // The cycle opens the log to read it: let it read nothing.
  const int w = ::open(Log().c_str(), O_WRONLY);  // blocks until the cycle opens the pipe
  ASSERT_GE(w, 0);
  EXPECT_TRUE(srv->Timer1.Busy());
  thread.Controller(platform::ServiceRequest::Stop);
  // The service body watches the stop until the cycle has ended (a second
  // stop would abandon its exchange): the cycle goes on.
  EXPECT_EQ(running.wait_for(100ms), std::future_status::timeout);
  EXPECT_TRUE(srv->Timer1.Busy());
  ::close(w);
  // Now it appends its entry: read it from the pipe.
  const int r = ::open(Log().c_str(), O_RDONLY);
  ASSERT_GE(r, 0);
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = ::read(r, buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
  ::close(r);
  running.get();
  srv.reset();
  EXPECT_NE(got.find("Conex\xE3o do Banco: "), std::string::npos) << got;
  EXPECT_EQ(got.substr(got.size() - 2), "\r\n");
}

// Passes the Integrador's waits on to the manual clock; the first one runs a
// callback before.
class FirstWaitHook : public platform::Sleeper {
 public:
  explicit FirstWaitHook(platform::ManualClock& clock) : FClock(clock) {}
  void SleepMs(std::int64_t ms) override {
    if (first) std::exchange(first, nullptr)();
    FClock.SleepMs(ms);
  }
  std::function<void()> first;

 private:
  platform::ManualClock& FClock;
};

TEST_F(RunningServiceTest, StopDuringAnExchangeFinishesThatRowAndStartsNoOtherASecondStopAbandonsIt) {
  struct Caso {
    int paradas;         // stop requests while the first row waits for its answer
    const char* desfecho;  // the row's log entry, after the time stamp
  };
  for (const Caso caso : {Caso{1, " - Envios Pendentes: Sem Resposta do Integrador (linha 1) — Verifique se o "
                                  "Integrador está rodando"},
                          Caso{2, " - Envios Pendentes: Troca com o Integrador abandonada para a parada do serviço: "
                                  "comando retirado sem ser tomado: "}}) {
    SCOPED_TRACE(caso.paradas);
    testing::FirebirdDb db(ShopSchema());
    db.Run("INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '12.345.678/0001-95');\n"
           "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (3, 'chave');\n"
           "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, MFE_SERIALPOS, MFE_VALORPAGAMENTO,"
           " MFE_DATAVENDA, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT, CAIXA)"
           " SELECT ROW_NUMBER() OVER (), 'TEF', 10, CURRENT_DATE, '1', '<CFe/>', 'k', 3 FROM RDB$TYPES ROWS 3;\n");
    Gestalo(db.host(), db.path());
    platform::WriteFileBytes(FDir / "ConfCaixa.ini", "[Caixa]\r\nIdCaixa=3\r\n");
    FirstWaitHook hook(FClock);
    FSleeper = &hook;
    TSrvPagvigiaOptions o = Options();
    o.TimerSleeper = &FClock;
    auto srv = std::make_unique<TSrvPagvigia>(o);
    platform::ServiceThread thread(false);
    // The stops come while the first row waits for its answer, each once
    // the one before has been seen. (The object outlives the cycle, even
    // while the test destroys it.)
    TSrvPagvigia* service = srv.get();
    hook.first = [&thread, service, &caso] {
      thread.Controller(platform::ServiceRequest::Stop);
      for (int i = 0; i < 5000 && !service->StopRequested(); ++i) std::this_thread::sleep_for(1ms);
      if (caso.paradas < 2) return;
      thread.Controller(platform::ServiceRequest::Stop);
      for (int i = 0; i < 5000 && !service->AbandonRequested(); ++i) std::this_thread::sleep_for(1ms);
    };
    auto running = std::async(std::launch::async, [&] { srv->ServiceExecute(thread); });
    running.get();
    srv.reset();  // after the cycle
    const auto entries = Entries(Log());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(StartsWith(entries[0].substr(19), caso.desfecho)) << entries[0];
    // No command is left for the Integrador.
    EXPECT_TRUE(platform::ListFolder(FDir / "in/*").empty());
    const std::string integrador = platform::ReadFileBytes(FDir / "Pagvigia_Integrador.log");
    std::size_t sent = 0;
    for (std::size_t at = 0; (at = integrador.find("EnviarPagamento(", at)) != std::string::npos; ++at) ++sent;
    EXPECT_EQ(sent, 1u);
  }
}

TEST_F(RunningServiceTest, FailingRowIsLoggedAndTheNextRowIsStillProcessed) {
  testing::FirebirdDb db(ShopSchema());
  db.Run("INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '12.345.678/0001-95');\n"
         "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (3, 'chave');\n"
         "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, MFE_SERIALPOS, MFE_VALORPAGAMENTO,"
         " MFE_DATAVENDA, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT, CAIXA) VALUES"
         " (1, 'TEF', 10.5, CURRENT_DATE, '1', '<CFe/>', 'k1', 3);\n"
         "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, MFE_SERIALPOS, MFE_VALORPAGAMENTO,"
         " MFE_DATAVENDA, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT, CAIXA) VALUES"
         " (2, 'TEF', 20, CURRENT_DATE, '2', '<CFe/>', 'k2', 3);\n");
  Gestalo(db.host(), db.path());
  platform::WriteFileBytes(FDir / "ConfCaixa.ini", "[Caixa]\r\nIdCaixa=3\r\n");
  // No Integrador answers: each row ends when the exchange gives up.
  auto srv = std::make_unique<TSrvPagvigia>(Options());
  platform::ServiceThread thread(false);
  auto running = std::async(std::launch::async, [&] { srv->ServiceExecute(thread); });
  WaitEntries(2);
  thread.Controller(platform::ServiceRequest::Stop);
  running.get();
  srv.reset();
  const auto entries = Entries(Log());
  ASSERT_GE(entries.size(), 2u);
  for (const std::string& e : entries)
    EXPECT_TRUE(StartsWith(e.substr(19), " - Envios Pendentes: Sem Resposta do Integrador (linha ")) << e;
  // Both rows were tried in the first cycle, the first at 10:01:00 plus the
  // exchange's time limit, and neither got anything written.
  EXPECT_LT(entries[0].substr(0, 19), entries[1].substr(0, 19));
  EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDPAGAMENTO = '0'"), "2");
  EXPECT_TRUE(Events().empty());
}

}  // namespace
}  // namespace pagvigia
