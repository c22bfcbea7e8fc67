#include "vfpe/integrador_resposta.h"

#include <gtest/gtest.h>

namespace pagvigia {
namespace {

const char* kResposta =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Integrador>\r\n"
    "  <Identificador>\r\n    <Valor>483920</Valor>\r\n  </Identificador>\r\n"
    "  <IntegradorResposta>\r\n    <Codigo>  AP </Codigo>\r\n"
    "    <Valor>Requisição processada &amp; aceita</Valor>\r\n  </IntegradorResposta>\r\n"
    "  <Resposta><Valor>não é este</Valor></Resposta>\r\n"
    "</Integrador>\r\n";

TEST(IntegradorResposta, ReadsTheEnvelope) {
  TIntegradorResposta r;
  r.LerResposta(kResposta);
  EXPECT_EQ(r.Identificador, 483920);
  EXPECT_EQ(r.Codigo, "AP");
  EXPECT_EQ(r.Valor, "Requisição processada & aceita");
}

TEST(IntegradorResposta, EachValorIsReadWithinItsOwnGroup) {
  TIntegradorResposta r;
  // IntegradorResposta comes first and its Valor is not the session number.
  r.LerResposta(
      "<Integrador><IntegradorResposta><Codigo>EE</Codigo><Valor>Erro 12</Valor></IntegradorResposta>"
      "<Identificador><valor>77</valor></Identificador></Integrador>");
  EXPECT_EQ(r.Identificador, 77);
  EXPECT_EQ(r.Codigo, "EE");
  EXPECT_EQ(r.Valor, "Erro 12");
}

TEST(IntegradorResposta, MissingPartsKeepTheirValues) {
  TIntegradorResposta r;
  r.Identificador = 5;
  r.Codigo = "AP";
  r.Valor = "antes";
  r.LerResposta("<Resposta><Identificador><Valor>9</Valor></Identificador></Resposta>");
  EXPECT_EQ(r.Identificador, 5) << "no Integrador group: nothing touched";
  EXPECT_EQ(r.Codigo, "AP");

  r.LerResposta("<Integrador><Identificador><Valor>12</Valor></Identificador></Integrador>");
  EXPECT_EQ(r.Identificador, 12);
  EXPECT_EQ(r.Codigo, "AP") << "no IntegradorResposta: Codigo kept";
  EXPECT_EQ(r.Valor, "antes");

  r.LerResposta("<Integrador><IntegradorResposta><Valor>só valor</Valor></IntegradorResposta></Integrador>");
  EXPECT_EQ(r.Codigo, "") << "a group without Codigo reads it empty";
  EXPECT_EQ(r.Valor, "só valor");
  EXPECT_EQ(r.Identificador, 12);

  r.Clear();
  EXPECT_EQ(r.Identificador, 0);
  EXPECT_EQ(r.Codigo, "");
  EXPECT_EQ(r.Valor, "");
}

TEST(IntegradorResposta, OddAnswersNeverFail) {
  TIntegradorResposta r;
  for (const char* texto : {"", "lixo", "<Integrador>", "<Integrador><Identificador><Valor>12a3",
                            "<Integrador><Identificador><Valor>99999999999</Valor></Identificador></Integrador>",
                            "\xFF\xFE<\x00I"}) {
    r.Clear();
    EXPECT_NO_THROW(r.LerResposta(texto)) << texto;
  }
  EXPECT_EQ(r.Identificador, 0);
  r.LerResposta("<Integrador><Identificador><Valor> 4 2 </Valor></Identificador></Integrador>");
  EXPECT_EQ(r.Identificador, 42) << "digits only";
}

}  // namespace
}  // namespace pagvigia
