// The Windows build writes what the Linux build writes: one scenario run by
// the Linux `pagvigia` and by the Windows Pagvigia.exe under Wine, each in an
// installation of its own, gives the same command texts, the same two logs
// (byte for byte, CR LF and Windows-1252 included) and the same rows, once the
// parts that differ between any two runs are masked: times, session numbers,
// request keys and the installation's own folder (whose paths the Windows
// build writes with its own delimiter).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

// What a run leaves behind, masked.
struct Resultado {
  std::vector<std::string> comandos;
  std::string servicoLog, integradorLog;
  std::vector<std::string> linhas;
};

// Replaces every match of `re` by "<what-N>", N counting distinct texts in
// order of first appearance (so that equal texts stay equal).
std::string Numerar(const std::string& s, const std::regex& re, const std::string& what,
                    std::map<std::string, int>& vistos) {
  std::string out;
  auto it = std::sregex_iterator(s.begin(), s.end(), re);
  std::size_t pos = 0;
  for (; it != std::sregex_iterator(); ++it) {
    out += s.substr(pos, it->position() - pos);
    const std::string m = it->str();
    auto [v, novo] = vistos.emplace(m, static_cast<int>(vistos.size()) + 1);
    out += "<" + what + "-" + std::to_string(v->second) + ">";
    pos = it->position() + it->length();
  }
  return out + s.substr(pos);
}

class Mascara {
 public:
  Mascara(const Instalacao& inst, const std::vector<SimCommand>& cmds) {
    for (const auto& c : cmds)
      if (c.session) FSessoes.emplace(std::to_string(*c.session), static_cast<int>(FSessoes.size()) + 1);
    FRaizes = {ProgramUnderTest::Path(inst.root()), inst.root()};
  }
  std::string operator()(std::string s) {
    for (const auto& r : FRaizes)
      for (auto p = s.find(r); p != std::string::npos; p = s.find(r, p)) s.replace(p, r.size(), "<raiz>");
    // Inside the installation's folder the paths differ by the delimiter only
    // ("\\" on Windows): the masked paths use "/".
    for (auto p = s.find("<raiz>"); p != std::string::npos; p = s.find("<raiz>", p + 1))
      for (auto q = p + 6; q < s.size() && s[q] != ' ' && s[q] != '\r' && s[q] != '\n' && s[q] != '<'; ++q)
        if (s[q] == '\\') s[q] = '/';
    // Sessions are whole numbers of up to six digits.
    static const std::regex numero("\\b[0-9]{1,6}\\b");
    std::string out;
    std::size_t pos = 0;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), numero); it != std::sregex_iterator(); ++it) {
      out += s.substr(pos, it->position() - pos);
      auto f = FSessoes.find(it->str());
      out += f != FSessoes.end() ? "<sessao-" + std::to_string(f->second) + ">" : it->str();
      pos = it->position() + it->length();
    }
    s = out + s.substr(pos);
    static const std::regex guid("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}");
    static const std::regex hora("[0-9]{2}/[0-9]{2}/[0-9]{2,4} [0-9]{2}:[0-9]{2}:[0-9]{2}(:[0-9]{3})?");
    s = Numerar(s, guid, "chave", FChaves);
    return std::regex_replace(s, hora, "<hora>");
  }

 private:
  std::map<std::string, int> FSessoes, FChaves;
  std::vector<std::string> FRaizes;
};

Resultado Rodar() {
  Instalacao inst;
  Transacao tef;  // payment, status and fiscal response
  tef.donoCartao = "JOÃO CONCEIÇÃO";
  inst.Inserir(tef);
  Transacao rejeitada;  // payment refused: a service-log entry
  rejeitada.id = 2;
  rejeitada.serialPOS = "POS-NOVO";
  rejeitada.valor = "7.25";
  inst.Inserir(rejeitada);
  std::vector<SimCommand> cmds;
  {
    IntegradorSim sim(inst.input(), inst.output(),
                      {"--method", "EnviarPagamento", "--id-start", "500"});
    EXPECT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    cmds = sim.Commands();
  }
  {
    IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--code", "EE"});
    Transacao outra = rejeitada;
    outra.id = 3;
    inst.Inserir(outra);
    EXPECT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    for (auto& c : sim.Commands()) cmds.push_back(c);
  }
  Mascara mascara(inst, cmds);
  Resultado r;
  for (const auto& c : cmds) r.comandos.push_back(mascara(c.file + " " + c.xml));
  r.servicoLog = mascara(SlurpFile(inst.ServiceLogPath()));
  // How many times an exchange looks for its answer before the simulator has
  // written it depends on timing, not on the build: a run of the same
  // waiting line counts once.
  std::istringstream linhas(mascara(SlurpFile(inst.IntegradorLogPath())));
  std::string linha, anterior;
  bool primeira = true;
  while (std::getline(linhas, linha)) {
    const bool espera = linha.find("AguardaArqResposta") != std::string::npos;
    if (!(espera && !primeira && linha == anterior)) r.integradorLog += linha + "\n";
    anterior = linha;
    primeira = false;
  }
  for (int id : {1, 2, 3}) {
    const auto l = inst.Linha(id);
    r.linhas.push_back(mascara(l.pagamento + "|" + l.status + "|" + l.fiscal + "|" +
                               inst.Coluna(id, "MFE_XML_ENVIARPAGAMENTO") + "|" +
                               inst.Coluna(id, "MFE_XML_STATUSVALIDADOR") + "|" +
                               inst.Coluna(id, "MFE_XML_RESPOSTAFISCAL")));
  }
  return r;
}

TEST(Paridade, TheWindowsBuildWritesWhatTheLinuxBuildWrites) {
  if (!ProgramUnderTest::UnderWine())
    GTEST_SKIP() << "compares the Windows build under Wine with this build; the Windows build's tests run it";
  const Resultado windows = Rodar();
  Resultado linux;
  {
    // The same scenario with the Linux build's own program.
    const std::string wine = ProgramUnderTest::Wine();
    ::unsetenv("PAGVIGIA_E2E_WINE");
    linux = Rodar();
    ::setenv("PAGVIGIA_E2E_WINE", wine.c_str(), 1);
  }
  EXPECT_EQ(windows.comandos, linux.comandos);
  EXPECT_EQ(windows.servicoLog, linux.servicoLog);
  EXPECT_EQ(windows.integradorLog, linux.integradorLog);
  EXPECT_EQ(windows.linhas, linux.linhas);
  EXPECT_FALSE(linux.servicoLog.empty());
  EXPECT_GE(linux.comandos.size(), 4u);
}

}  // namespace
}  // namespace pagvigia::testing
