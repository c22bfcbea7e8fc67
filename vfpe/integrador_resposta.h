// The envelope of every Integrador answer: the session it answers
// (Integrador > Identificador > valor) and the Integrador's own verdict
// (Integrador > IntegradorResposta > Codigo and Valor).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace pagvigia {

class TLeitor;

class TIntegradorResposta {
 public:
  TIntegradorResposta();
  ~TIntegradorResposta();
  TIntegradorResposta(const TIntegradorResposta&) = delete;
  TIntegradorResposta& operator=(const TIntegradorResposta&) = delete;

  std::int32_t Identificador = 0;  // session number the answer belongs to
  std::string Codigo;              // "AP" when accepted, "EE" for the Integrador's errors
  std::string Valor;               // the text that accompanies the code

  // Identificador := 0, Codigo and Valor empty.
  void Clear();
  // Parses one answer text into the fields. Does not clear first: a field
  // whose element is missing keeps its value. Without an "Integrador" group
  // nothing is touched.
  void LerResposta(const std::string& XML);

 private:
  std::unique_ptr<TLeitor> FLeitor;
};

}  // namespace pagvigia
