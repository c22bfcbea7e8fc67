#include "integrador/comando_integrador.h"


#include "vfpe/integrador_resposta.h"
#include "platform/codepage.h"
#include "util/arquivos.h"
#include "util/conversao.h"
#include "util/datetime.h"
#include "util/numeros.h"
#include "util/texto.h"
#include "vfpe/leitor.h"

namespace pagvigia {
namespace {

// The name with the extension of its file-name part replaced (appended when
// it has none); dots in the folder part do not count.
std::string ChangeFileExt(const std::string& nome, const std::string& ext) {
  const auto barra = nome.find_last_of(platform::kPathDelim);
  const auto ponto = nome.find_last_of('.');
  if (ponto == std::string::npos || (barra != std::string::npos && ponto < barra)) return nome + ext;
  return nome.substr(0, ponto) + ext;
}

// Only regular files can be answers: a folder or a pipe that happens to end
// in ".xml" is skipped (opening a pipe would block the exchange).
bool EhArquivoComum(const std::string& caminho) { return platform::RegularFileExists(caminho); }

// A text field of the current group (a malformed character reference in it
// is kept as it stands by the reader, so the taken answer is never lost).
std::string CampoTexto(const TLeitor& leitor, std::string_view tag) {
  return leitor.rCampo(tcStr, tag).AsString();
}

// The name of the first element of the text ("" when none).
std::string_view RootName(std::string_view text) {
  for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
    if (i + 1 >= text.size() || text[i + 1] == '?' || text[i + 1] == '!' || text[i + 1] == '/') continue;
    std::size_t j = i + 1;
    while (j < text.size() && text[j] != '>' && text[j] != '/' && static_cast<unsigned char>(text[j]) > ' ') ++j;
    return text.substr(i + 1, j - i - 1);
  }
  return {};
}

// True when the text is a whole document: blanks aside, it ends with the
// closing tag of its first element, or every element opened in it is closed
// (an answer without the envelope). An answer cut short by a writer that has
// not finished, even one that paused long enough to look finished, is
// neither; the Integrador's answers are one root element each.
bool IsCompleteDocument(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  if (end == 0 || text[end - 1] != '>') return false;
  const std::string_view root = RootName(text);
  if (!root.empty()) {
    const std::string close = "</" + std::string(root) + ">";
    if (end >= close.size() && text.substr(end - close.size(), close.size()) == close) return true;
  }
  int depth = 0;
  bool element = false;
  for (std::size_t i = text.find('<'); i < end; i = text.find('<', i)) {
    auto skipTo = [&](std::string_view close) {
      const std::size_t at = text.find(close, i);
      return at == std::string_view::npos || at >= end ? std::string_view::npos : at + close.size();
    };
    std::size_t next;
    if (text.substr(i, 4) == "<!--") {
      next = skipTo("-->");
    } else if (text.substr(i, 9) == "<![CDATA[") {
      next = skipTo("]]>");
    } else if (text.substr(i, 2) == "<?" || text.substr(i, 2) == "<!") {
      next = skipTo(">");
    } else {
      // A tag: quoted attribute values may hold ">".
      char quote = 0;
      std::size_t j = i + 1;
      for (; j < end && (quote || text[j] != '>'); ++j) {
        if (quote && text[j] == quote) quote = 0;
        else if (!quote && (text[j] == '"' || text[j] == '\'')) quote = text[j];
      }
      if (j >= end) return false;
      if (text[i + 1] == '/') {
        if (--depth < 0) return false;
      } else if (text[j - 1] != '/') {
        ++depth;
      }
      element = true;
      next = j + 1;
    }
    if (next == std::string_view::npos) return false;
    i = next;
  }
  return element && depth == 0;
}

std::string DoisDigitos(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

TComandoIntegrador::TComandoIntegrador(TComandoIntegradorOwner* AOwner, platform::Clock& clock,
                                       platform::Sleeper& sleeper)
    : FOwner(AOwner),
      FLeitor(std::make_unique<TLeitor>()),
      FIntegradorResposta(std::make_unique<TIntegradorResposta>()),
      FClock(&clock),
      FSleeper(&sleeper) {}

TComandoIntegrador::~TComandoIntegrador() = default;

void TComandoIntegrador::Clear() {
  FErro.clear();
  FErroTimeout = false;
  FComandoRetirado = false;
  FResposta.clear();
  FIntegradorResposta->Clear();
}

void TComandoIntegrador::SetPastaInput(std::string_view AValue) {
  if (AValue == FPastaInput) return;
  FPastaInput = PathWithDelim(AValue);
}

void TComandoIntegrador::SetPastaOutput(std::string_view AValue) {
  if (AValue == FPastaOutput) return;
  FPastaOutput = PathWithDelim(AValue);
}

void TComandoIntegrador::SetTempo(platform::Clock& clock, platform::Sleeper& sleeper) {
  FClock = &clock;
  FSleeper = &sleeper;
}

void TComandoIntegrador::Log(const std::string& AString) {
  if (FOwner) FOwner->DoLog(AString);
}

void TComandoIntegrador::DoException(const std::string& AMessage) {
  Log("EComandoIntegradorException: " + AMessage);
  throw EComandoIntegradorException(AMessage);
}

std::string TComandoIntegrador::CriarXml(const std::string& NomeArquivo, const std::string& Comando) {
  const std::string temporario = ChangeFileExt(NomeArquivo, ".tmp");
  Log("Criando arquivo: " + temporario);
  try {
    platform::WriteFileBytes(temporario, platform::Utf8ToAnsi(Comando));
  } catch (const platform::FileError&) {
    // A half-written temporary file is of no use to anybody: drop it, and
    // report the failure as this exchange's own error (logged).
    platform::DeleteFile(temporario);
    DoException(kErroCriarArquivo + temporario);
  }
  if (!platform::FileExists(temporario)) DoException(kErroCriarArquivo + temporario);

  const std::string final = ChangeFileExt(temporario, ".xml");
  if (FAoPublicar) {
    try {
      FAoPublicar(FSessaoAtual, final);
    } catch (...) {
      platform::DeleteFile(temporario);
      throw;
    }
  }
  Log("Renomeando arquivo: " + temporario + " para: " + final);
  // Never replaces a command file that is already there. A command that was
  // not published leaves nothing behind in the input folder.
  if (!platform::RenameNoReplace(temporario, final)) {
    platform::DeleteFile(temporario);
    DoException("Erro ao renomear o arquivo: " + temporario + " para: " + final);
  }
  return final;
}

std::string TComandoIntegrador::EnviaComando(std::int32_t numeroSessao, const std::string& Nome,
                                             const std::string& Comando, std::int32_t TimeOutComando) {
  Clear();
  FComandoRetirado = false;
  FSessaoAtual = numeroSessao;
  const std::string base = FPastaInput + LowerCase(Nome) + "-" + IntToStr(numeroSessao);
  // The base name carries no extension; ".xml" is given here so that a dot
  // inside Nome can never cut the session number off the file name.
  std::string NomeArquivoXml = CriarXml(base + ".xml", Comando);

  std::int64_t ActualTime = FClock->NowMs();
  std::int64_t TimeToRetry = ActualTime + kIntervaloReenvioMs;
  std::int32_t LocTimeOut = TimeOutComando > 0 ? TimeOutComando : FTimeout;
  if (LocTimeOut <= kTimeoutMinimo) LocTimeOut = kTimeoutMinimo;
  const std::int64_t deadline = ActualTime + static_cast<std::int64_t>(LocTimeOut) * 1000;

  std::string RespostaIntegrador = AguardaArqResposta(numeroSessao);
  while (RespostaIntegrador.empty() && ActualTime < deadline) {
    if (FPedidoAbandono && FPedidoAbandono()) AbandonaTroca(NomeArquivoXml);
    FSleeper->SleepMs(kEsperaLoopMs);
    RespostaIntegrador = AguardaArqResposta(numeroSessao);
    ActualTime = FClock->NowMs();
    if (ActualTime > TimeToRetry) {
      TimeToRetry = ActualTime + kIntervaloReenvioMs;
      // Re-send only a command that is provably not taken: the file must
      // still be there and our own deletion must be the one that removes it.
      // Once an answer has arrived, or the time is up, nothing is re-sent.
      if (RespostaIntegrador.empty() && ActualTime < deadline && platform::FileExists(NomeArquivoXml)) {
        try {
          Log("Apagando arquivo não processado: " + NomeArquivoXml);
        } catch (...) {
        }
        if (platform::DeleteFile(NomeArquivoXml)) {
          const platform::DateTime t = FClock->LocalNow();
          NomeArquivoXml =
              CriarXml(base + "-" + DoisDigitos(t.hour) + DoisDigitos(t.minute) + DoisDigitos(t.second) + ".xml",
                       Comando);
        }
      }
    }
  }

  if (platform::FileExists(NomeArquivoXml)) {
    Log("Apagando arquivo: " + NomeArquivoXml);
    // Removed unanswered by us: the Integrador never took it.
    if (platform::DeleteFile(NomeArquivoXml)) FComandoRetirado = RespostaIntegrador.empty();
  }

  if (RespostaIntegrador.empty()) {
    FErroTimeout = true;
    DoException(kSemRespostaIntegrador);
  }

  Log("RespostaIntegrador: " + RespostaIntegrador);
  FResposta = RespostaIntegrador;
  try {
    FIntegradorResposta->LerResposta(RespostaIntegrador);
  } catch (const EConvertError&) {
    // A field of the envelope that does not convert: the answer is taken and
    // logged already, so it is handed back with the envelope as far as it
    // could be read rather than lost.
  }

  if (FIntegradorResposta->Codigo == "EE") return FResposta;
  return PegaResposta(FResposta);
}

bool TComandoIntegrador::RetirarComando(const std::string& Arquivo) {
  const std::string temporario = ChangeFileExt(Arquivo, ".tmp");
  if (platform::FileExists(temporario)) platform::DeleteFile(temporario);
  if (!platform::FileExists(Arquivo)) return false;
  Log("Apagando arquivo não processado: " + Arquivo);
  return platform::DeleteFile(Arquivo);
}

void TComandoIntegrador::AbandonaTroca(const std::string& NomeArquivoXml) {
  // The Integrador takes a command by removing its file: only when our own
  // deletion removes it is the command known never to have been taken.
  FComandoRetirado = platform::FileExists(NomeArquivoXml) && platform::DeleteFile(NomeArquivoXml);
  DoException("Troca com o Integrador abandonada para a parada do serviço: " +
              std::string(FComandoRetirado ? "comando retirado sem ser tomado: " : "comando já tomado pelo Integrador: ") +
              NomeArquivoXml);
}

platform::TextFile TComandoIntegrador::LerArquivo(const std::string& Arquivo) {
  return platform::ReadTextFile(Arquivo);
}

std::string TComandoIntegrador::LerResposta(const std::string& Arquivo, platform::FileStamp antes) {
  for (int tentativa = 0; tentativa <= kMaxTentativas; ++tentativa) {
    if (tentativa > 0) FSleeper->SleepMs(kEsperaTentativaMs);
    try {
      platform::TextFile lido = LerArquivo(Arquivo);
      const platform::FileStamp depois = platform::StatFile(Arquivo);
      // A file whose size or time changed since the look before the read is
      // still being written: never take it half-written.
      if (depois.exists && depois == antes) return std::move(lido.text);
      antes = depois;
    } catch (const platform::FileError&) {
      antes = platform::StatFile(Arquivo);
      // Gone meanwhile (taken by the exchange it belongs to): no retry can
      // read it, and waiting for it would only delay this exchange.
      if (!antes.exists) return {};
    }
  }
  return {};
}

bool TComandoIntegrador::PertenceASessao(std::int32_t numeroSessao) {
  if (FLeitor->rExtrai(1, "Identificador").empty()) return false;
  // The digits of the Valor content form the session number. A content
  // without digits (or with more digits than a session number can hold) names
  // no session, not session 0.
  std::string digitos = OnlyNumber(FLeitor->rCampo(tcEsp, "Valor").AsString());
  if (digitos.empty()) return false;
  const auto primeiro = digitos.find_first_not_of('0');
  digitos = primeiro == std::string::npos ? "0" : digitos.substr(primeiro);
  return digitos == IntToStr(numeroSessao);
}

std::string TComandoIntegrador::AguardaArqResposta(std::int32_t numeroSessao) {
  Log(FormatDateTime("dd/mm/yyyy hh:nn:ss", Now(*FClock)) + " - AguardaArqResposta, sessao: " + IntToStr(numeroSessao));

  std::vector<std::string> arquivos;
  FindFiles(PathWithDelim(FPastaOutput) + "*.xml", arquivos, true);
  // The first look at each file, before the pause: a file still growing
  // afterwards is caught by the look after its read.
  std::vector<platform::FileStamp> vistos;
  vistos.reserve(arquivos.size());
  for (const auto& a : arquivos) vistos.push_back(platform::StatFile(a));

  FSleeper->SleepMs(kEsperaVarreduraMs);

  for (std::size_t i = 0; i < arquivos.size(); ++i) {
    const std::string& arquivo = arquivos[i];
    if (!EhArquivoComum(arquivo)) continue;
    FLeitor->SetArquivo(LerResposta(arquivo, vistos[i]));
    // An answer of this session that is not whole yet stays for the next
    // scan, whatever its file looked like: its writer may only have paused.
    if (PertenceASessao(numeroSessao) && IsCompleteDocument(FLeitor->Arquivo())) {
      std::string resultado = Trim(FLeitor->Arquivo());
      platform::DeleteFile(arquivo);
      return resultado;
    }
  }
  return {};
}

std::string TComandoIntegrador::PegaResposta(const std::string& Resp) {
  std::string resultado;
  FLeitor->SetArquivo(Resp);
  if (!FLeitor->rExtrai(1, "retorno").empty())
    resultado = CampoTexto(*FLeitor, "retorno");
  else if (!FLeitor->rExtrai(1, "Resposta").empty())
    resultado = CampoTexto(*FLeitor, "Resposta");
  const std::string erro = FLeitor->rExtrai(1, "Erro");
  if (!erro.empty()) FErro = erro;
  if (resultado.empty() && FErro.empty()) resultado = Resp;
  return resultado;
}

}  // namespace pagvigia
