// The Integrador calls of the reconciliation through the Integrador
// component, and the settling of a send whose answer was never taken.
#include "reconcile/integrador_calls.h"

#include "integrador/integrador_cliente.h"
#include "util/texto.h"
#include "vfpe/integrador_resposta.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {

template <class F>
auto TIntegradorClienteCalls::Publicando(F&& chamada) {
  TComandoIntegrador& comando = FCliente.ComandoIntegrador();
  comando.SetAoPublicar(FAoPublicar);
  struct TFim {
    TComandoIntegrador& c;
    ~TFim() { c.SetAoPublicar({}); }
  } fim{comando};
  return chamada();
}

std::unique_ptr<TRespostaPagamento> TIntegradorClienteCalls::EnviarPagamento(TEnviarPagamento& pedido) {
  return Publicando([&] { return FCliente.EnviarPagamento(pedido); });
}

std::unique_ptr<TRespostaStatusPagamento> TIntegradorClienteCalls::EnviarStatusPagamento(TStatusPagamento& pedido) {
  return Publicando([&] { return FCliente.EnviarStatusPagamento(pedido); });
}

std::unique_ptr<TRetornoRespostaFiscal> TIntegradorClienteCalls::RespostaFiscal(TRespostaFiscal& pedido) {
  return Publicando([&] { return FCliente.RespostaFiscal(pedido); });
}

bool TIntegradorClienteCalls::ComandoRetirado() const { return FCliente.ComandoIntegrador().ComandoRetirado(); }

std::optional<std::string> TIntegradorClienteCalls::RespostaAtrasada(std::int32_t sessao) {
  std::string resposta = FCliente.ComandoIntegrador().AguardaArqResposta(sessao);
  if (resposta.empty()) return std::nullopt;
  return resposta;
}

bool TIntegradorClienteCalls::RetirarComando(const std::string& arquivo) {
  return FCliente.ComandoIntegrador().RetirarComando(arquivo);
}

std::optional<std::string> TIntegradorClienteCalls::ConsultarSessao(std::int32_t sessao) {
  return InterpretarConsulta(sessao, FCliente.ConsultarNumeroSessaoIntegrador(sessao));
}

std::optional<std::string> TIntegradorClienteCalls::InterpretarConsulta(std::int32_t sessao,
                                                                       const std::string& resposta) {
  const std::string texto = Trim(resposta);
  if (texto.find("<Integrador") != std::string::npos) {
    TIntegradorResposta envelope;
    try {
      envelope.LerResposta(texto);
    } catch (const std::exception&) {
      envelope.Clear();
    }
    if (envelope.Identificador == sessao) return texto;
  }
  // "Sessão <n> não encontrada", with or without its accents.
  if (texto.find("não encontrada") != std::string::npos || texto.find("nao encontrada") != std::string::npos)
    return std::nullopt;
  throw EIntegradorException("the Integrador's reply about session " + std::to_string(sessao) +
                             " is neither its answer nor an unknown session: " + texto.substr(0, 200));
}

}  // namespace pagvigia
