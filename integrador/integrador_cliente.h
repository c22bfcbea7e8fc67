// The component through which the service calls the Integrador. For each
// VFP-e method it draws a fresh session number, stamps it into the request
// record, turns the record into command XML, performs the file exchange
// (TComandoIntegrador) and returns a new response record parsed from the
// answer. It also offers a generic call built from a method name and
// name=value parameters, and keeps its own log file, one time-stamped line per
// step of every exchange.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "integrador/comando_integrador.h"
#include "platform/clock.h"

namespace pagvigia {

class TGerador;
class TMetodo;
class TParametro;
class TEnviarPagamento;
class TStatusPagamento;
class TRespostaFiscal;
class TVerificarStatusValidador;
class TRespostaPagamento;
class TRespostaStatusPagamento;
class TRetornoRespostaFiscal;
class TRespostaVerificarStatusValidador;

// Raised by the component; carries only a message.
class EIntegradorException : public std::runtime_error {
 public:
  explicit EIntegradorException(const std::string& message) : std::runtime_error(message) {}
};

// Lets the owner supply session numbers: may replace NumeroSessao (0 or a
// negative number keeps the drawn one).
using TIntegradorGetNumeroSessao = std::function<void(std::int32_t& NumeroSessao)>;
// Lets the owner take over logging: setting Tratado keeps the line out of the file.
using TGravarLog = std::function<void(const std::string& ALogLine, bool& Tratado)>;

class TIntegradorCliente : public TComandoIntegradorOwner {
 public:
  static constexpr std::int32_t kMaiorSessao = 999998;

  // Time of every exchange comes from `clock` and waits go through `sleeper`.
  explicit TIntegradorCliente(platform::Clock& clock = platform::SystemClock(),
                              platform::Sleeper& sleeper = platform::SystemSleeper());
  ~TIntegradorCliente() override;
  TIntegradorCliente(const TIntegradorCliente&) = delete;
  TIntegradorCliente& operator=(const TIntegradorCliente&) = delete;

  // Full path of the log file; empty: no file logging.
  std::string ArqLOG;
  TGravarLog OnGravarLog;
  TIntegradorGetNumeroSessao OnGetNumeroSessao;
  // The uniform draw from 0 to its argument behind session numbers (tests
  // replace it).
  std::function<int(int)> RandomDraw = platform::RandomInt;

  // Folders and time limit of the exchange (those of ComandoIntegrador).
  const std::string& PastaInput() const;
  void SetPastaInput(std::string_view AValue);
  const std::string& PastaOutput() const;
  void SetPastaOutput(std::string_view AValue);
  std::int32_t Timeout() const;
  void SetTimeout(std::int32_t AValue);
  // The clock and sleeper of every exchange from now on (not owned).
  void SetTempo(platform::Clock& clock, platform::Sleeper& sleeper);

  // State of the last exchange.
  bool ErroTimeout() const;
  const std::string& ErroResposta() const;    // the answer's Erro group
  const std::string& UltimaResposta() const;  // the complete last answer
  TComandoIntegrador& ComandoIntegrador() { return *FComandoIntegrador; }
  TGerador& Gerador() { return *FGerador; }

  // The generic call.
  std::vector<std::string>& Respostas() { return FRespostas; }
  std::vector<std::string>& Parametros() { return FParametros; }  // "name=value" each
  const std::string& NomeComponente() const { return FNomeComponente; }
  void SetNomeComponente(const std::string& AValue) { FNomeComponente = AValue; }
  const std::string& NomeMetodo() const { return FNomeMetodo; }
  // NomeMetodo := "H" + NomeMetodo when Homologacao, else NomeMetodo.
  void SetNomeMetodo(const std::string& NomeMetodo, bool Homologacao = false);
  std::int32_t NumeroSessao() const { return FNumeroSessao; }

  // NumeroSessao 0, NomeMetodo and NomeComponente empty, Parametros emptied.
  void Clear();
  // Draws the next session number (1 to 999998: an answer that names no
  // session reads as session 0, so 0 is never used), offering it to
  // OnGetNumeroSessao.
  std::int32_t GerarNumeroSessao();

  // The typed calls: each stamps the session number into the request (its
  // Identificador) and returns a new response record owned by the caller.
  // EComandoIntegradorException of the exchange propagates unchanged.
  std::unique_ptr<TRespostaPagamento> EnviarPagamento(TEnviarPagamento& Pagamento);
  std::unique_ptr<TRespostaStatusPagamento> EnviarStatusPagamento(TStatusPagamento& StatusPagamento);
  std::unique_ptr<TRespostaVerificarStatusValidador> VerificarStatusValidador(
      TVerificarStatusValidador& AVerificarStatusValidador);
  std::unique_ptr<TRetornoRespostaFiscal> RespostaFiscal(TRespostaFiscal& ARespostaFiscal);

  // The generic call: envelope of NomeComponente / NomeMetodo with
  // Parametros (the session number first when AdicionarNumeroSessao); returns
  // the extracted answer and splits it at "|" into Respostas.
  std::string Enviar(bool AdicionarNumeroSessao);
  // Asks the Integrador about an earlier session through the generic call.
  std::string ConsultarNumeroSessaoIntegrador(std::int32_t ANumeroSessao);
  // The XML of the generic call.
  std::string GerarArquivo();

  // Logs one message: to OnGravarLog, and unless it set Tratado, to ArqLOG.
  void DoLog(const std::string& AString) override;
  // Appends "dd/mm/yy hh:nn:ss:zzz - " + AString + CR LF to ArqLOG in
  // Windows-1252 (AString is 8-bit text); nothing when ArqLOG is empty; errors ignored.
  void GravaLog(const std::string& AString);
  // Logs "EIntegradorException: " + AMessage and raises it.
  [[noreturn]] void DoException(const std::string& AMessage);

 private:
  template <class Resposta, class Pedido>
  std::unique_ptr<Resposta> ChamadaTipada(Pedido& pedido, const char* nome);

  std::unique_ptr<TGerador> FGerador;
  std::unique_ptr<TComandoIntegrador> FComandoIntegrador;
  std::string FNomeMetodo;
  std::string FNomeComponente;
  std::int32_t FNumeroSessao = 0;
  std::unique_ptr<TParametro> FParametro;
  std::unique_ptr<TMetodo> FMetodo;
  std::vector<std::string> FParametros;
  std::vector<std::string> FRespostas;
  platform::Clock* FClock;
};

}  // namespace pagvigia
