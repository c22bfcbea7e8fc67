// End-to-end harness: the built `pagvigia` copied into a throwaway folder with
// its INI files, a throwaway database with the shop's four tables on the real
// Firebird server, and helpers to run the program, read its two logs and read
// the rows back (through isql, independently of the program's own client).
//
// The same scenarios run against the Windows build under Wine when the
// environment says so (the Windows build's CTest sets it):
//   PAGVIGIA_E2E_WINE     the wine program; its presence selects Wine
//   PAGVIGIA_E2E_PROGRAM  the Windows build's Pagvigia.exe
//   WINEDLLPATH           the folder of the client-library thunk
//                         (tools/fbclient_thunk); its stub fbclient.dll is
//                         copied beside the program
//   WINEPREFIX, WINEDEBUG passed on to Wine
// The harness, the database and the Integrador simulator stay on the Linux
// side; the program reaches the same folders through drive Z: (its INI files
// name them as "Z:\..."), and the database string names the server's path.
#pragma once
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/firebird_db.h"
#include "tests/support/temp_dir.h"
#include "tests/support/transacao.h"

namespace pagvigia::testing {

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << bytes;
}

// The program under test: the Linux build's own executable, or the Windows
// build's under Wine (see the top of this file).
struct ProgramUnderTest {
  static const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
  }
  // The wine program, or "" for the Linux build.
  static std::string Wine() { return Env("PAGVIGIA_E2E_WINE") ? Env("PAGVIGIA_E2E_WINE") : ""; }
  static bool UnderWine() { return !Wine().empty(); }
  // The built executable that each installation copies.
  static std::string File() {
    if (!UnderWine()) return PAGVIGIA_EXE;
    const char* exe = Env("PAGVIGIA_E2E_PROGRAM");
    if (!exe) throw std::runtime_error("PAGVIGIA_E2E_WINE is set but PAGVIGIA_E2E_PROGRAM is not");
    return exe;
  }
  // Files that go beside the program: the client-library stub under Wine.
  static std::vector<std::string> Companions() {
    if (!UnderWine()) return {};
    const char* dllPath = Env("WINEDLLPATH");
    if (!dllPath) throw std::runtime_error("PAGVIGIA_E2E_WINE is set but WINEDLLPATH is not");
    return {std::string(dllPath) + "/fbclient.dll"};
  }
  // A Linux path as the program names it: unchanged, or "Z:\..." under Wine.
  static std::string Path(const std::string& linuxPath) {
    if (!UnderWine()) return linuxPath;
    std::string p = "Z:" + linuxPath;
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  // The arguments of a plain start: the foreground service loop (on Windows
  // the "CONSOLE" switch; a plain start there belongs to the service manager).
  static std::vector<std::string> PlainStart() {
    return UnderWine() ? std::vector<std::string>{"-console"} : std::vector<std::string>{};
  }
  // A switch as each platform writes it: "-linha" or "/LINHA".
  static std::string Switch(const std::string& nome) {
    if (!UnderWine()) return "-" + nome;
    std::string s = "/" + nome;
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return s;
  }
  // The signal that asks the foreground service to stop: SIGTERM, or SIGINT
  // under Wine (which delivers it to the program as Ctrl+C).
  static int StopSignal() { return UnderWine() ? SIGINT : SIGTERM; }
};

// Polls `cond` until it holds or `timeout` passes.
inline bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout,
                      std::chrono::milliseconds step = std::chrono::milliseconds(20)) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= end) return cond();
    std::this_thread::sleep_for(step);
  }
  return true;
}

// Lines of a log written in Windows-1252 with CR LF, as UTF-8.
inline std::vector<std::string> LogLines(const std::string& path) {
  std::string text = platform::AnsiToUtf8(SlurpFile(path));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find("\r\n", pos);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 2;
  }
  return lines;
}

// True when a log line starts a service-log entry ("DD/MM/YYYY HH:mm:ss - ").
inline bool IniciaEntrada(const std::string& l) {
  static const char* kForma = "99/99/9999 99:99:99 - ";
  if (l.size() < 22) return false;
  for (std::size_t i = 0; i < 22; ++i)
    if (kForma[i] == '9' ? !(l[i] >= '0' && l[i] <= '9') : l[i] != kForma[i]) return false;
  return true;
}

// The messages of the service log, one per entry; an entry whose message
// had line breaks comes back with "\n" between its lines.
inline std::vector<std::string> LogEntries(const std::string& path) {
  std::vector<std::string> out;
  for (auto& l : LogLines(path)) {
    if (IniciaEntrada(l) || out.empty())
      out.push_back(IniciaEntrada(l) ? l.substr(22) : l);
    else
      out.back() += "\n" + l;
  }
  return out;
}

// The three progress columns of one row, as "pagamento|status|fiscal"
// ("<null>" for NULL).
struct Progresso {
  std::string pagamento, status, fiscal;
  bool operator==(const Progresso&) const = default;
};
inline std::ostream& operator<<(std::ostream& o, const Progresso& p) {
  return o << "{" << p.pagamento << " | " << p.status << " | " << p.fiscal << "}";
}

// A throwaway installation of the program: its folder with the executable and
// INI files, the Integrador's two folders, the folder of "ConfCaixa.ini", and
// the shop's database.
class Instalacao {
 public:
  // `charset`: the database's default character set. `sufixo` ends the name
  // of the folder that holds the program's folder and the Integrador's, and
  // of the database's folder: accents there try the program's paths.
  explicit Instalacao(int caixa = 1, const std::string& extraSchema = "", const std::string& charset = "ISO8859_1",
                      const std::string& sufixo = "")
      : FOwnDb(std::make_unique<FirebirdDb>(ShopSchema() + extraSchema,
                                            "pagvigia-fb" + sufixo, charset)),
        FDb(FOwnDb.get()),
        FRoot("pagvigia-e2e" + sufixo) {
    Preparar(caixa);
    FDb->Run(
        "INSERT INTO PADRAO (CODIGO, RAZAOSOCIAL, FANTASIA, CGC, UF) VALUES (1, 'Mercado São João Ltda', "
        "'Mercadinho', '08.723.218/0001-86', 'SP');\n");
  }
  // Another cash register of the same shop: its own folders and Integrador,
  // the database of `loja` (which must outlive it).
  Instalacao(int caixa, Instalacao& loja) : FDb(loja.FDb), FRoot("pagvigia-e2e") { Preparar(caixa); }

 private:
  void Preparar(int caixa) {
    FDir = FRoot / "app";
    FInput = FRoot / "Integrador/Input";
    FOutput = FRoot / "Integrador/Output";
    FCaixaDir = FRoot / "caixa";
    for (auto* d : {&FDir, &FInput, &FOutput, &FCaixaDir}) std::filesystem::create_directories(*d);
    const std::string program = ProgramUnderTest::File();
    FExe = FDir + "/" + std::filesystem::path(program).filename().string();
    std::filesystem::copy_file(program, FExe, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(FExe, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    for (const auto& f : ProgramUnderTest::Companions())
      std::filesystem::copy_file(f, FDir + "/" + std::filesystem::path(f).filename().string(),
                                 std::filesystem::copy_options::overwrite_existing);
    EscreverGestalo(FDb->host(), FDb->path());
    EscreverCaixa(std::to_string(caixa));
    EscreverPagvigiaIni();
    FDb->Run("INSERT INTO MSAUT (CAIXA, SERIALHD, MFE_CHAVEACESSOINTEGRADOR) VALUES (" + std::to_string(caixa) +
             ", 'HD-0001', '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');\n");
  }

 public:
  FirebirdDb& db() { return *FDb; }
  const std::string& dir() const { return FDir; }
  const std::string& input() const { return FInput; }
  const std::string& output() const { return FOutput; }
  const std::string& root() const { return FRoot.path(); }
  // The program's copy in its folder.
  const std::string& ExePath() const { return FExe; }
  std::string ServiceLogPath() const { return FDir + "/Pagvigia.log"; }
  std::string IntegradorLogPath() const { return FDir + "/Pagvigia_Integrador.log"; }

  // An INI file as a plain Windows editor saves it: Windows-1252, no mark.
  static void EscreverIni(const std::string& path, const std::string& utf8) {
    WriteFile(path, platform::Utf8ToAnsi(utf8));
  }
  void EscreverGestalo(const std::string& servidor, const std::string& caminho) {
    EscreverIni(FDir + "/Gestalo.ini", "[Gestalo]\r\nServidor=" + servidor + "\r\nCaminho=" + caminho + "\r\n");
  }
  // "ConfCaixa.ini" (on the Linux side).
  std::string ConfCaixaPath() const { return FCaixaDir + "/ConfCaixa.ini"; }
  void EscreverCaixa(const std::string& idCaixa) {
    EscreverIni(FCaixaDir + "/ConfCaixa.ini", "[Caixa]\r\nIdCaixa=" + idCaixa + "\r\n");
  }
  // Pagvigia.ini: the Integrador's folders, its time limit (seconds; the
  // exchange waits at least 25 s) and the interval between cycles.
  void EscreverPagvigiaIni(int timeout = 25, int intervalo = 60000) {
    auto folder = [](const std::string& d) { return ProgramUnderTest::Path(d + "/"); };
    EscreverIni(FDir + "/Pagvigia.ini", "[Integrador]\r\nPastaInput=" + folder(FInput) +
                                          "\r\nPastaOutput=" + folder(FOutput) +
                                          "\r\nTimeout=" + std::to_string(timeout) +
                                          "\r\n[Servico]\r\nIntervalo=" + std::to_string(intervalo) +
                                          "\r\n[Caixa]\r\nPasta=" + folder(FCaixaDir) + "\r\n");
  }

  void Inserir(const Transacao& t) { FDb->Run(t.Insert()); }

  // The service log's entry for row `id` left without an answer.
  std::string SemResposta(int id) const {
    return "Envios Pendentes: Sem Resposta do Integrador (linha " + std::to_string(id) +
           ") — Verifique se o Integrador está rodando e se PastaInput é a pasta que ele lê (" +
           ProgramUnderTest::Path(FInput + "/") + ")";
  }

  Progresso Linha(int id) {
    auto v = FDb->Scalar(
        "SELECT COALESCE(MFE_IDPAGAMENTO, '<null>') || '|' || COALESCE(MFE_IDSTATUSVALIDADOR, '<null>') || '|' "
        "|| COALESCE(MFE_IDRESPOSTAFISCAL, '<null>') FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO = " +
        std::to_string(id));
    Progresso p;
    auto a = v.find('|'), b = v.find('|', a + 1);
    p.pagamento = v.substr(0, a);
    p.status = v.substr(a + 1, b - a - 1);
    p.fiscal = v.substr(b + 1);
    return p;
  }
  // A text column of one row (BLOBs included) on one line: CR and LF shown
  // as "\r" and "\n".
  std::string Coluna(int id, const std::string& coluna) {
    return FDb->Scalar("SELECT REPLACE(REPLACE(COALESCE(CAST(" + coluna +
                      " AS VARCHAR(8000)), '<null>'), ASCII_CHAR(13), '\\r'), ASCII_CHAR(10), '\\n') FROM "
                      "MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO = " +
                      std::to_string(id));
  }

  // Runs `pagvigia` with the given arguments in the background (under Wine
  // for the Windows build: the process is then the program itself, as wine
  // executes it in place).
  // Each run starts with empty logs, so that a test reads what that run
  // wrote (a single cycle appends to the logs it finds), unless `logsVazios`
  // is false.
  std::unique_ptr<ChildProcess> Iniciar(const std::vector<std::string>& args, bool logsVazios = true) {
    ++FRuns;
    for (const std::string& log : {ServiceLogPath(), IntegradorLogPath()})
      if (logsVazios && platform::FileExists(log)) platform::DeleteFile(log);
    // The working folder is a different one on purpose: the program must find
    // its files beside its executable, not in the current folder.
    ChildOptions o = ChildOptions().In(FRoot.path()).Output(OutPath(), ErrPath());
    o.stopSignal = ProgramUnderTest::StopSignal();
    if (!ProgramUnderTest::UnderWine()) return std::make_unique<ChildProcess>(FExe, args, o);
    std::vector<std::string> wineArgs{FExe};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(ProgramUnderTest::Wine(), wineArgs, o);
  }
  // The foreground service loop (see ProgramUnderTest::PlainStart).
  std::unique_ptr<ChildProcess> IniciarServico() { return Iniciar(ProgramUnderTest::PlainStart()); }
  std::string OutPath() const { return FRoot / ("out-" + std::to_string(FRuns) + ".txt"); }
  // For a failure message: what the last run wrote to standard error and
  // output, and the service log.
  std::string Saidas() const {
    return "stderr: [" + SlurpFile(ErrPath()) + "]\nstdout: [" + SlurpFile(OutPath()) + "]\nPagvigia.log: [" +
           SlurpFile(ServiceLogPath()) + "]";
  }
  std::string ErrPath() const { return FRoot / ("err-" + std::to_string(FRuns) + ".txt"); }
  // What the last run wrote to standard error, its lines ending with LF (the
  // Windows build's end with CR LF).
  std::string Erros() const {
    std::string err = SlurpFile(ErrPath());
    std::erase(err, '\r');
    return err;
  }

  // Runs `pagvigia -once` to its end; returns its exit status.
  int RodarUmCiclo(std::chrono::seconds limite = std::chrono::seconds(240)) {
    auto p = Iniciar({"-once"});
    if (!p->Wait(limite)) {
      p->Signal(SIGKILL);
      p->Wait(std::chrono::seconds(10));
      throw std::runtime_error("pagvigia -once did not end in time");
    }
    return p->ExitCode();
  }

  std::vector<std::string> ServiceLog() const { return LogLines(ServiceLogPath()); }
  std::vector<std::string> ServiceLogMessages() const { return LogEntries(ServiceLogPath()); }
  std::string IntegradorLog() const { return platform::AnsiToUtf8(SlurpFile(IntegradorLogPath())); }

 private:
  std::unique_ptr<FirebirdDb> FOwnDb;
  FirebirdDb* FDb;
  TempDir FRoot;
  std::string FDir, FInput, FOutput, FCaixaDir, FExe;
  int FRuns = 0;
};

}  // namespace pagvigia::testing
