// The answer path: every text the Integrador (or anything else writing into
// its output folder) can leave there goes through the envelope reader, the
// extraction of the returned text and the response readers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "integrador/comando_integrador.h"
#include "vfpe/integrador_resposta.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "util/conversao.h"
#include "vfpe/leitor.h"
#include "vfpe/vfpe_records.h"

using namespace pagvigia;

namespace {

// A conversion error on a field of garbage is a clear refusal; anything
// else escaping is a fault.
template <class Registro>
void Le(const std::string& texto) {
  Registro r;
  try {
    r.SetXMLString(texto);
  } catch (const EConvertError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The bytes as an answer file in the output folder: decoding by byte-order
  // mark, matching by session, taking or leaving the file.
  static pagvigia::testing::TempDir pasta("pagvigia-fuzz");
  static platform::ManualClock tempo;  // sleeps without waiting
  static TComandoIntegrador* scan = [] {
    static TComandoIntegrador c(nullptr, tempo, tempo);
    c.SetPastaOutput(pasta.path());
    return &c;
  }();
  platform::WriteFileBytes(pasta / "r.xml", bytes);
  (void)scan->AguardaArqResposta(123);

  // As read from a file without byte-order mark: Windows-1252 bytes.
  const std::string texto = platform::AnsiToUtf8(bytes);

  TIntegradorResposta envelope;
  try {
    envelope.LerResposta(texto);
  } catch (const EConvertError&) {
  }

  static TComandoIntegrador comando(nullptr);
  comando.Clear();
  (void)comando.PegaResposta(texto);

  TLeitor leitor;
  leitor.SetArquivo(texto);
  if (!leitor.rExtrai(1, "Identificador").empty()) (void)leitor.rCampo(tcEsp, "Valor");

  const std::string ansi = platform::AnsiRoundTrip(texto);
  Le<TRespostaPagamento>(ansi);
  Le<TRespostaStatusPagamento>(ansi);
  Le<TRetornoRespostaFiscal>(ansi);
  Le<TRespostaVerificarStatusValidador>(ansi);
  return 0;
}
