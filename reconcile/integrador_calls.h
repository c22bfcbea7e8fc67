// The three Integrador methods that the reconciliation calls, behind a small
// interface: the real one goes through the Integrador component; tests put a
// fake in its place.
#pragma once
#include <memory>

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
};

// The calls through the Integrador component (not owned).
class TIntegradorClienteCalls : public TIntegradorCalls {
 public:
  explicit TIntegradorClienteCalls(TIntegradorCliente& cliente) : FCliente(cliente) {}
  std::unique_ptr<TRespostaPagamento> EnviarPagamento(TEnviarPagamento& pedido) override;
  std::unique_ptr<TRespostaStatusPagamento> EnviarStatusPagamento(TStatusPagamento& pedido) override;
  std::unique_ptr<TRetornoRespostaFiscal> RespostaFiscal(TRespostaFiscal& pedido) override;

 private:
  TIntegradorCliente& FCliente;
};

}  // namespace pagvigia
