// The set-up mistakes a new user makes, one per row: the installation broken
// one way, then `-status` and `-once` run on it. Each output must name what is
// wrong and what to do about it; the INI file saved as UTF-8 and the accented
// paths are no mistakes and must work.
//
// Not rows here: a refused login (the user and password are built into the
// program, and changing them on the shared server would break the tests
// running beside this one) and a missing client library (installed
// system-wide on Linux; the Windows build's case is in
// biblioteca_cliente_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

struct Erro {
  const char* nome;
  std::string sufixo;  // of the installation's folders (accents)
  std::function<void(Instalacao&)> quebrar;
  bool integrador;  // an Integrador runs during -once
  int statusRc;
  std::vector<std::string> status;  // in -status's standard output
  int onceRc;
  std::vector<std::string> once;  // in -once's standard error
};

int Rodar(Instalacao& inst, const std::vector<std::string>& args) {
  auto p = inst.Iniciar(args);
  if (!p->Wait(std::chrono::seconds(120))) {
    p->Signal(SIGKILL);
    p->Wait(std::chrono::seconds(10));
    return -1;
  }
  return p->ExitCode();
}

std::string Pagvigia(const Instalacao& inst, const std::string& resto) {
  return "[Integrador]\r\nPastaInput=" + inst.input() + "/\r\nPastaOutput=" + inst.output() + "/\r\n" + resto +
         "[Caixa]\r\nPasta=" + inst.root() + "/caixa/\r\n";
}

TEST(ErrosComuns, EachMistakeIsNamedWithItsFixAndTheRightSetUpsWork) {
  if (ProgramUnderTest::UnderWine()) GTEST_SKIP() << "Linux only: keeps the Wine run short";
  std::optional<FirebirdDb> vazio;
  const std::vector<Erro> erros = {
      {"wrong database path", "", [](Instalacao& i) { i.EscreverGestalo(i.db().host(), "/nao/existe/GESTALO.FDB"); },
       false, 1, {"FALHA: O servidor não abriu o banco /nao/existe/GESTALO.FDB: ", "Corrija Caminho no Gestalo.ini"},
       1, {"Conexão do Banco: ", "No such file or directory — Corrija Caminho no Gestalo.ini",
           ": sem conexão com o banco"}},
      {"unknown host", "",
       [](Instalacao& i) { i.EscreverGestalo("servidor-que-nao-existe.invalid", i.db().path()); }, false, 1,
       {"FALHA: Servidor servidor-que-nao-existe.invalid não alcançado: ", "Failed to locate host machine",
        "Verifique se o Firebird está rodando nessa máquina, se a porta 3050 está liberada e Servidor no Gestalo.ini"},
       1, {"Conexão do Banco: Unable to complete network request to host \"servidor-que-nao-existe.invalid\"",
           " — Verifique se o Firebird está rodando", ": sem conexão com o banco"}},
      {"Integrador folders missing", "",
       [](Instalacao& i) { std::filesystem::remove_all(i.root() + "/Integrador"); }, false, 1,
       {"/Integrador/Input/ não existe. Crie a pasta ou corrija PastaInput no Pagvigia.ini",
        "/Integrador/Output/ não existe. Crie a pasta ou corrija PastaOutput no Pagvigia.ini"},
       1, {"Envios Pendentes: Erro ao criar o arquivo: ", "/Integrador/Input/enviarpagamento-",
           " — Verifique se PastaInput existe", ": 0 linhas concluídas, 1 falha"}},
      // The only row that waits: the exchange's time limit, 25 s.
      {"Integrador not running", "", nullptr, false, 0, {"OK: 1 linha pendente do caixa 1"}, 1,
       {"Envios Pendentes: Sem Resposta do Integrador (linha 1) — Verifique se o Integrador está rodando e se "
        "PastaInput é a pasta que ele lê (",
        ": 0 linhas concluídas, 1 falha"}},
      {"ConfCaixa.ini missing", "", [](Instalacao& i) { std::filesystem::remove(i.ConfCaixaPath()); }, true, 1,
       {"/caixa/ConfCaixa.ini não existe: o serviço usa o caixa 0. Crie-o com a seção [Caixa] e a chave IdCaixa=",
        "FALHA: MSAUT não tem linha para o caixa 0"},
       1, {"Caixa: ", "/caixa/ConfCaixa.ini não existe; nada é enviado ao Integrador — Crie-o com a seção [Caixa]",
           ": caixa não identificado, nada enviado"}},
      {"register without its MSAUT row", "", [](Instalacao& i) { i.db().Run("DELETE FROM MSAUT;\n"); }, true, 1,
       {"FALHA: MSAUT não tem linha para o caixa 1. Cadastre o caixa 1 no Gestalo, ou corrija IdCaixa no "
        "ConfCaixa.ini"},
       1, {"Caixa: MSAUT não tem linha para o caixa 1 (IdCaixa de ",
           "nada é enviado ao Integrador — Cadastre o caixa 1 no Gestalo, ou corrija IdCaixa no ConfCaixa.ini",
           ": caixa não identificado, nada enviado"}},
      // The leading number is used: the cycle works, -status tells the fix.
      {"units in Pagvigia.ini", "",
       [](Instalacao& i) {
         Instalacao::EscreverIni(i.dir() + "/Pagvigia.ini",
                                 Pagvigia(i, "Timeout=30s\r\n[Servico]\r\nIntervalo=60000\r\n"));
       },
       true, 1,
       {"FALHA: Pagvigia.ini: [Integrador] Timeout=30s não é um número inteiro válido; o serviço usa 30. Escreva um "
        "número de segundos, sem unidade"},
       0, {": 1 linha concluída"}},
      {"INI saved as UTF-8 without a mark, accented folders", "-Integração",
       [](Instalacao& i) { WriteFile(i.dir() + "/Pagvigia.ini", Pagvigia(i, "")); }, true, 0,
       {"OK: Arquivos INI lidos como: Pagvigia.ini (UTF-8)", "-Integração-", "/Integrador/Input/: existe e aceita criar"},
       0, {": 1 linha concluída"}},
      {"accented paths", "-São João", nullptr, true, 0,
       {"-São João-", "Integrador/Output/: existe e pode ser lida", "OK: 1 linha pendente do caixa 1"}, 0,
       {": 1 linha concluída"}},
      {"empty database", "",
       [&vazio](Instalacao& i) {
         vazio.emplace("", "pagvigia-fb-vazio");
         i.EscreverGestalo(vazio->host(), vazio->path());
       },
       true, 1,
       {"FALHA: A tabela MFE_TRANSACAO_CARTOES não existe no banco ",
        "Confira se Caminho no Gestalo.ini aponta para o banco do Gestalo"},
       1, {"; interrompido: ", "Table unknown", " — Rode o Pagvigia com -status para verificar o banco"}},
  };
  for (const auto& e : erros) {
    SCOPED_TRACE(e.nome);
    Instalacao inst(1, "", "ISO8859_1", e.sufixo);
    inst.Inserir(Transacao{});
    if (e.quebrar) e.quebrar(inst);

    EXPECT_EQ(Rodar(inst, {ProgramUnderTest::Switch("status")}), e.statusRc) << inst.Saidas();
    const std::string status = SlurpFile(inst.OutPath());
    for (const auto& s : e.status) EXPECT_NE(status.find(s), std::string::npos) << s << "\n" << status;

    std::unique_ptr<IntegradorSim> sim;
    if (e.integrador) sim = std::make_unique<IntegradorSim>(inst.input(), inst.output());
    EXPECT_EQ(inst.RodarUmCiclo(), e.onceRc) << inst.Saidas();
    const std::string erros = inst.Erros();
    for (const auto& s : e.once) EXPECT_NE(erros.find(s), std::string::npos) << s << "\n" << erros;
    vazio.reset();
  }
}

}  // namespace
}  // namespace pagvigia::testing
