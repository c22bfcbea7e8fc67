// The three Integrador methods that the reconciliation calls, behind a small
// interface: the real one goes through the Integrador component; tests put a
// fake in its place.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pagvigia {

class TIntegradorCliente;
class TEnviarPagamento;
class TStatusPagamento;
class TRespostaFiscal;
class TRespostaPagamento;
class TRespostaStatusPagamento;
class TRetornoRespostaFiscal;

// Each call stamps the request with its session number (its Identificador),
// exchanges it and returns the answer, parsed once, owned by the caller.
// Raises when no answer comes or the exchange fails.
class TIntegradorCalls {
 public:
  virtual ~TIntegradorCalls() = default;
  virtual std::unique_ptr<TRespostaPagamento> EnviarPagamento(TEnviarPagamento& pedido) = 0;
  virtual std::unique_ptr<TRespostaStatusPagamento> EnviarStatusPagamento(TStatusPagamento& pedido) = 0;
  virtual std::unique_ptr<TRetornoRespostaFiscal> RespostaFiscal(TRespostaFiscal& pedido) = 0;

  // Told the session and the command file just before each command of the
  // three calls above is published (a re-send included); what it raises
  // ends the call with nothing published.
  using TAoPublicar = std::function<void(std::int32_t sessao, const std::string& arquivo)>;
  virtual void SetAoPublicar(TAoPublicar aoPublicar) = 0;
  // True when the last call raised after its command was withdrawn
  // unanswered (the Integrador never took it).
  virtual bool ComandoRetirado() const = 0;

  // Settling a send whose answer was never taken:
  // one look in the output folder for an answer naming `sessao` (its file is
  // taken): the whole answer, or nullopt;
  virtual std::optional<std::string> RespostaAtrasada(std::int32_t sessao) = 0;
  // removes the command file when it is still in the input folder: true
  // when the Integrador never took it;
  virtual bool RetirarComando(const std::string& arquivo) = 0;
  // asks the Integrador about the session: the answer it kept for it, or
  // nullopt when it says it never saw the session. Raises when it does not
  // reply or replies with anything else.
  virtual std::optional<std::string> ConsultarSessao(std::int32_t sessao) = 0;
};

// The calls through the Integrador component (not owned).
class TIntegradorClienteCalls : public TIntegradorCalls {
 public:
  explicit TIntegradorClienteCalls(TIntegradorCliente& cliente) : FCliente(cliente) {}
  std::unique_ptr<TRespostaPagamento> EnviarPagamento(TEnviarPagamento& pedido) override;
  std::unique_ptr<TRespostaStatusPagamento> EnviarStatusPagamento(TStatusPagamento& pedido) override;
  std::unique_ptr<TRetornoRespostaFiscal> RespostaFiscal(TRespostaFiscal& pedido) override;
  void SetAoPublicar(TAoPublicar aoPublicar) override { FAoPublicar = std::move(aoPublicar); }
  bool ComandoRetirado() const override;
  std::optional<std::string> RespostaAtrasada(std::int32_t sessao) override;
  bool RetirarComando(const std::string& arquivo) override;
  std::optional<std::string> ConsultarSessao(std::int32_t sessao) override;

  // Whether a reply to the consultation of `sessao` is the answer kept for
  // it (returned), says the session is unknown (nullopt), or neither
  // (raises EIntegradorException).
  static std::optional<std::string> InterpretarConsulta(std::int32_t sessao, const std::string& resposta);

 private:
  // Runs one typed call with AoPublicar in place.
  template <class F>
  auto Publicando(F&& chamada);

  TIntegradorCliente& FCliente;
  TAoPublicar FAoPublicar;
};

}  // namespace pagvigia
