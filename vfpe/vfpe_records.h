// Request and response records of the VFP-e (payment validator) methods of
// the Integrador. A request turns itself into the command XML through its
// writer (AsXMLString); a response fills itself from an answer text through
// its reader (SetXMLString / AsXMLString(text)).
//
// "8-bit text" below is the Integrador's code page (Windows-1252) held as
// UTF-8 that has been through it: characters the code page cannot hold are
// already "?".
#pragma once
#include <cstdint>
#include <string>

#include "vfpe/integrador_resposta.h"

namespace pagvigia {

// Request of EnviarPagamento.
class TEnviarPagamento {
 public:
  TEnviarPagamento() { Clear(); }

  std::int32_t Identificador = 0;  // session number, set just before the XML is taken
  std::string ChaveAcessoValidador;
  std::string ChaveRequisicao;
  std::string Estabelecimento;
  std::string SerialPOS;
  std::string CNPJ;
  double IcmsBase = 0;
  double ValorTotalVenda = 0;
  bool HabilitarMultiplosPagamentos = false;
  bool HabilitarControleAntiFraude = false;
  std::string CodigoMoeda;
  bool EmitirCupomNFCE = false;
  std::string OrigemPagamento;

  // Resets Identificador through ValorTotalVenda; the three Booleans, CodigoMoeda
  // and OrigemPagamento keep their values.
  void Clear();
  // The command XML (8-bit text), built anew on every call.
  std::string GetXMLString() const;
  std::string AsXMLString() const { return GetXMLString(); }
  // Fills the record from an XML text with one element per field
  // (identificador, chaveAcessoValidador, ...). Raises EConvertError when
  // identificador is not an integer.
  void SetXMLString(const std::string& AValue);
  void AsXMLString(const std::string& AValue) { SetXMLString(AValue); }
};

// Request of EnviarStatusPagamento.
class TStatusPagamento {
 public:
  TStatusPagamento() { Clear(); }

  std::int32_t Identificador = 0;
  std::string ChaveAcessoValidador;
  std::string CodigoAutorizacao;
  std::string Bin;
  std::string DonoCartao;
  std::string DataExpiracao;
  std::string InstituicaoFinanceira;
  std::int32_t Parcelas = 0;
  std::string CodigoPagamento;
  double ValorPagamento = 0;
  std::int32_t IDFila = 0;
  std::string Tipo;
  std::int32_t UltimosQuatroDigitos = 0;

  void Clear();  // every field
  std::string GetXMLString() const;
  std::string AsXMLString() const { return GetXMLString(); }
};

// Request of RespostaFiscal.
class TRespostaFiscal {
 public:
  TRespostaFiscal() { Clear(); }

  std::int32_t Identificador = 0;
  std::string ChaveAcessoValidador;
  std::int32_t IDFila = 0;  // the IDPagamento that EnviarPagamento returned
  std::string ChaveAcesso;
  std::string Nsu;
  std::string NumerodeAprovacao;
  std::string Bandeira;
  std::string Adquirente;
  std::string CNPJ;
  std::string ImpressaoFiscal;  // the fiscal receipt's XML text
  std::string NumeroDocumento;

  void Clear();  // every field
  std::string GetXMLString() const;
  std::string AsXMLString() const { return GetXMLString(); }
};

// Request of VerificarStatusValidador.
class TVerificarStatusValidador {
 public:
  TVerificarStatusValidador() { Clear(); }

  std::int32_t Identificador = 0;
  std::string ChaveAcessoValidador;
  std::int32_t IDFila = 0;
  std::string CNPJ;

  void Clear();  // every field
  std::string GetXMLString() const;
  std::string AsXMLString() const { return GetXMLString(); }
};

// Answer of EnviarPagamento.
class TRespostaPagamento {
 public:
  TRespostaPagamento() { Clear(); }
  TRespostaPagamento(const TRespostaPagamento&) = delete;
  TRespostaPagamento& operator=(const TRespostaPagamento&) = delete;

  TIntegradorResposta IntegradorResposta;
  std::int32_t IDPagamento = 0;  // the payment's id in the validator's queue
  std::string Mensagem;
  std::string StatusPagamento;
  std::string XML;  // the answer as received (8-bit text); not reset by Clear
  std::string Retorno;

  void Clear();
  // Stores the answer in XML and fills the record from it.
  void SetXMLString(const std::string& AValue);
  void AsXMLString(const std::string& AValue) { SetXMLString(AValue); }
};

// Answer of EnviarStatusPagamento.
class TRespostaStatusPagamento {
 public:
  TRespostaStatusPagamento() { Clear(); }
  TRespostaStatusPagamento(const TRespostaStatusPagamento&) = delete;
  TRespostaStatusPagamento& operator=(const TRespostaStatusPagamento&) = delete;

  TIntegradorResposta IntegradorResposta;
  std::string Retorno;
  std::string XML;

  void Clear();
  void SetXMLString(const std::string& AValue);
  void AsXMLString(const std::string& AValue) { SetXMLString(AValue); }
};

// Answer of RespostaFiscal.
class TRetornoRespostaFiscal {
 public:
  TRetornoRespostaFiscal() { Clear(); }
  TRetornoRespostaFiscal(const TRetornoRespostaFiscal&) = delete;
  TRetornoRespostaFiscal& operator=(const TRetornoRespostaFiscal&) = delete;

  TIntegradorResposta IntegradorResposta;
  std::string IdRespostaFiscal;
  std::string XML;

  void Clear();
  void SetXMLString(const std::string& AValue);
  void AsXMLString(const std::string& AValue) { SetXMLString(AValue); }
};

// Answer of VerificarStatusValidador.
class TRespostaVerificarStatusValidador {
 public:
  TRespostaVerificarStatusValidador() { Clear(); }
  TRespostaVerificarStatusValidador(const TRespostaVerificarStatusValidador&) = delete;
  TRespostaVerificarStatusValidador& operator=(const TRespostaVerificarStatusValidador&) = delete;

  TIntegradorResposta IntegradorResposta;
  std::string CodigoAutorizacao;
  std::string Bin;
  std::string DonoCartao;
  std::string DataExpiracao;
  std::string InstituicaoFinanceira;
  std::int32_t Parcelas = 0;
  std::int32_t UltimosQuatroDigitos = 0;
  std::string CodigoPagamento;
  double ValorPagamento = 0;
  std::int32_t IDFila = 0;
  std::string Tipo;
  std::string XML;
  std::string Retorno;

  void Clear();
  void SetXMLString(const std::string& AValue);
  void AsXMLString(const std::string& AValue) { SetXMLString(AValue); }
};

}  // namespace pagvigia
