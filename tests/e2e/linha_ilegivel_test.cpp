// A pending row that the server cannot hand over ends only that row: here the
// card holder's column is declared in Windows-1252 in an ISO8859_1 database,
// and its ’ has no place in the service's ISO8859_1 connection. The row is
// skipped with one log entry per cycle that names it, nothing is sent for it,
// and the rows after it are processed in the same cycle.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

constexpr const char* kDonoEmWin1252 =
    "ALTER TABLE MFE_TRANSACAO_CARTOES DROP MFE_DONOCARTAO;\n"
    "ALTER TABLE MFE_TRANSACAO_CARTOES ADD MFE_DONOCARTAO VARCHAR(60) CHARACTER SET WIN1252;\n";

TEST(LinhaIlegivel, IsSkippedEveryCycleAndTheRowsAfterItGoOn) {
  Instalacao inst(1, kDonoEmWin1252);
  for (int id : {1, 2, 3}) {
    Transacao t;
    t.id = id;
    t.serialPOS = "POS-SEM-CADASTRO";  // payment and fiscal response, no status step
    if (id == 2) t.donoCartao = "MARIA D’ÁVILA";
    inst.Inserir(t);
  }
  ASSERT_EQ(inst.db().Scalar("SELECT MFE_DONOCARTAO FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO = 2"),
            "MARIA D’ÁVILA");

  const std::string kEntrada =
      "Envios Pendentes: arithmetic exception, numeric overflow, or string truncation; "
      "Cannot transliterate character between character sets (MFE_IDENTIFICADORINTERNO = 2) — Corrija o valor "
      "nessa linha (ou o conjunto de caracteres da coluna); ela é lida de novo a cada ciclo";
  {
    IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "40"});
    ASSERT_EQ(inst.RodarUmCiclo(), 1) << inst.Saidas();  // a row failed
    EXPECT_EQ(inst.ServiceLogMessages(), std::vector<std::string>{kEntrada});
    // Two commands for each readable row, none for the other.
    EXPECT_EQ(sim.Commands().size(), 4u);
  }
  EXPECT_EQ(inst.Linha(1), (Progresso{"40", "0", "1"}));
  EXPECT_EQ(inst.Linha(2), (Progresso{"0", "0", "0"}));
  EXPECT_EQ(inst.Linha(3), (Progresso{"41", "0", "2"}));

  // Every cycle says it again, once, and sends nothing.
  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 1) << inst.Saidas();
  EXPECT_EQ(inst.ServiceLogMessages(), std::vector<std::string>{kEntrada});
  EXPECT_TRUE(sim.Commands().empty());
}

}  // namespace
}  // namespace pagvigia::testing
