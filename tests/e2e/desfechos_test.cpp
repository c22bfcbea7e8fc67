// One cycle of `pagvigia -once` over rows in every state a pending card
// transaction can be in: what is sent for each, in which order, and what the
// row holds afterwards.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

constexpr const char* kChave = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D";

// Rows in every state of the table of outcomes, processed in one cycle.
class Desfechos : public ::testing::Test {
 protected:
  void SetUp() override {
    FInstalacao.db().Run(
        "INSERT INTO MFE_CADASTRO_POS (CODIGO, DESCRICAO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, "
        "CODIGOESTABELECIMENTO) VALUES (7, 'POS balcão', 'POS-0001', 'CHAVE-REQ-POS-7', 'EST.00-15');\n");
    auto linha = [&](int id, std::optional<std::string> serial, std::optional<std::string> pag,
                     std::optional<std::string> status) {
      Transacao t;
      t.id = id;
      t.serialPOS = std::move(serial);
      t.idPagamento = std::move(pag);
      t.idStatus = std::move(status);
      t.numCupom = "CUPOM-" + std::to_string(id);
      t.valor = std::to_string(id) + ".25";
      FInstalacao.Inserir(t);
    };
    linha(1, "POS-0001", "0", "0");     // POS payment: payment, fiscal
    linha(2, "TEF", "0", "0");          // TEF: payment, status, fiscal
    linha(3, "TEF", "0", "55");         // TEF, status known: payment, fiscal
    linha(4, "POS-0001", "500", "0");   // paid POS: fiscal
    linha(5, "TEF", "501", "0");        // paid TEF: status, fiscal
    linha(6, "TEF", "502", "66");       // paid TEF with status: fiscal
    linha(7, "TEF", std::nullopt, "0");  // payment id null: nothing
    linha(8, "TEF", "", "0");           // empty: nothing
    linha(9, "TEF", "-3", "0");         // negative: nothing
    linha(10, "TEF", "abc", "0");       // not a number: nothing
    linha(11, "POS-9999", "0", "0");    // unregistered serial: sent as TEF, no status step
    linha(12, "TEF", "503", std::nullopt);  // status null: no status step, fiscal
    linha(13, "TEF", "0000", "0");      // zero written otherwise than "0": nothing
  }

  Instalacao FInstalacao;
};

TEST_F(Desfechos, EveryStateGetsItsMissingStepsInOrder) {
  IntegradorSim sim(FInstalacao.input(), FInstalacao.output(),
                    {"--method", "EnviarPagamento", "--id-start", "9001", "--method", "RespostaFiscal", "--retorno",
                     "RF-{id}"});  // RF-1, RF-2, ... in the order the answers are given
  ASSERT_EQ(FInstalacao.RodarUmCiclo(), 0) << FInstalacao.Saidas();

  auto cmds = sim.Commands();
  std::vector<std::string> metodos;
  for (auto& c : cmds) {
    EXPECT_TRUE(c.ok()) << c.file << ": " << c.failures;
    EXPECT_EQ(c.chave, kChave) << c.file;
    metodos.push_back(c.method);
  }
  const std::vector<std::string> esperado = {
      "EnviarPagamento", "RespostaFiscal",                                // 1
      "EnviarPagamento", "EnviarStatusPagamento", "RespostaFiscal",       // 2
      "EnviarPagamento", "RespostaFiscal",                                // 3
      "RespostaFiscal",                                                   // 4
      "EnviarStatusPagamento", "RespostaFiscal",                          // 5
      "RespostaFiscal",                                                   // 6
      "EnviarPagamento", "RespostaFiscal",                                // 11
      "RespostaFiscal",                                                   // 12
  };
  ASSERT_EQ(metodos, esperado);

  // Row 1: the registered terminal's serial, request key and merchant digits.
  EXPECT_EQ(cmds[0].Param("SerialPos"), "POS-0001");
  EXPECT_EQ(cmds[0].Param("ChaveRequisicao"), "CHAVE-REQ-POS-7");
  EXPECT_EQ(cmds[0].Param("Estabelecimento"), "0015");
  EXPECT_EQ(cmds[0].Param("Cnpj"), "08723218000186");
  EXPECT_EQ(cmds[0].Param("ValorTotalVenda"), "1.25");
  EXPECT_EQ(cmds[0].Param("CodigoMoeda"), "BRL");
  EXPECT_EQ(cmds[1].Param("idFila"), "9001");
  EXPECT_EQ(cmds[1].Param("NumeroDocumento"), "CUPOM-1");
  EXPECT_EQ(cmds[1].Param("CNPJ"), "08723218000186");
  EXPECT_EQ(FInstalacao.Linha(1), (Progresso{"9001", "0", "RF-1"}));

  // Row 2: TEF gets the cash register's key as request key, no merchant.
  EXPECT_EQ(cmds[2].Param("SerialPos"), "TEF");
  EXPECT_EQ(cmds[2].Param("ChaveRequisicao"), kChave);
  EXPECT_EQ(cmds[2].Param("Estabelecimento"), "");
  EXPECT_EQ(cmds[3].Param("idFila"), "9002");
  EXPECT_EQ(cmds[3].Param("CodigoAutorizacao"), "123456");
  EXPECT_EQ(cmds[3].Param("CodigoPagamento"), "123456");  // the authorisation code again
  EXPECT_EQ(cmds[3].Param("ValorPagamento"), "2.25");
  EXPECT_EQ(cmds[3].Param("UltimosQuatroDigitos"), "4321");
  ASSERT_TRUE(cmds[3].session);
  EXPECT_EQ(FInstalacao.Linha(2), (Progresso{"9002", std::to_string(*cmds[3].session), "RF-2"}));
  EXPECT_EQ(cmds[4].Param("Nsu"), "123456");
  EXPECT_EQ(cmds[4].Param("NumerodeAprovacao"), "778899");

  EXPECT_EQ(FInstalacao.Linha(3), (Progresso{"9003", "55", "RF-3"}));
  EXPECT_EQ(cmds[7].Param("idFila"), "500");
  EXPECT_EQ(FInstalacao.Linha(4), (Progresso{"500", "0", "RF-4"}));
  EXPECT_EQ(cmds[8].Param("idFila"), "501");
  EXPECT_EQ(FInstalacao.Linha(5), (Progresso{"501", std::to_string(cmds[8].session.value_or(-1)), "RF-5"}));
  EXPECT_EQ(FInstalacao.Linha(6), (Progresso{"502", "66", "RF-6"}));
  EXPECT_EQ(FInstalacao.Linha(7), (Progresso{"<null>", "0", "0"}));
  EXPECT_EQ(FInstalacao.Linha(8), (Progresso{"", "0", "0"}));
  EXPECT_EQ(FInstalacao.Linha(9), (Progresso{"-3", "0", "0"}));
  EXPECT_EQ(FInstalacao.Linha(10), (Progresso{"abc", "0", "0"}));
  EXPECT_EQ(FInstalacao.Linha(13), (Progresso{"0000", "0", "0"}));

  // Row 11: an unknown terminal is submitted as TEF but keeps its serial, so
  // no status step follows.
  EXPECT_EQ(cmds[11].Param("SerialPos"), "TEF");
  EXPECT_EQ(FInstalacao.Linha(11), (Progresso{"9004", "0", "RF-7"}));
  EXPECT_EQ(FInstalacao.Coluna(11, "MFE_SERIALPOS"), "POS-9999");
  EXPECT_EQ(FInstalacao.Linha(12), (Progresso{"503", "<null>", "RF-8"}));

  // The answers are stored whole beside the ids.
  EXPECT_NE(FInstalacao.Coluna(2, "MFE_XML_ENVIARPAGAMENTO").find("<IDPagamento>9002</IDPagamento>"),
            std::string::npos);
  EXPECT_NE(FInstalacao.Coluna(2, "MFE_XML_STATUSVALIDADOR").find("<Codigo>AP</Codigo>"), std::string::npos);
  EXPECT_NE(FInstalacao.Coluna(2, "MFE_XML_RESPOSTAFISCAL").find("<retorno>RF-2</retorno>"), std::string::npos);
  EXPECT_EQ(FInstalacao.Coluna(4, "MFE_XML_ENVIARPAGAMENTO"), "<null>");

  // Nothing was rejected: the service log is empty; the Integrador log has
  // one request line per command.
  EXPECT_TRUE(FInstalacao.ServiceLog().empty()) << SlurpFile(FInstalacao.ServiceLogPath());
  const std::string ilog = FInstalacao.IntegradorLog();
  auto conta = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(conta(ilog, " - EnviarPagamento( "), 4u);
  EXPECT_EQ(conta(ilog, " - EnviarStatusPagamento( "), 2u);
  EXPECT_EQ(conta(ilog, " - RespostaFiscal( "), 8u);
  EXPECT_EQ(conta(ilog, " - RespostaIntegrador: "), 14u);

  // A second cycle finds nothing more to send for the finished rows and sends
  // nothing for the rows whose payment id is unusable.
  ASSERT_EQ(FInstalacao.RodarUmCiclo(), 0);
  EXPECT_EQ(sim.Commands().size(), cmds.size());
}

}  // namespace
}  // namespace pagvigia::testing
