#include "vfpe/gerador.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/codepage.h"
#include "platform/files.h"
#include "util/conversao.h"
#include "util/datetime.h"
#include "util/documentos.h"
#include "util/numeros.h"
#include "util/texto.h"
#include "util/xml_texto.h"

namespace pagvigia {
namespace {

constexpr const char* kCRLF = "\r\n";
constexpr const char* kMarcaCampo = "\xC2\xA8";  // "¨", the end of a TXT placeholder

std::string Dig2(int v) {
  std::string s = IntToStr(v);
  return s.size() < 2 ? std::string(2 - s.size(), '0') + s : s;
}

std::string Dig4(int v) {
  std::string s = IntToStr(v);
  return s.size() < 4 ? std::string(4 - s.size(), '0') + s : s;
}

// Left-pads a number's text with "0" to `len` characters; the zeros go after
// a leading "-" so that the text stays a number.
std::string PadNumero(const std::string& texto, std::size_t len) {
  if (Length(texto) >= len) return texto;
  if (!texto.empty() && texto[0] == '-')
    return "-" + std::string(len - texto.size(), '0') + texto.substr(1);
  return std::string(len - texto.size(), '0') + texto;
}

bool EhFechamento(const std::string& tag) { return !tag.empty() && tag[0] == '/'; }

}  // namespace

bool IsEmptyDate(std::uint16_t wAno, std::uint16_t wMes, std::uint16_t wDia) {
  return wAno == 1899 && wMes == 12 && wDia == 30;
}

std::string TGerador::Indentacao() const {
  const std::int64_t n =
      static_cast<std::int64_t>(Opcoes.TamanhoIdentacao) * Opcoes.FNivelIdentacao;
  return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string();
}

void TGerador::wGrupo(const std::string& TAG, const std::string& ID, bool Identar) {
  gtNivel(ID);

  // An attribute written in the tag is offered to the TXT side.
  if (TAG.find("=\"") != std::string::npos || TAG.find("= \"") != std::string::npos)
    gtCampo(RetornarConteudoEntre(TAG, " ", "=", false), RetornarConteudoEntre(TAG, "\"", "\"", false));

  const bool fechamento = EhFechamento(TAG);
  if (!SubStrEmSubStr(TAG, FIgnorarTagNivel)) {
    if (!fechamento) {
      FTagNivel += "<" + TAG + ">";
    } else {
      const std::string nome = TAG.substr(1);
      if (StartsStr("det", nome)) {
        const std::size_t p = FTagNivel.find("<det");
        if (p != std::string::npos) FTagNivel.resize(p);
      } else {
        FTagNivel = StringReplaceFirst(FTagNivel, "<" + nome + ">", "");
      }
    }
  }

  if (Identar && fechamento) --Opcoes.FNivelIdentacao;
  if (SubStrEmSubStr(TAG, FIgnorarTagIdentacao)) --Opcoes.FNivelIdentacao;

  if (Opcoes.IdentarXML)
    ArquivoFormatoXML += Indentacao() + "<" + TAG + ">" + kCRLF;
  else
    ArquivoFormatoXML += "<" + TAG + ">";

  if (Identar && !fechamento) ++Opcoes.FNivelIdentacao;
}

void TGerador::wCampo(TTipoCampo Tipo, std::string ID, std::string TAG, std::int16_t min,
                      std::int16_t max, std::int16_t ocorrencias, const TVariant& valor,
                      const std::string& Descricao, bool ParseTextoXML, std::string Atributo) {
  ID = Trim(ID);
  TAG = Trim(TAG);
  Atributo = Trim(Atributo);

  bool estaVazio = false;
  int numeroDecimais = 0;
  std::string conteudo;
  std::int64_t tamMax = max;
  std::int64_t tamMin = min;

  auto data = [&]() { return DecodeDateTime(valor.AsDateTime()); };
  auto dataTexto = [](const TDateTimeParts& p) {
    return Dig4(p.year) + "-" + Dig2(p.month) + "-" + Dig2(p.day);
  };
  auto horaTexto = [](const TDateTimeParts& p) {
    return Dig2(p.hour) + ":" + Dig2(p.minute) + ":" + Dig2(p.second);
  };
  auto dataVazia = [](const TDateTimeParts& p) {
    return IsEmptyDate(static_cast<std::uint16_t>(p.year), static_cast<std::uint16_t>(p.month),
                       static_cast<std::uint16_t>(p.day));
  };

  switch (Tipo) {
    case tcStr:
      conteudo = Trim(valor.AsString());
      estaVazio = conteudo.empty();
      break;
    case tcStrOrig:
      conteudo = valor.AsString();
      estaVazio = conteudo.empty();
      break;
    case tcNumStr:
      conteudo = Trim(valor.AsString());
      estaVazio = conteudo.empty();
      if (tamMin > 0 && Length(conteudo) < static_cast<std::size_t>(tamMin))
        conteudo = PadLeft(conteudo, static_cast<int>(tamMin), U'0');
      break;
    case tcInt: {
      std::int32_t n = 0;
      try {
        n = valor.AsInteger();
      } catch (const EConvertError&) {
        n = 0;
      }
      conteudo = IntToStr(n);
      if (tamMin > 0) conteudo = PadNumero(conteudo, static_cast<std::size_t>(tamMin));
      estaVazio = n == 0 && ocorrencias == 0;
      break;
    }
    case tcEsp:
      conteudo = Trim(valor.AsString());
      if (!ValidarNumeros(conteudo)) wAlerta(ID, TAG, Descricao, kAlertaConteudoInvalido);
      estaVazio = valor.IsEmpty() ||
                  (valor.kind() == TVariant::Kind::String && valor.AsString().empty());
      break;
    case tcDe2:
    case tcDe3:
    case tcDe4:
    case tcDe6:
    case tcDe10: {
      if (!Opcoes.SuprimirDecimais) {
        ++tamMax;
        ++tamMin;
      }
      numeroDecimais = Tipo == tcDe2 ? 2 : Tipo == tcDe3 ? 3 : Tipo == tcDe4 ? 4 : Tipo == tcDe6 ? 6 : 10;
      double numero = 0;
      try {
        numero = valor.AsDouble();
        conteudo = FloatToString(numero, Opcoes.DecimalChar, FloatMask(numeroDecimais, false));
      } catch (const EConvertError&) {
        numero = 0;
        conteudo = "0.00";
      }
      // Digits beyond the allowed places (the formatting above never leaves
      // any, but a caller-chosen separator could hide them).
      const std::size_t p = Pos(std::string(1, Opcoes.DecimalChar), conteudo);
      const std::string excesso =
          Copy(conteudo, static_cast<std::ptrdiff_t>(p) + numeroDecimais + 1, 10);
      if (!excesso.empty() && StrToIntDef(excesso, 0) > 0)
        wAlerta(ID, TAG, Descricao, kAlertaCasasDecimais + IntToStr(numeroDecimais));
      if (Opcoes.SuprimirDecimais && std::isfinite(numero) && std::trunc(numero) == numero) {
        if (std::fabs(numero) < 9.2e18)
          conteudo = IntToStr(static_cast<std::int64_t>(std::llround(numero)));
        else  // beyond 64 bits: the digits themselves, without decimals
          conteudo = FloatToString(numero, Opcoes.DecimalChar, FloatMask(0, false));
      }
      if (tamMin > 0) conteudo = PadNumero(conteudo, static_cast<std::size_t>(tamMin));
      estaVazio = numero == 0 && ocorrencias == 0;
      break;
    }
    case tcDat: {
      const TDateTimeParts p = data();
      conteudo = dataTexto(p);
      estaVazio = dataVazia(p);
      break;
    }
    case tcDatCFe: {
      const TDateTimeParts p = data();
      conteudo = OnlyNumber(dataTexto(p));
      estaVazio = dataVazia(p);
      break;
    }
    case tcDatVcto: {
      const TDateTimeParts p = data();
      conteudo = Dig2(p.day) + "/" + Dig2(p.month) + "/" + Dig4(p.year);
      estaVazio = dataVazia(p);
      break;
    }
    case tcDatHor: {
      const TDateTimeParts p = data();
      conteudo = dataTexto(p) + "T" + horaTexto(p);
      estaVazio = dataVazia(p);
      break;
    }
    case tcDatHorCFe: {
      // Date and time in digits, yyyymmddhhnnss (the layout the reader
      // expects for this type).
      const TDateTimeParts p = data();
      conteudo = OnlyNumber(dataTexto(p) + horaTexto(p));
      estaVazio = dataVazia(p);
      break;
    }
    case tcHor: {
      const TDateTimeParts p = data();
      conteudo = horaTexto(p);
      estaVazio = p.hour == 0 && p.minute == 0 && p.second == 0;
      break;
    }
    case tcHorCFe: {
      const TDateTimeParts p = data();
      conteudo = OnlyNumber(horaTexto(p));
      estaVazio = p.hour == 0 && p.minute == 0 && p.second == 0;
      break;
    }
    case tcBoolStr:
      conteudo = valor.AsBoolean() ? "true" : "false";
      break;
  }

  // Limits: at most one message per field.
  const auto tam = static_cast<std::int64_t>(Length(conteudo));
  std::string alerta;
  if (ocorrencias == 1 && estaVazio && tamMin > 0)
    alerta = kAlertaNenhumValor;
  else if (tam < tamMin && tam > 1)
    alerta = kAlertaTamanhoMenor;
  if (tam > tamMax) alerta = kAlertaTamanhoMaior;
  if (!alerta.empty() && alerta.find(kAlertaNenhumValor) == std::string::npos && !estaVazio) {
    std::string texto;
    try {
      texto = valor.AsString();
    } catch (const EConvertError&) {
      texto = conteudo;
    }
    alerta += " [" + texto + "]";
  }
  wAlerta(ID, TAG, Descricao, alerta);

  if (Opcoes.SomenteValidar) return;

  gtCampo(TAG, estaVazio ? std::string() : conteudo);

  if (!Atributo.empty()) Atributo = " " + Atributo;

  if (ocorrencias == 1 && estaVazio) {
    if (Opcoes.IdentarXML) {
      if (Opcoes.TagVaziaNoFormatoResumido)
        ArquivoFormatoXML += Indentacao() + "<" + TAG + "/>" + kCRLF;
      else
        ArquivoFormatoXML += Indentacao() + "<" + TAG + "></" + TAG + ">" + kCRLF;
    } else {
      if (Opcoes.TagVaziaNoFormatoResumido)
        ArquivoFormatoXML += "<" + TAG + Atributo + "/>";
      else
        ArquivoFormatoXML += "<" + TAG + Atributo + "></" + TAG + ">";
    }
  } else if (ocorrencias == 1 || !estaVazio) {
    const std::string texto =
        ParseTextoXML ? FiltrarTextoXML(Opcoes.RetirarEspacos, conteudo, Opcoes.RetirarAcentos, true, ";")
                      : conteudo;
    const std::string elemento = "<" + TAG + Atributo + ">" + texto + "</" + TAG + ">";
    if (Opcoes.IdentarXML)
      ArquivoFormatoXML += Indentacao() + elemento + kCRLF;
    else
      ArquivoFormatoXML += elemento;
  }
}

void TGerador::wAlerta(const std::string& ID, const std::string& TAG, const std::string& Descricao,
                       const std::string& Alerta) {
  if (Trim(Alerta).empty()) return;
  std::string linha = Opcoes.FormatoAlerta;
  linha = StringReplaceAll(linha, "%TAGNIVEL%", FTagNivel);
  linha = StringReplaceAll(linha, "%TAG%", TAG);
  linha = StringReplaceAll(linha, "%ID%", ID);
  linha = StringReplaceAll(linha, "%MSG%", Alerta);
  linha = StringReplaceAll(linha, "%DESCRICAO%", Trim(Descricao));
  ListaDeAlertas.push_back(std::move(linha));
}

void TGerador::wCampoCNPJCPF(const std::string& ID1, const std::string& ID2, const std::string& CNPJCPF,
                             bool obrigatorio, bool PreencheZeros) {
  std::string numero = OnlyNumber(Trim(CNPJCPF));
  const std::size_t digitos = Length(numero);
  const std::int16_t ocorrencia = obrigatorio ? 1 : 0;
  if (digitos >= 1 && digitos <= 11) {
    if (PreencheZeros && digitos != 11) numero = PadLeft(numero, 11, U'0');
    wCampo(tcStr, ID2, "CPF", 0, 11, ocorrencia, numero);
    if (!ValidarCPF(numero)) wAlerta(ID2, "CPF", "CPF", kAlertaConteudoInvalido);
  } else {
    // A number longer than 14 digits is written as it is (never cut).
    if (PreencheZeros && (obrigatorio || digitos > 0) && digitos < 14) numero = PadLeft(numero, 14, U'0');
    wCampo(tcStr, ID1, "CNPJ", 0, 14, ocorrencia, numero);
    if (digitos > 0 && !ValidarCNPJ(numero)) wAlerta(ID1, "CNPJ", "CNPJ", kAlertaConteudoInvalido);
  }
  const std::size_t tamanho = Length(numero);
  if (tamanho != 0 && tamanho != 11 && tamanho != 14)
    wAlerta(ID1 + "-" + ID2, "CNPJ-CPF", "CNPJ/CPF", kAlertaConteudoInvalido);
}

void TGerador::wCampoCNPJ(const std::string& ID, const std::string& CNPJ, std::int32_t cPais,
                          bool obrigatorio) {
  if (cPais == 1058) {
    const std::string numero = OnlyNumber(Trim(CNPJ));
    wCampo(tcEsp, ID, "CNPJ", 14, 14, obrigatorio ? 1 : 0, numero, "CNPJ(MF)");
    if (!ValidarCNPJ(numero)) wAlerta(ID, "CNPJ", "CNPJ(MF)", kAlertaConteudoInvalido);
  } else {
    wCampo(tcStr, ID, "CNPJ", 0, 0, 1, "");
  }
}

void TGerador::wCampoCPF(const std::string& ID, const std::string& CPF, std::int32_t cPais,
                         bool obrigatorio) {
  if (cPais == 1058) {
    const std::string numero = OnlyNumber(Trim(CPF));
    wCampo(tcEsp, ID, "CPF", 11, 11, obrigatorio ? 1 : 0, numero, "CPF");
    if (!ValidarCPF(numero)) wAlerta(ID, "CPF", "CPF", kAlertaConteudoInvalido);
  } else {
    wCampo(tcStr, ID, "CPF", 0, 0, 1, "");
  }
}

void TGerador::wCampoNFSe(TTipoCampo Tipo, const std::string& ID, const std::string& TAG,
                          std::int16_t min, std::int16_t max, std::int16_t ocorrencias,
                          const TVariant& valor, const std::string& Descricao, bool ParseTextoXML,
                          const std::string& Atributo) {
  wCampo(Tipo, ID, Prefixo + TAG, min, max, ocorrencias, valor, Descricao, ParseTextoXML, Atributo);
}

void TGerador::wGrupoNFSe(const std::string& TAG, const std::string& ID, bool Identar) {
  if (EhFechamento(TAG))
    wGrupo("/" + Prefixo + TAG.substr(1), ID, Identar);
  else
    wGrupo(Prefixo + TAG, ID, Identar);
}

void TGerador::gtNivel(const std::string& ID) {
  IDNivel = UpperCase(ID);
  if (LayoutArquivoTXT.empty() || ID.empty()) return;
  const std::string marca = "<" + IDNivel + ">";
  for (const std::string& linha : LayoutArquivoTXT)
    if (UpperCase(linha).find(marca) != std::string::npos) ArquivoFormatoTXT += linha + "\r";
}

void TGerador::gtCampo(const std::string& Tag, const std::string& ConteudoProcessado) {
  if (LayoutArquivoTXT.empty()) return;
  const std::string marca = "<" + IDNivel + ">";
  const std::string procura = "|" + UpperCase(Tag) + kMarcaCampo;
  const std::string troca = "|" + UpperCase(Trim(Tag)) + kMarcaCampo;
  std::string resultado;
  for (std::string linha : platform::SplitLines(ArquivoFormatoTXT)) {
    if (linha.find(marca) != std::string::npos && UpperCase(linha).find(procura) != std::string::npos)
      linha = StringReplaceFirst(linha, troca, "|" + ConteudoProcessado);
    resultado += linha + kCRLF;
  }
  ArquivoFormatoTXT = std::move(resultado);
}

void TGerador::gtAjustarRegistros(const std::string& ID) {
  if (LayoutArquivoTXT.empty()) return;

  // Placeholders "|name¨" of the layout.
  std::vector<std::string> marcadores;
  for (const std::string& linha : LayoutArquivoTXT) {
    std::size_t fim = linha.find(kMarcaCampo);
    while (fim != std::string::npos) {
      const std::size_t ini = linha.rfind('|', fim);
      if (ini != std::string::npos) {
        std::string m = linha.substr(ini, fim - ini + 2);
        if (std::find(marcadores.begin(), marcadores.end(), m) == marcadores.end())
          marcadores.push_back(std::move(m));
      }
      fim = linha.find(kMarcaCampo, fim + 2);
    }
  }

  std::vector<std::string> linhas;
  for (std::string& linha : platform::SplitLines(ArquivoFormatoTXT)) {
    const bool intacta =
        std::find(LayoutArquivoTXT.begin(), LayoutArquivoTXT.end(), linha) != LayoutArquivoTXT.end();
    if (intacta && linha.find(kMarcaCampo) != std::string::npos) continue;  // nothing filled in
    linhas.push_back(std::move(linha));
  }

  std::string resultado;
  for (std::string& linha : linhas) {
    const std::size_t p = linha.find("^ID^");
    if (p != std::string::npos && p >= 1) linha = StringReplaceFirst(linha, "^ID^", ID);
    for (const std::string& m : marcadores) linha = StringReplaceFirst(linha, m, "|");
    const std::size_t gt = linha.find('>');
    if (gt != std::string::npos) {
      linha = Trim(linha.substr(gt + 1));
      const std::size_t barra = linha.find('|');
      const std::string nome = barra == std::string::npos ? std::string() : linha.substr(0, barra);
      if (Length(nome) >= 3 && UpperCase(nome) != "NOTA FISCAL" &&
          !std::isdigit(static_cast<unsigned char>(nome.back()))) {
        std::string novo = nome;
        novo.back() = static_cast<char>(std::tolower(static_cast<unsigned char>(novo.back())));
        const std::size_t q = UpperCase(linha).find(UpperCase(nome));
        if (q != std::string::npos) linha.replace(q, nome.size(), novo);
      }
    }
    resultado += linha + kCRLF;
  }
  ArquivoFormatoTXT = std::move(resultado);
}

bool TGerador::SalvarArquivo(const std::string& CaminhoArquivo, TFormatoGravacao FormatoGravacao) const {
  const std::string& texto = FormatoGravacao == fgTXT ? ArquivoFormatoTXT : ArquivoFormatoXML;
  platform::WriteFileBytes(CaminhoArquivo, platform::Utf8ToAnsi(texto + kCRLF));
  return true;
}

}  // namespace pagvigia
