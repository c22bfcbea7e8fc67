// Readers of the VFP-e answers: each fills its response record from the
// answer text in Leitor().Arquivo() (looked up by tag name in the whole text)
// and lets the envelope fill the record's IntegradorResposta. One more reader
// reads a payment request back from XML with one element per field.
#pragma once

#include "vfpe/leitor.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {

class TRespostaPagamentoR {
 public:
  explicit TRespostaPagamentoR(TRespostaPagamento* AOwner) : RespostaPagamento(AOwner) {}
  TLeitor& Leitor() { return FLeitor; }
  TRespostaPagamento* RespostaPagamento;  // not owned
  void LerXml();

 private:
  TLeitor FLeitor;
};

class TRespostaStatusPagamentoR {
 public:
  explicit TRespostaStatusPagamentoR(TRespostaStatusPagamento* AOwner)
      : RespostaStatusPagamento(AOwner) {}
  TLeitor& Leitor() { return FLeitor; }
  TRespostaStatusPagamento* RespostaStatusPagamento;  // not owned
  bool LerXml();  // always true

 private:
  TLeitor FLeitor;
};

class TRespostaVerificarStatusValidadorR {
 public:
  explicit TRespostaVerificarStatusValidadorR(TRespostaVerificarStatusValidador* AOwner)
      : RespostaVerificarStatusValidador(AOwner) {}
  TLeitor& Leitor() { return FLeitor; }
  TRespostaVerificarStatusValidador* RespostaVerificarStatusValidador;  // not owned
  void LerXml();

 private:
  TLeitor FLeitor;
};

class TRetornoRespostaFiscalR {
 public:
  explicit TRetornoRespostaFiscalR(TRetornoRespostaFiscal* AOwner) : RetornoRespostaFiscal(AOwner) {}
  TLeitor& Leitor() { return FLeitor; }
  TRetornoRespostaFiscal* RetornoRespostaFiscal;  // not owned
  void LerXml();

 private:
  TLeitor FLeitor;
};

// Reads identificador, chaveAcessoValidador, chaveRequisicao, Estabelecimento,
// CNPJ, SerialPOS, IcmsBase and ValorTotalVenda. Raises EConvertError when
// identificador is not an integer.
class TEnviarPagamentoR {
 public:
  explicit TEnviarPagamentoR(TEnviarPagamento* AOwner) : EnviarPagamento(AOwner) {}
  TLeitor& Leitor() { return FLeitor; }
  TEnviarPagamento* EnviarPagamento;  // not owned
  void LerXml();

 private:
  TLeitor FLeitor;
};

}  // namespace pagvigia
