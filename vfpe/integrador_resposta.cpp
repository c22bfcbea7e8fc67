#include "vfpe/integrador_resposta.h"

#include "vfpe/leitor.h"

namespace pagvigia {

TIntegradorResposta::TIntegradorResposta() : FLeitor(std::make_unique<TLeitor>()) {}

TIntegradorResposta::~TIntegradorResposta() = default;

void TIntegradorResposta::Clear() {
  Identificador = 0;
  Codigo.clear();
  Valor.clear();
}

void TIntegradorResposta::LerResposta(const std::string& XML) {
  FLeitor->SetArquivo(XML);
  if (FLeitor->rExtrai(1, "Integrador").empty()) return;

  // Each group is read within itself: the Valor of Identificador is never
  // taken for the Valor of IntegradorResposta.
  if (!FLeitor->rExtrai(2, "Identificador").empty())
    Identificador = FLeitor->rCampo(tcInt, "valor").AsInteger();

  if (!FLeitor->rExtrai(2, "IntegradorResposta").empty()) {
    Codigo = FLeitor->rCampo(tcStr, "Codigo").AsString();
    Valor = FLeitor->rCampo(tcStr, "Valor").AsString();
  }
}

}  // namespace pagvigia
