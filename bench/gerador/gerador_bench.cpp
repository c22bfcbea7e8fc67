// Cost of generating one EnviarPagamento command (envelope, constructor block
// and eleven parameters) with the XML generator, against the same bytes built
// by plain string concatenation (no formatting, checks or escaping).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "vfpe/gerador.h"
#include "vfpe/vfpe_records.h"
#include "vfpe/vfpe_writers.h"

namespace pagvigia {
namespace {

TEnviarPagamento Pagamento() {
  TEnviarPagamento p;
  p.Identificador = 483920;
  p.ChaveAcessoValidador = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D";
  p.ChaveRequisicao = "26ba6c6e-3b16-4c31-95a2-1f8ee8b1a5e2";
  p.Estabelecimento = "15";
  p.SerialPOS = "5C219486";
  p.CNPJ = "11222333000181";
  p.IcmsBase = 0;
  p.ValorTotalVenda = 25.5;
  p.CodigoMoeda = "BRL";
  p.OrigemPagamento = "Padaria São João";
  return p;
}

// The writer with a fresh generator per command, as every command is made.
void BM_GeradorEnviarPagamento(benchmark::State& state) {
  const TEnviarPagamento p = Pagamento();
  for (auto _ : state) {
    TEnviarPagamentoW w(&p);
    w.GerarXml();
    benchmark::DoNotOptimize(w.Gerador().ArquivoFormatoXML.data());
  }
}
BENCHMARK(BM_GeradorEnviarPagamento);

// What the Integrador component takes: the command in the ANSI code page.
void BM_AsXMLStringEnviarPagamento(benchmark::State& state) {
  const TEnviarPagamento p = Pagamento();
  for (auto _ : state) {
    std::string xml = p.AsXMLString();
    benchmark::DoNotOptimize(xml.data());
  }
}
BENCHMARK(BM_AsXMLStringEnviarPagamento);

// Baseline: the same text concatenated directly.
void BM_ConcatenacaoEnviarPagamento(benchmark::State& state) {
  const TEnviarPagamento p = Pagamento();
  auto par = [](std::string& s, const char* nome, const std::string& valor) {
    s += "<Parametro><Nome>";
    s += nome;
    s += "</Nome><Valor>";
    s += valor;
    s += "</Valor></Parametro>";
  };
  for (auto _ : state) {
    std::string s;
    s += "<Integrador><Identificador><Valor>";
    s += std::to_string(p.Identificador);
    s += "</Valor></Identificador><Componente Nome=\"VFP-e\"><Metodo Nome=\"EnviarPagamento\">"
         "<Construtor><Parametros><Parametro><Nome>chaveAcessoValidador</Nome><Valor>";
    s += p.ChaveAcessoValidador;
    s += "</Valor></Parametro></Parametros></Construtor><Parametros>";
    char num[64];
    par(s, "ChaveRequisicao", p.ChaveRequisicao);
    par(s, "Estabelecimento", p.Estabelecimento);
    par(s, "SerialPos", p.SerialPOS);
    par(s, "Cnpj", p.CNPJ);
    std::snprintf(num, sizeof num, "%.2f", p.IcmsBase);
    par(s, "IcmsBase", num);
    std::snprintf(num, sizeof num, "%.2f", p.ValorTotalVenda);
    par(s, "ValorTotalVenda", num);
    par(s, "HabilitarMultiplosPagamentos", p.HabilitarMultiplosPagamentos ? "true" : "false");
    par(s, "HabilitarControleAntiFraude", p.HabilitarControleAntiFraude ? "true" : "false");
    par(s, "CodigoMoeda", p.CodigoMoeda);
    par(s, "EmitirCupomNFCE", p.EmitirCupomNFCE ? "true" : "false");
    par(s, "OrigemPagamento", "Padaria Sao Joao");
    s += "</Parametros></Metodo></Componente></Integrador>";
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_ConcatenacaoEnviarPagamento);

}  // namespace
}  // namespace pagvigia

BENCHMARK_MAIN();
