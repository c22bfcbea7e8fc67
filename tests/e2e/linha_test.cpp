// The support desk's switch "LINHA N" as the shop runs it: the same text on
// both platforms (accents included) for a finished row and a row held back,
// and nothing changed while a cycle of the service works beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

using namespace std::chrono_literals;

// Runs "LINHA N" to its end, keeping the logs; its standard output, lines
// ended by LF (a Windows program's text output ends them with CR LF).
std::string Linha(Instalacao& inst, int id, int& status) {
  auto p = inst.Iniciar({ProgramUnderTest::Switch("linha"), std::to_string(id)}, false);
  if (!p->Wait(120s)) {
    p->Signal(SIGKILL);
    p->Wait(10s);
    ADD_FAILURE() << "LINHA " << id << " did not end in time";
  }
  status = p->ExitCode();
  std::string texto = SlurpFile(inst.OutPath());
  for (std::size_t i = texto.find("\r\n"); i != std::string::npos; i = texto.find("\r\n", i)) texto.erase(i, 1);
  return texto;
}

TEST(Linha, ShowsAFinishedRowAndAHeldOneInTheSameWordsOnEveryPlatform) {
  Instalacao inst;
  Transacao feita;
  feita.idPagamento = "4712";
  feita.idStatus = "85680";
  feita.idRespostaFiscal = "RF1";
  inst.Inserir(feita);
  inst.db().Run(
      "UPDATE MFE_TRANSACAO_CARTOES SET MFE_XML_ENVIARPAGAMENTO = '<Integrador><Identificador><Valor>878208</Valor>"
      "</Identificador></Integrador>' WHERE MFE_IDENTIFICADORINTERNO = 1;\n"
      "INSERT INTO MSAUT (CAIXA, SERIALHD, MFE_CHAVEACESSOINTEGRADOR) VALUES (2, 'HD-0002', 'CHAVE');\n");
  Transacao retida;
  retida.id = 2;
  retida.caixa = 2;
  retida.diasAtras = 1;
  inst.Inserir(retida);
  // The logs as a cycle left them: Windows-1252, lines ended by CR LF.
  WriteFile(inst.ServiceLogPath(),
            "09/12/2026 18:17:50 - Envios Pendentes: journal: row 2 MFE_IDPAGAMENTO already holds \"4713\"; the id "
            "\"4713\" kept for it is dropped\r\n"
            "09/12/2026 18:17:51 - Envios Pendentes: journal: row 20 MFE_IDPAGAMENTO already holds \"4714\"\r\n");
  WriteFile(inst.IntegradorLogPath(),
            platform::Utf8ToAnsi("09/12/26 18:17:51:108 - 09/12/2026 18:17:51 - AguardaArqResposta, sessao: 85680\r\n"
                                 "09/12/26 18:17:52:041 - RespostaIntegrador: <Integrador><Identificador><Valor>"
                                 "878208</Valor></Identificador><IntegradorResposta><Codigo>AP</Codigo><Valor>"
                                 "Requisição processada com êxito</Valor></IntegradorResposta></Integrador>\r\n"
                                 "09/12/26 18:17:53:000 - 09/12/2026 18:17:53 - AguardaArqResposta, sessao: 856801\r\n"));
  const std::string cabecalho = " de MFE_TRANSACAO_CARTOES (banco " + inst.db().path() + "), vista pelo caixa 1\n";
  const std::string hoje = DataDoServidor(inst.db(), 0);
  struct Caso {
    int id;
    std::string texto;
  };
  const Caso casos[] = {
      {1, "Linha 1" + cabecalho +
              "  Caixa da venda:       1\n"
              "  Data da venda:        " + hoje + "\n"
              "  Valor:                R$ 10,50\n"
              "  Número de série:      TEF\n"
              "  Pagamento:            feito (id 4712)\n"
              "  Status do pagamento:  feito (id 85680)\n"
              "  Resposta fiscal:      feito (id RF1)\n"
              "Motivo: nada a enviar: o pagamento e a resposta fiscal já estão gravados na linha\n"
              "Pagvigia.log, nenhuma entrada cita a chave 1 ou as sessões 85680, 878208\n"
              "Pagvigia_Integrador.log, últimas 2 entradas de 2 que citam a chave 1 ou as sessões 85680, 878208:\n"
              "    09/12/26 18:17:51:108 - 09/12/2026 18:17:51 - AguardaArqResposta, sessao: 85680\n"
              "    09/12/26 18:17:52:041 - RespostaIntegrador: <Integrador><Identificador><Valor>878208</Valor>"
              "</Identificador><IntegradorResposta><Codigo>AP</Codigo><Valor>Requisição processada com êxito</Valor>"
              "</IntegradorResposta></Integrador>\n"},
      {2, "Linha 2" + cabecalho +
              "  Caixa da venda:       2\n"
              "  Data da venda:        " + DataDoServidor(inst.db(), -1) + "\n"
              "  Valor:                R$ 10,50\n"
              "  Número de série:      TEF\n"
              "  Pagamento:            a enviar\n"
              "  Status do pagamento:  a enviar\n"
              "  Resposta fiscal:      a enviar\n"
              "Motivo: venda do caixa 2 com menos de 4 dias: o Pagvigia do caixa 2 a envia; este caixa (1) só a envia "
              "a partir de " + DataDoServidor(inst.db(), 4) + ", se ela ainda estiver pendente\n"
              "Pagvigia.log, última entrada de 1 que citam a chave 2:\n"
              "    09/12/2026 18:17:50 - Envios Pendentes: journal: row 2 MFE_IDPAGAMENTO already holds \"4713\"; the "
              "id \"4713\" kept for it is dropped\n"
              "Pagvigia_Integrador.log, nenhuma entrada cita a chave 2\n"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.id);
    int status = -1;
    EXPECT_EQ(Linha(inst, c.id, status), c.texto) << inst.Saidas();
    EXPECT_EQ(status, 0);
  }
}

// While a cycle sends a row (its answers slow), the switch is run again and
// again for that row and for a row held back: the cycle finishes the row in
// that one cycle, as it would alone, and the folders, the logs and the held
// row show nothing of the switch.
TEST(Linha, ChangesNothingWhileACycleRunsBesideIt) {
  if (ProgramUnderTest::UnderWine())
    GTEST_SKIP() << "the read-only rule is the same code on both platforms; the Linux build checks it";
  Instalacao inst;
  Transacao enviada;  // TEF: payment, status, fiscal response
  inst.Inserir(enviada);
  Transacao retida;
  retida.id = 2;
  retida.caixa = 2;
  retida.diasAtras = 1;
  inst.Inserir(retida);
  IntegradorSim sim(inst.input(), inst.output(),
                    {"--method", "EnviarPagamento", "--id-start", "700", "--delay-ms", "1500"});
  auto ciclo = inst.Iniciar({"-once"});
  int vezes = 0;
  bool viuEnvio = false;
  while (ciclo->Running()) {
    for (int id : {1, 2}) {
      int status = -1;
      const std::string texto = Linha(inst, id, status);
      EXPECT_EQ(status, 0) << texto;
      viuEnvio = viuEnvio || texto.find("Motivo: envio em andamento: o caixa 1 enviou ") != std::string::npos;
      ++vezes;
    }
  }
  ASSERT_TRUE(ciclo->Wait(10s));
  EXPECT_EQ(ciclo->ExitCode(), 0) << inst.Saidas();
  // How many looks fit in the cycle depends on the machine's speed; one that
  // saw a send in flight is what counts.
  EXPECT_GE(vezes, 2);
  EXPECT_TRUE(viuEnvio);
  EXPECT_EQ(sim.Commands().size(), 3u);
  const Progresso feita = inst.Linha(1);
  EXPECT_EQ(feita.pagamento, "700");
  EXPECT_NE(feita.status, "0");
  EXPECT_EQ(feita.fiscal, "1");
  EXPECT_EQ(inst.Linha(2), (Progresso{"0", "0", "0"}));
  // A cycle that sends without a failure writes no service log entry, leaves
  // no journal, and takes every command it wrote.
  EXPECT_TRUE(inst.ServiceLogMessages().empty()) << inst.Saidas();
  EXPECT_TRUE(platform::ListFolder(inst.input() + "/*").empty());
  std::vector<std::string> arquivos = platform::ListFolder(inst.dir() + "/*");
  std::sort(arquivos.begin(), arquivos.end());
  std::vector<std::string> esperados{std::filesystem::path(inst.ExePath()).filename().string(), "Gestalo.ini",
                                     "Pagvigia.ini", "Pagvigia.lock", "Pagvigia_Integrador.log",
                                     "Pagvigia_UltimoCiclo.txt"};
  std::sort(esperados.begin(), esperados.end());
  EXPECT_EQ(arquivos, esperados);
}

}  // namespace
}  // namespace pagvigia::testing
