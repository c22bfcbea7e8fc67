// Shared pieces of the Integrador tests: a scripted clock that runs the
// Integrador's moves at chosen moments of simulated time, a log collector and
// answer texts.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "integrador/comando_integrador.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace pagvigia::testing {

// The platform's path delimiter, to join the names the tests expect.
inline const std::string kSep(1, platform::kPathDelim);

// Simulated time: sleeping moves the clock at once, then every event due by
// the new moment runs, in the order they were scheduled.
class TempoRoteirizado : public platform::Clock, public platform::Sleeper {
 public:
  TempoRoteirizado() : FInicio(FRelogio.NowMs()) {}
  std::int64_t NowMs() override { return FRelogio.NowMs(); }
  platform::DateTime LocalNow() override { return FRelogio.LocalNow(); }
  void SleepMs(std::int64_t ms) override {
    FRelogio.SleepMs(ms);
    FSonos.push_back(ms);
    for (std::size_t i = 0; i < FEventos.size();) {
      if (FEventos[i].quando <= Decorrido()) {
        auto f = std::move(FEventos[i].f);
        FEventos.erase(FEventos.begin() + static_cast<std::ptrdiff_t>(i));
        f();
      } else {
        ++i;
      }
    }
    if (aCadaSono) aCadaSono();
  }
  // Milliseconds since the test began (the calendar base is 10:00:00.000).
  std::int64_t Decorrido() { return FRelogio.NowMs() - FInicio; }
  void Em(std::int64_t ms, std::function<void()> f) { FEventos.push_back({ms, std::move(f)}); }
  const std::vector<std::int64_t>& Sonos() const { return FSonos; }
  std::int64_t TotalDormido() const { return FRelogio.TotalSlept(); }
  std::function<void()> aCadaSono;

 private:
  struct Evento {
    std::int64_t quando;
    std::function<void()> f;
  };
  platform::ManualClock FRelogio;
  std::int64_t FInicio;
  std::vector<Evento> FEventos;
  std::vector<std::int64_t> FSonos;
};

class LogColetado : public TComandoIntegradorOwner {
 public:
  void DoLog(const std::string& AString) override { linhas.push_back(AString); }
  std::vector<std::string> ComPrefixo(const std::string& prefixo) const {
    std::vector<std::string> r;
    for (const auto& l : linhas)
      if (l.rfind(prefixo, 0) == 0) r.push_back(l);
    return r;
  }
  std::size_t Contendo(const std::string& trecho) const {
    return static_cast<std::size_t>(std::count_if(linhas.begin(), linhas.end(), [&](const std::string& l) {
      return l.find(trecho) != std::string::npos;
    }));
  }
  std::vector<std::string> linhas;
};

// An answer of the Integrador for a session.
inline std::string Resposta(std::int32_t sessao, const std::string& codigo = "AP",
                            const std::string& corpo = "<retorno>ok</retorno>") {
  return "<Integrador><Identificador><Valor>" + std::to_string(sessao) +
         "</Valor></Identificador><IntegradorResposta><Codigo>" + codigo +
         "</Codigo><Valor>Processado</Valor></IntegradorResposta><Resultado>" + corpo +
         "</Resultado></Integrador>";
}

// The names in a folder, sorted.
inline std::vector<std::string> Nomes(const std::string& pasta) {
  auto v = platform::ListFolder(pasta + kSep + "*");
  std::sort(v.begin(), v.end());
  return v;
}

// An input and an output folder for one test.
struct Pastas {
  TempDir raiz{"pagvigia-integrador"};
  std::string input = raiz / "Input";
  std::string output = raiz / "Output";
  Pastas() {
    platform::ForceDirectories(input);
    platform::ForceDirectories(output);
  }
  void Grava(const std::string& nome, const std::string& bytes) const {
    platform::WriteFileBytes(output + "/" + nome, bytes);
  }
};

}  // namespace pagvigia::testing
