#include "reconcile/integrador_calls.h"

#include "integrador/integrador_cliente.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {

std::unique_ptr<TRespostaPagamento> TIntegradorClienteCalls::EnviarPagamento(TEnviarPagamento& pedido) {
  return FCliente.EnviarPagamento(pedido);
}

std::unique_ptr<TRespostaStatusPagamento> TIntegradorClienteCalls::EnviarStatusPagamento(TStatusPagamento& pedido) {
  return FCliente.EnviarStatusPagamento(pedido);
}

std::unique_ptr<TRetornoRespostaFiscal> TIntegradorClienteCalls::RespostaFiscal(TRespostaFiscal& pedido) {
  return FCliente.RespostaFiscal(pedido);
}

}  // namespace pagvigia
