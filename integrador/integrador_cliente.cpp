#include "integrador/integrador_cliente.h"

#include "vfpe/integrador_resposta.h"
#include "platform/codepage.h"
#include "util/arquivos.h"
#include "util/datetime.h"
#include "util/numeros.h"
#include "util/texto.h"
#include "vfpe/gerador.h"
#include "vfpe/vfpe_records.h"
#include "vfpe/vfpe_writers.h"

namespace pagvigia {

TIntegradorCliente::TIntegradorCliente(platform::Clock& clock, platform::Sleeper& sleeper)
    : FGerador(std::make_unique<TGerador>()),
      FComandoIntegrador(std::make_unique<TComandoIntegrador>(this, clock, sleeper)),
      FParametro(std::make_unique<TParametro>(*FGerador)),
      FMetodo(std::make_unique<TMetodo>(*FGerador)),
      FClock(&clock) {
  Clear();
}

TIntegradorCliente::~TIntegradorCliente() = default;

const std::string& TIntegradorCliente::PastaInput() const { return FComandoIntegrador->PastaInput(); }
void TIntegradorCliente::SetPastaInput(std::string_view AValue) { FComandoIntegrador->SetPastaInput(AValue); }
const std::string& TIntegradorCliente::PastaOutput() const { return FComandoIntegrador->PastaOutput(); }
void TIntegradorCliente::SetPastaOutput(std::string_view AValue) { FComandoIntegrador->SetPastaOutput(AValue); }
std::int32_t TIntegradorCliente::Timeout() const { return FComandoIntegrador->Timeout(); }
void TIntegradorCliente::SetTimeout(std::int32_t AValue) { FComandoIntegrador->SetTimeout(AValue); }
bool TIntegradorCliente::ErroTimeout() const { return FComandoIntegrador->ErroTimeout(); }
const std::string& TIntegradorCliente::ErroResposta() const { return FComandoIntegrador->Erro(); }
const std::string& TIntegradorCliente::UltimaResposta() const { return FComandoIntegrador->Resposta(); }

void TIntegradorCliente::SetTempo(platform::Clock& clock, platform::Sleeper& sleeper) {
  FClock = &clock;
  FComandoIntegrador->SetTempo(clock, sleeper);
}

void TIntegradorCliente::SetNomeMetodo(const std::string& NomeMetodo, bool Homologacao) {
  FNomeMetodo = Homologacao ? "H" + NomeMetodo : NomeMetodo;
}

void TIntegradorCliente::Clear() {
  FNumeroSessao = 0;
  FNomeMetodo.clear();
  FNomeComponente.clear();
  FParametros.clear();
}

std::int32_t TIntegradorCliente::GerarNumeroSessao() {
  const std::int32_t Sessao = 1 + RandomDraw(kMaiorSessao - 1);
  FNumeroSessao = Sessao;
  if (OnGetNumeroSessao) OnGetNumeroSessao(FNumeroSessao);
  if (FNumeroSessao <= 0) FNumeroSessao = Sessao;
  return FNumeroSessao;
}

template <class Resposta, class Pedido>
std::unique_ptr<Resposta> TIntegradorCliente::ChamadaTipada(Pedido& pedido, const char* nome) {
  auto resposta = std::make_unique<Resposta>();
  GerarNumeroSessao();
  pedido.Identificador = FNumeroSessao;
  const std::string Comando = pedido.AsXMLString();
  DoLog(std::string(nome) + "( " + Comando + " )");
  FComandoIntegrador->EnviaComando(FNumeroSessao, nome, Comando, 0);
  // The record keeps the answer as it survives the ANSI code page and parses it.
  resposta->SetXMLString(FComandoIntegrador->Resposta());
  return resposta;
}

std::unique_ptr<TRespostaPagamento> TIntegradorCliente::EnviarPagamento(TEnviarPagamento& Pagamento) {
  return ChamadaTipada<TRespostaPagamento>(Pagamento, "EnviarPagamento");
}

std::unique_ptr<TRespostaStatusPagamento> TIntegradorCliente::EnviarStatusPagamento(
    TStatusPagamento& StatusPagamento) {
  return ChamadaTipada<TRespostaStatusPagamento>(StatusPagamento, "EnviarStatusPagamento");
}

std::unique_ptr<TRespostaVerificarStatusValidador> TIntegradorCliente::VerificarStatusValidador(
    TVerificarStatusValidador& AVerificarStatusValidador) {
  return ChamadaTipada<TRespostaVerificarStatusValidador>(AVerificarStatusValidador, "VerificarStatusValidador");
}

std::unique_ptr<TRetornoRespostaFiscal> TIntegradorCliente::RespostaFiscal(TRespostaFiscal& ARespostaFiscal) {
  return ChamadaTipada<TRetornoRespostaFiscal>(ARespostaFiscal, "RespostaFiscal");
}

std::string TIntegradorCliente::GerarArquivo() {
  FGerador->LayoutArquivoTXT.clear();
  FGerador->ArquivoFormatoXML.clear();
  FGerador->ArquivoFormatoTXT.clear();
  FMetodo->GerarMetodo(FNumeroSessao, FNomeComponente, FNomeMetodo);
  for (const std::string& entrada : FParametros) {
    const auto igual = entrada.find('=');
    const std::string nome = igual == std::string::npos ? entrada : entrada.substr(0, igual);
    const std::string valor = igual == std::string::npos ? std::string() : entrada.substr(igual + 1);
    FParametro->GerarParametro(nome, TVariant(valor), tcStr, valor.find("<![CDATA[") == std::string::npos);
  }
  FMetodo->FinalizarMetodo();
  return FGerador->ArquivoFormatoXML;
}

std::string TIntegradorCliente::Enviar(bool AdicionarNumeroSessao) {
  FRespostas.clear();
  FComandoIntegrador->Clear();
  GerarNumeroSessao();
  if (AdicionarNumeroSessao) FParametros.insert(FParametros.begin(), "numeroSessao=" + IntToStr(FNumeroSessao));
  const std::string DadosIntegrador = GerarArquivo();
  if (FNomeMetodo.empty()) DoException("NomeMetodo não definido");

  const std::string NomeArq = FNomeMetodo + "-" + FormatDateTime("yyyymmddhhnnss", Now(*FClock));
  DoLog("Sessão: " + IntToStr(FNumeroSessao) + ", Dados: " + DadosIntegrador);
  std::string resultado = FComandoIntegrador->EnviaComando(FNumeroSessao, NomeArq, DadosIntegrador, 0);
  DoLog("Sessão: " + IntToStr(FNumeroSessao) + ", Resposta: " + resultado);

  if (resultado.empty()) {
    std::string ErroIntegrador = FComandoIntegrador->Erro();
    if (ErroIntegrador.empty()) ErroIntegrador = "Sem resposta do Integrador";
    DoException(ErroIntegrador);
  }
  if (StartsStr("\\\"", resultado)) resultado.erase(0, 2);
  AddDelimitedTextToList(resultado, '|', FRespostas, '\0');
  return resultado;
}

std::string TIntegradorCliente::ConsultarNumeroSessaoIntegrador(std::int32_t ANumeroSessao) {
  DoLog("ConsultarNumeroSessaoIntegrador( " + IntToStr(ANumeroSessao) + " )");
  Clear();
  FNomeComponente = "ConsultaNumeroSessao";
  FNomeMetodo = "numeroSessao";
  FParametros.push_back("numeroSessao=" + IntToStr(ANumeroSessao));
  return Enviar(false);
}

void TIntegradorCliente::DoLog(const std::string& AString) {
  bool Tratado = false;
  if (OnGravarLog) OnGravarLog(AString, Tratado);
  if (!Tratado) GravaLog(platform::AnsiRoundTrip(AString));
}

void TIntegradorCliente::GravaLog(const std::string& AString) {
  if (ArqLOG.empty()) return;
  const std::string linha = FormatDateTime("dd/mm/yy hh:nn:ss:zzz", Now(*FClock)) + " - " + AString;
  // WriteLog appends CR LF and ignores every error of writing. The log
  // holds the Integrador's access key.
  WriteLog(ArqLOG, platform::Utf8ToAnsi(linha), false, platform::FileAccess::Private);
}

void TIntegradorCliente::DoException(const std::string& AMessage) {
  DoLog("EIntegradorException: " + AMessage);
  throw EIntegradorException(AMessage);
}

}  // namespace pagvigia
