// The shops' databases in their three character sets: made with ISO8859_1,
// WIN1252 or NONE, and written by Windows programs that store their own
// Windows-1252 bytes (’, €, Œ among them, which ISO 8859-1 lacks). Every row
// is processed, the commands hold what the text filter makes of the names,
// and the answer kept in the row is the Integrador's bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

// A text as a Windows program stores it: its Windows-1252 bytes, untouched
// by the server whatever the column's character set.
std::string Bytes1252(const std::string& utf8) { return "x'" + Hex(platform::Utf8ToCp1252(utf8)) + "'"; }

const std::string kDono = "MARIA D’ÁVILA ŒIL €";
const std::string kSerial = "POS D'ÁGUA’";
// The answer columns made UTF8.
std::string XmlUtf8() {
  std::string sql;
  for (const char* c : {"MFE_XML_ENVIARPAGAMENTO", "MFE_XML_STATUSVALIDADOR", "MFE_XML_RESPOSTAFISCAL"})
    sql += std::string("ALTER TABLE MFE_TRANSACAO_CARTOES DROP ") + c + ";\nALTER TABLE MFE_TRANSACAO_CARTOES ADD " + c +
           " BLOB SUB_TYPE TEXT CHARACTER SET UTF8;\n";
  return sql;
}

TEST(Conjuntos, EveryRowOfEachCharacterSetIsSentAndItsAnswerKeptAsWritten) {
  struct Caso {
    const char* charset;
    bool xmlUtf8;
    std::string mensagem;
    const char* pastas = "";  // ends the folders' names
  };
  for (const Caso& caso : {Caso{"ISO8859_1", false, "Pagamento ’recebido’ € Œ"},
                           Caso{"WIN1252", false, "Pagamento ’recebido’ € Œ"},
                           Caso{"NONE", false, "Pagamento ’recebido’ € Œ"},
                           Caso{"ISO8859_1", true, "Pagamento “recebido” – € Œ"},
                           Caso{"ISO8859_1", false, "Pagamento recebido", "-Integração-Saída-Ícone"}}) {
    const char* charset = caso.charset;
    const std::string& kMensagem = caso.mensagem;
    SCOPED_TRACE(std::string(charset) + (caso.xmlUtf8 ? ", answers in UTF8" : "") + caso.pastas);
    Instalacao inst(1, "", charset, caso.pastas);
    if (caso.xmlUtf8) inst.db().Run(XmlUtf8());
    Transacao tef;  // payment, status (with the card holder) and fiscal response
    tef.instituicao = "CRÉDITO SÃO JOÃO";
    inst.Inserir(tef);
    Transacao pos = tef;  // a card machine of its own: payment and fiscal response
    pos.id = 2;
    inst.Inserir(pos);
    inst.db().Run("UPDATE MFE_TRANSACAO_CARTOES SET MFE_DONOCARTAO = " + Bytes1252(kDono) +
                  ", MFE_INSTITUICAOFINANCEIRA = " + Bytes1252(*tef.instituicao) + ";\n"
                  "UPDATE MFE_TRANSACAO_CARTOES SET MFE_SERIALPOS = " + Bytes1252(kSerial) +
                  " WHERE MFE_IDENTIFICADORINTERNO = 2;\n"
                  "INSERT INTO MFE_CADASTRO_POS (CODIGO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO) "
                  "VALUES (7, " + Bytes1252(kSerial) + ", '26359854-5698-1365-9856-965478231456', '10');\n");
    std::vector<SimCommand> cmds;
    {
      IntegradorSim sim(inst.input(), inst.output(),
                        {"--method", "EnviarPagamento", "--id-start", "500", "--payment-message", kMensagem});
      EXPECT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
      cmds = sim.Commands();
    }
    std::vector<std::string> metodos;
    for (const auto& c : cmds) {
      EXPECT_TRUE(c.ok()) << c.file << ": " << c.failures;
      metodos.push_back(c.method);
    }
    ASSERT_EQ(metodos, (std::vector<std::string>{"EnviarPagamento", "EnviarStatusPagamento", "RespostaFiscal",
                                                 "EnviarPagamento", "RespostaFiscal"}))
        << inst.Saidas();
    // ’, € and Œ are not letters with accents: the filter makes them blanks,
    // and runs of blanks one.
    EXPECT_EQ(cmds[1].Param("DonoCartao"), "MARIA D AVILA IL");
    EXPECT_EQ(cmds[1].Param("InstituicaoFinanceira"), "CREDITO SAO JOAO");
    EXPECT_EQ(cmds[3].Param("SerialPos"), "POS D'AGUA");
    EXPECT_EQ(inst.Linha(1), (Progresso{"500", std::to_string(cmds[1].session.value_or(-1)), "1"}));
    EXPECT_EQ(inst.Linha(2), (Progresso{"501", "0", "2"}));
    // The payment answer as the simulator wrote it, byte for byte.
    for (int id : {1, 2}) {
      const std::string escrita =
          "<Integrador><Identificador><Valor>" + std::to_string(cmds[id == 1 ? 0 : 3].session.value_or(-1)) +
          "</Valor></Identificador><IntegradorResposta><Codigo>AP</Codigo><Valor>Requisição processada com "
          "êxito</Valor></IntegradorResposta><Resposta><IDPagamento>" + std::to_string(499 + id) +
          "</IDPagamento><Mensagem>" + kMensagem + "</Mensagem><StatusPagamento>Processado</StatusPagamento>"
          "</Resposta></Integrador>";
      EXPECT_EQ(inst.db().Scalar("SELECT CAST(MFE_XML_ENVIARPAGAMENTO AS VARCHAR(8000) CHARACTER SET OCTETS) FROM "
                                 "MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO = " + std::to_string(id)),
                Hex(caso.xmlUtf8 ? escrita : platform::Utf8ToCp1252(escrita)))
          << "row " << id;
    }
    EXPECT_TRUE(inst.ServiceLog().empty()) << SlurpFile(inst.ServiceLogPath());
  }
}

}  // namespace
}  // namespace pagvigia::testing
