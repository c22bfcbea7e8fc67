// One command exchange with the Integrador through its two folders: the
// command is written into the input folder (as ".tmp", then renamed to
// ".xml" so that it only appears complete), the output folder is polled until
// an answer that carries the same session number arrives, and that answer is
// taken (its file deleted) and handed back.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "integrador/integrador_padroes.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace pagvigia {

class TLeitor;
class TIntegradorResposta;

// Raised by the command exchange; carries only a message.
class EComandoIntegradorException : public std::runtime_error {
 public:
  explicit EComandoIntegradorException(const std::string& message) : std::runtime_error(message) {}
};
// Two of its messages: no answer within the time limit, and a command file
// that could not be made (followed by the file's path).
inline constexpr const char* kSemRespostaIntegrador = "Sem Resposta do Integrador";
inline constexpr const char* kErroCriarArquivo = "Erro ao criar o arquivo: ";

// Receives every log line of an exchange (the Integrador component, which
// stamps and stores them).
class TComandoIntegradorOwner {
 public:
  virtual ~TComandoIntegradorOwner() = default;
  virtual void DoLog(const std::string& AString) = 0;
};

class TComandoIntegrador {
 public:
  static constexpr std::int32_t kTimeoutMinimo = 25;      // seconds: the shortest wait
  static constexpr std::int64_t kIntervaloReenvioMs = 5000;
  static constexpr std::int64_t kEsperaLoopMs = 100;      // between two scans
  static constexpr std::int64_t kEsperaVarreduraMs = 50;  // inside a scan, after listing
  static constexpr int kMaxTentativas = 5;                // read retries of one answer file
  static constexpr std::int64_t kEsperaTentativaMs = 500;

  // `AOwner` (not owned, may be null) receives the log lines. Time is taken
  // from `clock` and waited through `sleeper` (the real ones by default).
  explicit TComandoIntegrador(TComandoIntegradorOwner* AOwner,
                              platform::Clock& clock = platform::SystemClock(),
                              platform::Sleeper& sleeper = platform::SystemSleeper());
  virtual ~TComandoIntegrador();
  TComandoIntegrador(const TComandoIntegrador&) = delete;
  TComandoIntegrador& operator=(const TComandoIntegrador&) = delete;

  // Erro empty, ErroTimeout false, ComandoRetirado false, Resposta empty,
  // IntegradorResposta cleared.
  void Clear();

  const std::string& PastaInput() const { return FPastaInput; }
  const std::string& PastaOutput() const { return FPastaOutput; }
  // Unchanged when AValue equals the current text; otherwise PathWithDelim(AValue).
  void SetPastaInput(std::string_view AValue);
  void SetPastaOutput(std::string_view AValue);
  std::int32_t Timeout() const { return FTimeout; }
  void SetTimeout(std::int32_t AValue) { FTimeout = AValue; }

  // State of the last exchange.
  bool ErroTimeout() const { return FErroTimeout; }
  const std::string& Erro() const { return FErro; }          // the answer's Erro group, tags included
  const std::string& Resposta() const { return FResposta; }  // the whole matched answer, trimmed
  TIntegradorResposta& IntegradorResposta() { return *FIntegradorResposta; }
  const TIntegradorResposta& IntegradorResposta() const { return *FIntegradorResposta; }
  TLeitor& Leitor() { return *FLeitor; }
  // True when the last exchange's command was withdrawn unanswered: our own
  // deletion removed its file from the input folder, so the Integrador never
  // took it (no answer in time, or an exchange abandoned for a stop).
  bool ComandoRetirado() const { return FComandoRetirado; }

  // Asked between two scans of the output folder while an answer is awaited;
  // true when the exchange cannot wait any longer (the service must stop
  // now). The exchange is then abandoned: its command file is removed when
  // the Integrador has not taken it, one line is logged, and
  // EComandoIntegradorException is raised. Without one, an exchange always
  // waits for its answer or its time limit. Called on the exchanging thread.
  using TPedidoAbandono = std::function<bool()>;
  void SetPedidoAbandono(TPedidoAbandono pedidoAbandono) { FPedidoAbandono = std::move(pedidoAbandono); }

  // The clock and sleeper used from now on (not owned).
  void SetTempo(platform::Clock& clock, platform::Sleeper& sleeper);
  platform::Clock& Relogio() const { return *FClock; }
  platform::Sleeper& Dormidor() const { return *FSleeper; }

  // One complete exchange: writes `Comando` as the command file of `Nome` and
  // session `numeroSessao`, waits for the answer (TimeOutComando seconds, 0 or
  // less: Timeout; never less than 25 s) re-sending a command not taken within
  // 5 s, and returns the answer's returned text (the whole answer for an "EE"
  // envelope). Raises EComandoIntegradorException "Sem Resposta do Integrador"
  // when no answer arrives in time, and "Troca com o Integrador abandonada
  // para a parada do serviço: ..." when the abandon request (SetPedidoAbandono)
  // ends the wait.
  std::string EnviaComando(std::int32_t numeroSessao, const std::string& Nome, const std::string& Comando,
                           std::int32_t TimeOutComando = 0);
  // One scan of the output folder: the trimmed text of the first answer file
  // of this session (the file is then deleted), or "".
  std::string AguardaArqResposta(std::int32_t numeroSessao);
  // The `retorno` text, else the `Resposta` text of an answer; stores its
  // `Erro` group in Erro; the whole answer when neither exists and no Erro.
  std::string PegaResposta(const std::string& Resp);
  // Logs "EComandoIntegradorException: " + AMessage and raises it.
  [[noreturn]] void DoException(const std::string& AMessage);
  // Writes one command file (".tmp", then renamed without replacing to
  // ".xml") in Windows-1252; returns the final name. Just before the rename
  // the AoPublicar call (if any) is told the session and the final name;
  // what it raises leaves no file behind and ends the exchange.
  std::string CriarXml(const std::string& NomeArquivo, const std::string& Comando);

  // Told the session number and the command file's final name just before
  // each command file of an exchange is published, a re-send under a new
  // name included (empty: nothing is told).
  using TAoPublicar = std::function<void(std::int32_t numeroSessao, const std::string& arquivo)>;
  void SetAoPublicar(TAoPublicar AoPublicar) { FAoPublicar = std::move(AoPublicar); }
  // Removes the command file `Arquivo` (and its temporary file) when it is
  // still in the input folder; true when our own deletion removed it, so the
  // Integrador never took it.
  bool RetirarComando(const std::string& Arquivo);

 protected:
  // One attempt to read an answer file as text (byte-order mark, else
  // Windows-1252; lines rejoined with CR LF). Raises platform::FileError when
  // the file cannot be read.
  virtual platform::TextFile LerArquivo(const std::string& Arquivo);

 private:
  void Log(const std::string& AString);
  // Reads an answer file with up to kMaxTentativas retries; "" when it stays
  // unreadable. A file that changed between the look before and the look
  // after the read is still being written and counts as unreadable.
  std::string LerResposta(const std::string& Arquivo, platform::FileStamp antes);
  // True when the Identificador Valor of the reader's text names the session.
  bool PertenceASessao(std::int32_t numeroSessao);
  // Ends a wait that the abandon request cut short: withdraws the command
  // file when it is still in the input folder, logs and raises.
  [[noreturn]] void AbandonaTroca(const std::string& NomeArquivoXml);

  TComandoIntegradorOwner* FOwner;
  std::unique_ptr<TLeitor> FLeitor;
  std::string FPastaInput = kPastaInputPadrao;
  std::string FPastaOutput = kPastaOutputPadrao;
  std::int32_t FTimeout = kTimeoutPadrao;
  std::string FErro;
  bool FErroTimeout = false;
  bool FComandoRetirado = false;
  TPedidoAbandono FPedidoAbandono;
  std::string FResposta;
  std::unique_ptr<TIntegradorResposta> FIntegradorResposta;
  TAoPublicar FAoPublicar;
  std::int32_t FSessaoAtual = 0;  // the session of the exchange in progress
  platform::Clock* FClock;
  platform::Sleeper* FSleeper;
};

}  // namespace pagvigia
