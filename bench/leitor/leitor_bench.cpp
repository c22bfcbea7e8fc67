// Reading ten fields and two nested groups out of a 4 KB Integrador answer:
// the XML text reader as the response readers use it, and pugixml (parse the
// text, then find the same elements) as the baseline.
#include <benchmark/benchmark.h>

#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "util/texto.h"
#include "vfpe/leitor.h"

using namespace pagvigia;

namespace {

// An answer to VerificarStatusValidador as the Integrador leaves it in its
// output folder: the envelope, the echoed request and the payment details.
std::string Resposta() {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<Integrador>\r\n"
      "  <Identificador>\r\n"
      "    <Valor>482913</Valor>\r\n"
      "  </Identificador>\r\n"
      "  <Componente Nome=\"VFP-e\">\r\n"
      "    <Metodo Nome=\"VerificarStatusValidador\">\r\n"
      "      <Construtor>\r\n"
      "        <Parametros>\r\n"
      "          <Parametro>\r\n"
      "            <Nome>chaveAcessoValidador</Nome>\r\n"
      "            <Valor>25CFE38D-3B92-46C0-91CA-CFF751A82D3D</Valor>\r\n"
      "          </Parametro>\r\n"
      "        </Parametros>\r\n"
      "      </Construtor>\r\n"
      "      <Parametros>\r\n";
  const char* params[][2] = {{"idFila", "1674068"},
                             {"cnpj", "11222333000181"},
                             {"ChaveAcessoValidador", "25CFE38D-3B92-46C0-91CA-CFF751A82D3D"},
                             {"Descricao", "Venda no cart&#xE3;o de cr&#xE9;dito &amp; d&#xE9;bito"},
                             {"Observacao", "Cliente solicitou &quot;via &#xFA;nica&quot;"}};
  for (auto& p : params)
    s += std::string("        <Parametro>\r\n          <Nome>") + p[0] + "</Nome>\r\n          <Valor>" + p[1] +
         "</Valor>\r\n        </Parametro>\r\n";
  s +=
      "      </Parametros>\r\n"
      "    </Metodo>\r\n"
      "  </Componente>\r\n"
      "  <IntegradorResposta>\r\n"
      "    <Codigo>AP</Codigo>\r\n"
      "    <Valor>Requisi&#xE7;&#xE3;o processada com sucesso &amp; registrada</Valor>\r\n"
      "  </IntegradorResposta>\r\n"
      "  <Resposta>\r\n"
      "    <retorno>\r\n"
      "      <CodigoAutorizacao>A1B2C3</CodigoAutorizacao>\r\n"
      "      <Bin>498406</Bin>\r\n"
      "      <DonoCartao>JOSE DA SILVA</DonoCartao>\r\n"
      "      <DataExpiracao>12/29</DataExpiracao>\r\n"
      "      <InstituicaoFinanceira>BANCO DO BRASIL S.A.</InstituicaoFinanceira>\r\n"
      "      <Parcelas>3</Parcelas>\r\n"
      "      <CodigoPagamento>PG-0000482913</CodigoPagamento>\r\n"
      "      <ValorPagamento>1250.75</ValorPagamento>\r\n"
      "      <IdFila>1674068</IdFila>\r\n"
      "      <Tipo>CREDITO</Tipo>\r\n"
      "      <UltimosQuatroDigitos>4321</UltimosQuatroDigitos>\r\n"
      "    </retorno>\r\n"
      "    <Historico>\r\n";
  int n = 0;
  while (s.size() < 4096 - 64) {
    s += "      <Evento><Data>2026-12-08T10:" + std::to_string(10 + n % 50) +
         ":00</Data><Descricao>Autoriza&#xE7;&#xE3;o consultada</Descricao></Evento>\r\n";
    ++n;
  }
  s +=
      "    </Historico>\r\n"
      "  </Resposta>\r\n"
      "</Integrador>\r\n";
  return s;
}

const std::string kResposta = Resposta();

struct Lidos {
  std::int32_t identificador = 0, parcelas = 0;
  std::string codigo, valor, autorizacao, bin, dono, expiracao, instituicao;
  double valorPagamento = 0;
};

Lidos LerComLeitor(const std::string& texto) {
  TLeitor l;
  l.SetArquivo(texto);
  Lidos r;
  // Two nested groups: the envelope's identifier and answer.
  l.rExtrai(1, "Integrador");
  l.rExtrai(2, "Identificador");
  r.identificador = l.rCampo(tcInt, "Valor").AsInteger();
  l.rExtrai(2, "IntegradorResposta");
  r.codigo = l.rCampo(tcStr, "Codigo").AsString();
  r.valor = l.rCampo(tcStr, "Valor").AsString();
  // The payment details, looked up in the whole answer as the readers do.
  l.SetGrupo(l.Arquivo());
  r.autorizacao = l.rCampo(tcStr, "CodigoAutorizacao").AsString();
  r.bin = l.rCampo(tcStr, "Bin").AsString();
  r.dono = l.rCampo(tcStr, "DonoCartao").AsString();
  r.expiracao = l.rCampo(tcStr, "DataExpiracao").AsString();
  r.instituicao = l.rCampo(tcStr, "InstituicaoFinanceira").AsString();
  r.parcelas = l.rCampo(tcInt, "Parcelas").AsInteger();
  r.valorPagamento = l.rCampo(tcDe2, "ValorPagamento").AsDouble();
  return r;
}

std::string Texto(pugi::xml_node n) { return Trim(n.text().get()); }

// pugixml, reaching each element by its path from the root.
Lidos LerComPugixml(const std::string& texto) {
  pugi::xml_document doc;
  doc.load_buffer(texto.data(), texto.size());
  Lidos r;
  const pugi::xml_node integrador = doc.child("Integrador");
  r.identificador = integrador.child("Identificador").child("Valor").text().as_int();
  const pugi::xml_node resposta = integrador.child("IntegradorResposta");
  r.codigo = Texto(resposta.child("Codigo"));
  r.valor = Texto(resposta.child("Valor"));
  const pugi::xml_node retorno = integrador.child("Resposta").child("retorno");
  r.autorizacao = Texto(retorno.child("CodigoAutorizacao"));
  r.bin = Texto(retorno.child("Bin"));
  r.dono = Texto(retorno.child("DonoCartao"));
  r.expiracao = Texto(retorno.child("DataExpiracao"));
  r.instituicao = Texto(retorno.child("InstituicaoFinanceira"));
  r.parcelas = retorno.child("Parcelas").text().as_int();
  r.valorPagamento = retorno.child("ValorPagamento").text().as_double();
  return r;
}

// pugixml, finding the payment details anywhere in the document as the
// reader does (first element of that name, depth first).
pugi::xml_node Primeiro(const pugi::xml_node& raiz, const char* nome) {
  return raiz.find_node([nome](pugi::xml_node n) { return std::strcmp(n.name(), nome) == 0; });
}

Lidos LerComPugixmlBusca(const std::string& texto) {
  pugi::xml_document doc;
  doc.load_buffer(texto.data(), texto.size());
  Lidos r;
  const pugi::xml_node integrador = doc.child("Integrador");
  r.identificador = integrador.child("Identificador").child("Valor").text().as_int();
  const pugi::xml_node resposta = integrador.child("IntegradorResposta");
  r.codigo = Texto(resposta.child("Codigo"));
  r.valor = Texto(resposta.child("Valor"));
  r.autorizacao = Texto(Primeiro(doc, "CodigoAutorizacao"));
  r.bin = Texto(Primeiro(doc, "Bin"));
  r.dono = Texto(Primeiro(doc, "DonoCartao"));
  r.expiracao = Texto(Primeiro(doc, "DataExpiracao"));
  r.instituicao = Texto(Primeiro(doc, "InstituicaoFinanceira"));
  r.parcelas = Primeiro(doc, "Parcelas").text().as_int();
  r.valorPagamento = Primeiro(doc, "ValorPagamento").text().as_double();
  return r;
}

bool Iguais(const Lidos& a, const Lidos& b) {
  return a.identificador == b.identificador && a.parcelas == b.parcelas && a.codigo == b.codigo &&
         a.valor == b.valor && a.autorizacao == b.autorizacao && a.bin == b.bin && a.dono == b.dono &&
         a.expiracao == b.expiracao && a.instituicao == b.instituicao && a.valorPagamento == b.valorPagamento;
}

template <Lidos (*Ler)(const std::string&)>
void Bench(benchmark::State& state) {
  const Lidos esperado = LerComPugixml(kResposta);
  if (!Iguais(Ler(kResposta), esperado) || esperado.valor != "Requisição processada com sucesso & registrada") {
    state.SkipWithError("the readers disagree");
    return;
  }
  for (auto _ : state) {
    Lidos r = Ler(kResposta);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kResposta.size()));
  state.counters["answer_bytes"] = static_cast<double>(kResposta.size());
}

BENCHMARK(Bench<LerComLeitor>)->Name("TLeitor_10_fields_2_groups");
BENCHMARK(Bench<LerComPugixml>)->Name("pugixml_parse_and_path_lookups");
BENCHMARK(Bench<LerComPugixmlBusca>)->Name("pugixml_parse_and_search_anywhere");

}  // namespace

BENCHMARK_MAIN();
