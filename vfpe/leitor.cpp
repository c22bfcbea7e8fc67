#include "vfpe/leitor.h"

#include <cstring>
#include <iterator>
#include <limits>

#include "platform/codepage.h"
#include "platform/files.h"
#include "util/utils.h"

namespace pagvigia {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Byte offset just past `chars` characters of `s` from byte `from`.
std::size_t SkipChars(std::string_view s, std::size_t from, std::size_t chars) {
  return from + platform::Utf8Offset(s.substr(from), chars);
}

// Does `s` hold `upperNeedle` at byte `at`, ASCII letters compared without
// regard to case? The needle is already upper case.
bool MatchAtNoCase(std::string_view s, std::size_t at, std::string_view upperNeedle) {
  if (s.size() - at < upperNeedle.size()) return false;
  for (std::size_t k = 0; k < upperNeedle.size(); ++k)
    if (Up(s[at + k]) != upperNeedle[k]) return false;
  return true;
}

// Case-insensitive search of a tag text that begins with "<": the group is
// never copied nor upper-cased, only the "<" are visited.
std::size_t FindTagNoCase(std::string_view s, std::string_view upperNeedle, std::size_t from = 0) {
  const char* base = s.data();
  std::size_t i = from;
  while (i < s.size()) {
    const void* p = std::memchr(base + i, '<', s.size() - i);
    if (!p) return npos;
    i = static_cast<std::size_t>(static_cast<const char*>(p) - base);
    if (MatchAtNoCase(s, i, upperNeedle)) return i;
    ++i;
  }
  return npos;
}

// The closing tag "</Tag>", or when absent "</Tag:".
std::size_t FindClosing(std::string_view s, std::string_view closeGt, std::string_view closeColon) {
  const std::size_t j = s.find(closeGt);
  return j != npos ? j : s.find(closeColon);
}

// A date or time part: the characters at 1-based position `pos`, `len` of
// them, as a decimal number. Raises EConvertError when they are not digits.
int Part(std::string_view content, std::size_t pos, std::size_t len) {
  const std::size_t a = SkipChars(content, 0, pos - 1);
  const std::size_t b = SkipChars(content, a, len);
  const std::string_view p = content.substr(a, b - a);
  if (p.empty()) throw EConvertError("'' is not a valid integer value");
  int v = 0;
  for (char c : p) {
    if (c < '0' || c > '9') throw EConvertError("'" + std::string(p) + "' is not a valid integer value");
    v = v * 10 + (c - '0');
  }
  return v;
}

TVariant ReadInteger(std::string_view content) {
  // Only the digits count; too many of them for 32 bits read as 0.
  std::int64_t v = 0;
  for (char c : content) {
    if (c < '0' || c > '9') continue;
    v = v * 10 + (c - '0');
    if (v > std::numeric_limits<std::int32_t>::max()) return TVariant(std::int32_t{0});
  }
  return TVariant(static_cast<std::int32_t>(v));
}

// Attribute position in bytes (npos when absent), searching from byte `from`.
std::size_t PosAtributoBytes(std::string_view atr, std::string_view grupo, std::size_t from) {
  if (atr.empty() || from >= grupo.size()) return npos;
  if (atr.back() == '=') return grupo.find(atr, from);
  const std::string withEq = std::string(atr) + "=";
  const std::size_t p = grupo.find(withEq, from);
  if (p != npos) return p;
  return grupo.find(std::string(atr) + " ", from);
}

}  // namespace

const std::string& TLeitor::Nivel(int nivel) const {
  if (nivel < 0 || nivel >= kNiveis) throw EListError("List index out of bounds (" + std::to_string(nivel) + ")");
  return nivel == 0 ? FArquivo : FNivel[static_cast<std::size_t>(nivel)];
}

bool TLeitor::CarregarArquivo(const std::string& CaminhoArquivo) {
  FArquivo = platform::ReadTextFile(CaminhoArquivo).text;
  return true;
}

bool TLeitor::CarregarArquivo(std::istream& Stream) {
  FArquivo.assign(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
  return true;
}

std::string TLeitor::rExtrai(int nivel, std::string_view TagInicio, std::string_view TagFim, int item) {
  if (nivel < 1 || nivel >= kNiveis) throw EListError("List index out of bounds (" + std::to_string(nivel) + ")");
  const std::string tagIni = Trim(TagInicio);
  std::string tagFim = Trim(TagFim);
  if (tagFim.empty()) tagFim = tagIni;
  FGrupo.clear();

  // Level 0 is the text itself.
  std::string_view texto = nivel == 1 ? std::string_view(FArquivo) : std::string_view(FNivel[nivel - 1]);
  const std::size_t lenFim = platform::Utf8Length(tagFim);
  const std::string closeGt = "</" + tagFim + ">";
  const std::string closeColon = "</" + tagFim + ":";

  // Earlier occurrences are skipped; without a closing tag the first
  // characters are dropped all the same.
  for (int i = 1; i < item && !texto.empty(); ++i) {
    const std::size_t j = texto.find(closeGt);
    if (j != npos)
      texto.remove_prefix(j + closeGt.size());
    else
      texto.remove_prefix(SkipChars(texto, 0, lenFim + 2));
  }

  // Only the text up to the first closing tag (and one character more) is
  // searched for the opening tag.
  std::size_t j = FindClosing(texto, closeGt, closeColon);
  if (j != npos)
    texto = texto.substr(0, SkipChars(texto, j + closeGt.size(), 1));
  else
    texto = texto.substr(0, SkipChars(texto, 0, lenFim + 3));

  std::size_t i = texto.find("<" + tagIni + ">");
  if (i == npos) i = texto.find("<" + tagIni + " ");
  if (i == npos) i = texto.find("<" + tagIni + ":");
  if (i == npos) return {};

  texto.remove_prefix(i);
  j = FindClosing(texto, closeGt, closeColon);
  const std::size_t end = j != npos ? j + closeGt.size() : SkipChars(texto, 0, lenFim + 2);
  std::string result = TrimRight(texto.substr(0, end));
  FNivel[nivel] = result;
  FGrupo = result;
  return result;
}

TVariant TLeitor::rCampo(TTipoCampo Tipo, std::string_view TAG, std::string_view TAGparada) const {
  const std::string tag = UpperCase(Trim(TAG));
  const std::string open = "<" + tag + ">";
  const std::string close = "</" + tag + ">";
  const std::string parada = Trim(TAGparada);
  const std::string stop = parada.empty() ? std::string() : "<" + UpperCase(parada) + ">";
  const std::string_view g = FGrupo;

  // One pass over the tags up to the field's opening tag notes whether the
  // stop tag or the field's closing tag came first.
  std::size_t inicio = npos;
  bool stopFirst = false, closeFirst = false;
  const char* base = g.data();
  for (std::size_t k = 0; k < g.size();) {
    const void* p = std::memchr(base + k, '<', g.size() - k);
    if (!p) break;
    k = static_cast<std::size_t>(static_cast<const char*>(p) - base);
    if (MatchAtNoCase(g, k, open)) {
      inicio = k;
      break;
    }
    if (!stop.empty() && !stopFirst && MatchAtNoCase(g, k, stop)) stopFirst = true;
    if (!closeFirst && MatchAtNoCase(g, k, close)) closeFirst = true;
    ++k;
  }

  std::string_view content;
  if (inicio != npos && !stopFirst && !closeFirst) {
    const std::size_t from = inicio + open.size();
    const std::size_t fim = FindTagNoCase(g, close, from);
    if (fim != npos) {
      std::size_t a = from, b = fim;
      while (a < b && static_cast<unsigned char>(g[a]) <= 32) ++a;
      while (b > a && static_cast<unsigned char>(g[b - 1]) <= 32) --b;
      content = g.substr(a, b - a);
    }
  }

  switch (Tipo) {
    case tcStr: return TVariant(ReverterFiltroTextoXML(content));
    case tcEsp: return TVariant(std::string(content));
    case tcInt: return ReadInteger(content);
    case tcDe2:
    case tcDe3:
    case tcDe4:
    case tcDe6:
    case tcDe10: return TVariant(StringToFloatDef(content, 0.0));
    case tcDat:
    case tcDatHor:
    case tcHor:
    case tcDatCFe:
    case tcHorCFe:
    case tcDatVcto:
    case tcDatHorCFe: break;
    default:
      throw ELeitorException("Tag <" + tag + "> com conteúdo inválido. " + std::string(content));
  }

  if (content.empty()) return TVariant(TDateTime());
  switch (Tipo) {
    case tcDat: return TVariant(EncodeDate(Part(content, 1, 4), Part(content, 6, 2), Part(content, 9, 2)));
    case tcDatHor:
      return TVariant(EncodeDateTime(Part(content, 1, 4), Part(content, 6, 2), Part(content, 9, 2),
                                     Part(content, 12, 2), Part(content, 15, 2), Part(content, 18, 2)));
    case tcHor: return TVariant(EncodeTime(Part(content, 1, 2), Part(content, 4, 2), Part(content, 7, 2)));
    case tcDatCFe: return TVariant(EncodeDate(Part(content, 1, 4), Part(content, 5, 2), Part(content, 7, 2)));
    case tcHorCFe: return TVariant(EncodeTime(Part(content, 1, 2), Part(content, 3, 2), Part(content, 5, 2)));
    case tcDatVcto: return TVariant(EncodeDate(Part(content, 7, 4), Part(content, 4, 2), Part(content, 1, 2)));
    default:  // tcDatHorCFe
      return TVariant(EncodeDateTime(Part(content, 1, 4), Part(content, 5, 2), Part(content, 7, 2),
                                     Part(content, 9, 2), Part(content, 11, 2), Part(content, 13, 2)));
  }
}

std::string TLeitor::rCampoCNPJCPF(std::string_view TAGparada) const {
  std::string r = rCampo(tcStr, "CNPJ", TAGparada).AsString();
  if (Trim(r).empty()) r = rCampo(tcStr, "CPF", TAGparada).AsString();
  return r;
}

TVariant TLeitor::rAtributo(std::string_view Atributo, std::string_view Tag) const {
  const std::string atr = Trim(Atributo);
  if (atr.empty()) return TVariant(std::string());
  const std::string tag = Trim(Tag);
  const std::string_view g = FGrupo;

  const std::size_t inicioTag = tag.empty() ? npos : g.find(tag);
  std::size_t inicioAtr = PosAtributoBytes(atr, g, 0);
  // The attribute must belong to the named tag when that tag is present.
  if (inicioTag != npos && (inicioAtr == npos || inicioAtr < inicioTag)) inicioAtr = PosAtributoBytes(atr, g, inicioTag);
  if (inicioAtr == npos) return TVariant(std::string());

  std::string_view rest = g.substr(inicioAtr + atr.size());
  auto trim = [](std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
    return s;
  };
  rest = trim(rest);
  const std::size_t dq = rest.find('"');
  const std::size_t sq = rest.find('\'');
  if (dq == npos && sq == npos) return TVariant(std::string());
  const char aspas = (sq != npos && (dq == npos || sq < dq)) ? '\'' : '"';
  rest = trim(rest.substr(rest.find(aspas) + 1));
  const std::size_t fim = rest.find(aspas);
  if (fim == npos || fim == 0) return TVariant(std::string());
  return TVariant(ReverterFiltroTextoXML(rest.substr(0, fim)));
}

std::size_t PosLast(std::string_view SubStr, std::string_view S) {
  if (SubStr.empty()) return 0;
  const std::size_t p = S.rfind(SubStr);
  return p == npos ? 0 : platform::Utf8Length(S.substr(0, p)) + 1;
}

std::size_t PosAtributo(std::string_view Atributo, std::string_view Grupo, std::size_t Inicio) {
  if (Inicio < 1) Inicio = 1;
  const std::size_t from = platform::Utf8Offset(Grupo, Inicio - 1);
  const std::size_t p = PosAtributoBytes(Atributo, Grupo, from);
  return p == npos ? 0 : platform::Utf8Length(Grupo.substr(0, p)) + 1;
}

}  // namespace pagvigia
