// Writers of the VFP-e commands: the envelope builders (method, constructor
// block, parameter), which the Integrador component also uses for its generic
// commands, and one message writer per request record.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "vfpe/gerador.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {

// A fixed validator access key: with it, EnviarPagamento writes
// ValorTotalVenda in its short form with "," (25,5) instead of 25.50.
inline constexpr const char* cChaveAcessoIntegrador = "7D41A0C2-58E6-4B1F-A39D-E0C6B2F4917A";

// The envelope: <Integrador><Identificador><Valor>n</Valor></Identificador>
// <Componente Nome="..."><Metodo Nome="...">[<Parametros>] ... closed by
// FinalizarMetodo.
class TMetodo {
 public:
  explicit TMetodo(TGerador& AGerador) : FGerador(AGerador) {}
  bool AdicionarParametros = true;  // open and close a "Parametros" group
  void GerarMetodo(std::int32_t Valor, const std::string& Componente, const std::string& Metodo);
  void FinalizarMetodo();

 private:
  TGerador& FGerador;
};

// <Construtor><Parametros><Parametro><Nome>..</Nome><Valor>..</Valor>
// </Parametro></Parametros></Construtor>
class TConstrutor {
 public:
  explicit TConstrutor(TGerador& AGerador) : FGerador(AGerador) {}
  void GerarConstructor(const std::string& Nome, const std::string& Valor);

 private:
  TGerador& FGerador;
};

// <Parametro><Nome>..</Nome><Valor>..</Valor></Parametro>
class TParametro {
 public:
  explicit TParametro(TGerador& AGerador) : FGerador(AGerador) {}
  void GerarParametro(const std::string& Nome, const TVariant& Valor, TTipoCampo Tipo,
                      bool ParseTextoXML = true);

 private:
  TGerador& FGerador;
};

// Message writers. Each owns a fresh generator with default options;
// GerarXml replaces its text by the complete command for the record and
// returns true when no alert was recorded.
class TEnviarPagamentoW {
 public:
  explicit TEnviarPagamentoW(const TEnviarPagamento* AOwner) : EnviarPagamento(AOwner) {}
  const TEnviarPagamento* EnviarPagamento;  // not owned
  TGerador& Gerador() { return FGerador; }
  TGeradorOpcoes& Opcoes() { return FGerador.Opcoes; }
  bool GerarXml();

 private:
  TGerador FGerador;
};

class TStatusPagamentoW {
 public:
  explicit TStatusPagamentoW(const TStatusPagamento* AOwner) : StatusPagamento(AOwner) {}
  const TStatusPagamento* StatusPagamento;  // not owned
  TGerador& Gerador() { return FGerador; }
  TGeradorOpcoes& Opcoes() { return FGerador.Opcoes; }
  bool GerarXml();

 private:
  TGerador FGerador;
};

class TRespostaFiscalW {
 public:
  explicit TRespostaFiscalW(const TRespostaFiscal* AOwner) : RespostaFiscal(AOwner) {}
  const TRespostaFiscal* RespostaFiscal;  // not owned
  TGerador& Gerador() { return FGerador; }
  TGeradorOpcoes& Opcoes() { return FGerador.Opcoes; }
  bool GerarXml();

 private:
  TGerador FGerador;
};

class TVerificarStatusValidadorW {
 public:
  explicit TVerificarStatusValidadorW(const TVerificarStatusValidador* AOwner)
      : VerificarStatusValidador(AOwner) {}
  const TVerificarStatusValidador* VerificarStatusValidador;  // not owned
  TGerador& Gerador() { return FGerador; }
  TGeradorOpcoes& Opcoes() { return FGerador.Opcoes; }
  bool GerarXml();

 private:
  TGerador FGerador;
};

}  // namespace pagvigia
