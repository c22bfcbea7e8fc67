// The XML text reader and the reverse XML escaping, fed arbitrary text: they
// must never crash, hang or read outside the text. The only exceptions they
// may raise are the documented ones.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "util/conversao.h"
#include "util/texto.h"
#include "util/xml_texto.h"
#include "vfpe/leitor.h"

using namespace pagvigia;

namespace {

const char* const kTags[] = {"Integrador", "IntegradorResposta", "Identificador", "Valor", "Codigo", "Resposta",
                             "a", "", "Componente", "Metodo", "x:y", "CNPJ"};

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string Tag(FuzzedDataProvider& fdp) {
  if (fdp.ConsumeBool()) return fdp.ConsumeRandomLengthString(12);
  return kTags[fdp.ConsumeIntegralInRange<std::size_t>(0, std::size(kTags) - 1)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const int ops = fdp.ConsumeIntegralInRange<int>(1, 24);
  std::string script;
  for (int i = 0; i < ops * 4 && fdp.remaining_bytes() > 0; ++i) script += static_cast<char>(fdp.ConsumeIntegral<std::uint8_t>());
  const std::string texto = fdp.ConsumeRemainingBytesAsString();
  FuzzedDataProvider ctl(reinterpret_cast<const std::uint8_t*>(script.data()), script.size());

  // Reverse escaping: either a clean result or the conversion error.
  try {
    const std::string r = ReverterFiltroTextoXML(texto);
    Check(r.size() <= texto.size());
  } catch (const EConvertError&) {
  }
  // Escaping then reverting gives back the text, trimmed, when it holds no
  // ampersand to be read as a reference.
  if (texto.find('&') == std::string::npos) {
    const std::string ansi = platform::AnsiRoundTrip(texto);
    Check(ReverterFiltroTextoXML(FiltrarTextoXML(false, ansi, false, false, ";")) == Trim(ansi));
  }

  TLeitor l;
  l.SetArquivo(texto);
  l.SetGrupo(texto);
  for (int i = 0; i < ops; ++i) {
    try {
      switch (ctl.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: {
          const int nivel = ctl.ConsumeIntegralInRange<int>(1, 10);
          const int item = ctl.ConsumeIntegralInRange<int>(-1, 1000);
          const std::string tag = Tag(ctl);
          const std::string fim = ctl.ConsumeBool() ? Tag(ctl) : std::string();
          const std::string g = l.rExtrai(nivel, tag, fim, item);
          Check(g == l.Grupo());
          Check(g.size() <= l.Nivel(nivel - 1).size() || nivel == 1);
          Check(g.empty() || l.Nivel(nivel) == g);
          break;
        }
        case 1: {
          const auto tipo = static_cast<TTipoCampo>(ctl.ConsumeIntegralInRange<int>(0, 17));
          const TVariant v = l.rCampo(tipo, Tag(ctl), ctl.ConsumeBool() ? Tag(ctl) : std::string());
          if (tipo == tcStr || tipo == tcEsp) Check(v.AsString().size() <= l.Grupo().size());
          break;
        }
        case 2: {
          const TVariant v = l.rAtributo(Tag(ctl), ctl.ConsumeBool() ? Tag(ctl) : std::string());
          Check(v.AsString().size() <= l.Grupo().size());
          break;
        }
        case 3:
          Check(PosLast(Tag(ctl), l.Grupo()) <= platform::Utf8Length(l.Grupo()));
          Check(PosAtributo(Tag(ctl), l.Grupo(), ctl.ConsumeIntegralInRange<std::size_t>(0, 64)) <=
                platform::Utf8Length(l.Grupo()));
          break;
        case 4:
          l.rCampoCNPJCPF(ctl.ConsumeBool() ? Tag(ctl) : std::string());
          break;
        default:
          l.SetGrupo(l.Arquivo());
          break;
      }
    } catch (const EConvertError&) {
    } catch (const ELeitorException&) {
    }
  }
  return 0;
}
