#include "vfpe/leitor.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>

#include "platform/codepage.h"
#include "platform/files.h"
#include "util/conversao.h"
#include "util/numeros.h"
#include "util/texto.h"
#include "util/xml_texto.h"

namespace pagvigia {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// Byte offset just past `chars` characters of `s` from byte `from`.
std::size_t SkipChars(std::string_view s, std::size_t from, std::size_t chars) {
  return from + platform::Utf8Offset(s.substr(from), chars);
}

// One entry per "<" of a text: its position (upper 48 bits) and the two
// characters after it, ASCII letters in upper case (lower 16 bits), so that
// a search rejects most tags without reading the text.
using Entrada = std::uint64_t;

inline std::uint16_t Par(std::string_view s, std::size_t at) {
  const unsigned c1 = at + 1 < s.size() ? static_cast<unsigned char>(Up(s[at + 1])) : 0u;
  const unsigned c2 = at + 2 < s.size() ? static_cast<unsigned char>(Up(s[at + 2])) : 0u;
  return static_cast<std::uint16_t>((c1 << 8) | c2);
}

inline std::size_t Cadeia(std::uint16_t par) { return (par ^ (par >> 7)) & 255u; }

constexpr std::uint32_t kFim = 0xFFFFFFFFu;  // end of a chain

// The index of a text. The "<" are found eight bytes at a time; the
// characters after each and the chains are added in a second pass.
void Indexar(std::string_view s, detail::IndiceTags& ind) {
  std::vector<Entrada>& out = ind.entradas;
  const char* d = s.data();
  const std::size_t n = s.size();
  std::size_t count = 0;
  out.resize(n / 16 + 16);
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    for (; i + 8 <= n; i += 8) {
      if (out.size() - count < 8) out.resize(out.size() * 2);
      Entrada* o = out.data();
      std::uint64_t w;
      std::memcpy(&w, d + i, 8);
      const std::uint64_t x = w ^ (ones * static_cast<unsigned char>('<'));
      // High bit set exactly in the bytes of x that are zero.
      std::uint64_t z = ~(((x & low7) + low7) | x | low7);
      while (z) {
        o[count++] = static_cast<Entrada>(i + (static_cast<std::size_t>(std::countr_zero(z)) >> 3)) << 16;
        z &= z - 1;
      }
    }
  }
  for (; i < n; ++i) {
    if (d[i] != '<') continue;
    if (count == out.size()) out.resize(out.size() * 2);
    out[count++] = static_cast<Entrada>(i) << 16;
  }
  out.resize(count);
  // The chains, built from the end so that each runs in text order.
  ind.cabeca.fill(kFim);
  ind.proxima.resize(count);
  for (std::size_t k = count; k-- > 0;) {
    const std::uint16_t par = Par(s, static_cast<std::size_t>(out[k] >> 16));
    out[k] |= par;
    std::uint32_t& cab = ind.cabeca[Cadeia(par)];
    ind.proxima[k] = cab;
    cab = static_cast<std::uint32_t>(k);
  }
  ind.pronto = true;
}

// A text to search, with the index of the text it is a part of (starting
// `base` bytes before it), or none.
struct Alvo {
  std::string_view text;
  const detail::IndiceTags* ind = nullptr;  // null: scan the bytes for "<"
  std::size_t base = 0;

  Alvo Sub(std::size_t pos, std::size_t len = npos) const {
    Alvo a = *this;
    a.text = text.substr(pos, len);
    a.base = base + pos;
    return a;
  }

  // Position of the first "<" at or after `from` whose two following
  // characters (see Par) are one of `pares` and for which `match(pos, par)`
  // holds. With `todos` every "<" is offered (for a tag text that fixes
  // only one character after "<").
  template <class F>
  std::size_t Procura(std::size_t from, std::initializer_list<std::uint16_t> pares, F&& match,
                      bool todos = false) const {
    if (ind && todos) {
      const std::vector<Entrada>& e = ind->entradas;
      const auto inicio = std::lower_bound(e.begin(), e.end(), static_cast<Entrada>(base + from) << 16);
      for (auto it = inicio; it != e.end(); ++it) {
        const std::size_t pos = static_cast<std::size_t>(*it >> 16);
        if (pos >= base + text.size()) break;
        if (match(pos - base, static_cast<std::uint16_t>(*it))) return pos - base;
      }
      return npos;
    }
    if (ind) {
      const std::size_t de = base + from, ate = base + text.size();
      std::uint16_t par[3];
      std::size_t nc = 0;
      for (std::uint16_t p : pares)
        if (nc < 3 && std::find(par, par + nc, p) == par + nc) par[nc++] = p;
      const std::vector<Entrada>& e = ind->entradas;
      if (de > 0) {
        // From the middle of the text: the entries in order, from the first
        // one at `from` (linear in the part passed over, as the chains would
        // have to be followed from their start).
        const auto inicio = std::lower_bound(e.begin(), e.end(), static_cast<Entrada>(de) << 16);
        for (auto it = inicio; it != e.end(); ++it) {
          const std::size_t pos = static_cast<std::size_t>(*it >> 16);
          if (pos >= ate) break;
          const auto p = static_cast<std::uint16_t>(*it);
          if ((p == par[0] || (nc > 1 && p == par[1]) || (nc > 2 && p == par[2])) && match(pos - base, p))
            return pos - base;
        }
        return npos;
      }
      // From the start: one cursor per wanted pair, each following its chain.
      std::uint32_t cur[3];
      const auto avanca = [&](std::uint32_t k, std::uint16_t p) {
        while (k != kFim && static_cast<std::uint16_t>(e[k]) != p) k = ind->proxima[k];
        return k;
      };
      for (std::size_t c = 0; c < nc; ++c) cur[c] = avanca(ind->cabeca[Cadeia(par[c])], par[c]);
      for (;;) {
        std::size_t q = nc;
        for (std::size_t c = 0; c < nc; ++c)
          if (cur[c] != kFim && (q == nc || cur[c] < cur[q])) q = c;
        if (q == nc) return npos;
        const std::size_t pos = static_cast<std::size_t>(e[cur[q]] >> 16);
        if (pos >= ate) return npos;
        if (match(pos - base, par[q])) return pos - base;
        cur[q] = avanca(ind->proxima[cur[q]], par[q]);
      }
    }
    const char* d = text.data();
    for (std::size_t k = from; k < text.size(); ++k) {
      const void* p = std::memchr(d + k, '<', text.size() - k);
      if (!p) break;
      k = static_cast<std::size_t>(static_cast<const char*>(p) - d);
      if (match(k, Par(text, k))) return k;  // match tests the pair itself
    }
    return npos;
  }
};

// A tag text "<" + pre + name + post, tested at a position where a "<"
// stands. With `noCase` ASCII letters of the name are compared without
// regard to case. The first character after "<" rejects most candidates.
class Etiqueta {
 public:
  Etiqueta(std::string_view pre, std::string_view name, char post, bool noCase)
      : FPre(pre), FName(name), FPost(post), FNoCase(noCase), FLen(pre.size() + name.size() + 2) {
    // The first two characters after "<", in upper case, as Par gives them.
    char c[2] = {0, 0};
    std::size_t k = 0;
    for (char ch : pre)
      if (k < 2) c[k++] = ch;
    for (char ch : name)
      if (k < 2) c[k++] = ch;
    if (k < 2) c[k++] = post;
    // "<" + post alone leaves the second character free: no pair to go by.
    FCompleto = k == 2;
    FPar = static_cast<std::uint16_t>((static_cast<unsigned char>(Up(c[0])) << 8) |
                                      static_cast<unsigned char>(Up(c[1])));
  }

  bool Em(std::string_view t, std::size_t at, std::uint16_t par) const {
    if ((FCompleto && par != FPar) || t.size() - at < FLen) return false;
    const char* p = t.data() + at + 1;
    for (std::size_t k = 0; k < FPre.size(); ++k)
      if (p[k] != FPre[k]) return false;
    p += FPre.size();
    if (FNoCase) {
      for (std::size_t k = 0; k < FName.size(); ++k)
        if (Up(p[k]) != Up(FName[k])) return false;
    } else {
      for (std::size_t k = 0; k < FName.size(); ++k)
        if (p[k] != FName[k]) return false;
    }
    return p[FName.size()] == FPost;
  }

  std::size_t size() const { return FLen; }
  std::uint16_t par() const { return FPar; }
  bool completo() const { return FCompleto; }

 private:
  std::string_view FPre, FName;
  char FPost;
  bool FNoCase;
  std::size_t FLen;
  std::uint16_t FPar = 0;
  bool FCompleto = true;
};

// The closing tag "</Tag>", or when absent "</Tag:".
std::size_t Fechamento(const Alvo& a, std::string_view tag) {
  const Etiqueta gt("/", tag, '>', false);
  const std::size_t j = a.Procura(
      0, {gt.par()}, [&](std::size_t k, std::uint16_t par) { return gt.Em(a.text, k, par); }, !gt.completo());
  if (j != npos) return j;
  const Etiqueta colon("/", tag, ':', false);
  return a.Procura(
      0, {colon.par()}, [&](std::size_t k, std::uint16_t par) { return colon.Em(a.text, k, par); }, !colon.completo());
}

// A date or time part: the characters at 1-based position `pos`, `len` of
// them, as a decimal number. Raises EConvertError when they are not digits.
int Parte(std::string_view content, std::size_t pos, std::size_t len) {
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

TVariant LerInteiro(std::string_view content) {
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
  const std::string comIgual = std::string(atr) + "=";
  const std::size_t p = grupo.find(comIgual, from);
  if (p != npos) return p;
  return grupo.find(std::string(atr) + " ", from);
}

}  // namespace

void TLeitor::InvalidarJanelas() {
  // The levels keep their texts: copy out those that lie in Arquivo.
  for (int n = 1; n < kNiveis; ++n) {
    if (FJanela[n].valida && !FNivelCopiado[n]) FNivel[n] = std::string(TextoNivel(n));
    FNivelCopiado[n] = true;
    FJanela[n].valida = false;
  }
  FJanelaGrupo.valida = false;
  FIndiceArquivo.pronto = false;
  FIndiceGrupo.pronto = false;
}

std::string_view TLeitor::TextoNivel(int nivel) const {
  if (nivel == 0) return FArquivo;
  const Janela& j = FJanela[nivel];
  if (j.valida) return std::string_view(FArquivo).substr(j.inicio, j.tamanho);
  return FNivel[nivel];
}

const detail::IndiceTags& TLeitor::IndiceArquivo() const {
  if (!FIndiceArquivo.pronto) Indexar(FArquivo, FIndiceArquivo);
  return FIndiceArquivo;
}

void TLeitor::SetArquivo(std::string value) {
  InvalidarJanelas();  // while the levels can still be copied out of the old text
  FArquivo = std::move(value);
}

void TLeitor::SetGrupo(std::string value) {
  FGrupo = std::move(value);
  FIndiceGrupo.pronto = false;
  // Readers of a whole answer assign Arquivo itself: its tags are known.
  FJanelaGrupo = Janela{0, FGrupo.size(), FGrupo == FArquivo};
}

const std::string& TLeitor::Nivel(int nivel) const {
  if (nivel < 0 || nivel >= kNiveis) throw EListError("List index out of bounds (" + std::to_string(nivel) + ")");
  if (nivel == 0) return FArquivo;
  if (!FNivelCopiado[nivel]) {
    FNivel[nivel] = std::string(TextoNivel(nivel));
    FNivelCopiado[nivel] = true;
  }
  return FNivel[nivel];
}

bool TLeitor::CarregarArquivo(const std::string& CaminhoArquivo) {
  SetArquivo(platform::ReadTextFile(CaminhoArquivo).text);
  return true;
}

bool TLeitor::CarregarArquivo(std::istream& Stream) {
  SetArquivo(std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()));
  return true;
}

const std::string& TLeitor::rExtrai(int nivel, std::string_view TagInicio, std::string_view TagFim, int item) {
  if (nivel < 1 || nivel >= kNiveis) throw EListError("List index out of bounds (" + std::to_string(nivel) + ")");
  const std::string_view tagIni = TrimView(TagInicio);
  std::string_view tagFim = TrimView(TagFim);
  if (tagFim.empty()) tagFim = tagIni;
  FGrupo.clear();
  FIndiceGrupo.pronto = false;
  FJanelaGrupo.valida = false;

  // The text of the level above: level 0 is Arquivo itself.
  const Janela origem = nivel == 1 ? Janela{0, FArquivo.size(), true} : FJanela[nivel - 1];
  Alvo a;
  a.text = TextoNivel(nivel - 1);
  if (origem.valida) {
    a.ind = &IndiceArquivo();
    a.base = origem.inicio;
  }
  const std::size_t lenFim = platform::Utf8Length(tagFim);
  const std::size_t bytesFechamento = tagFim.size() + 3;

  // Earlier occurrences are skipped; without a closing tag the first
  // characters are dropped all the same.
  const Etiqueta fechamento("/", tagFim, '>', false);
  for (int i = 1; i < item && !a.text.empty(); ++i) {
    const std::size_t j = a.Procura(
        0, {fechamento.par()}, [&](std::size_t k, std::uint16_t par) { return fechamento.Em(a.text, k, par); },
        !fechamento.completo());
    if (j == npos) {
      // No closing tag is left, nor will be: the remaining skips each drop
      // the same number of characters, all at once.
      const std::size_t resto = static_cast<std::size_t>(item - i), passo = lenFim + 2;
      a = a.Sub(SkipChars(a.text, 0, resto > a.text.size() / passo ? a.text.size() : resto * passo));
      break;
    }
    a = a.Sub(j + bytesFechamento);
  }

  // Only the text up to the first closing tag (and one character more) is
  // searched for the opening tag.
  std::size_t j = Fechamento(a, tagFim);
  a = a.Sub(0, j != npos ? SkipChars(a.text, j + bytesFechamento, 1) : SkipChars(a.text, 0, lenFim + 3));

  std::size_t i = npos;
  for (char depois : {'>', ' ', ':'}) {
    const Etiqueta abertura("", tagIni, depois, false);
    i = a.Procura(
        0, {abertura.par()}, [&](std::size_t k, std::uint16_t par) { return abertura.Em(a.text, k, par); },
        !abertura.completo());
    if (i != npos) break;
  }
  if (i == npos) return FGrupo;

  // The closing tag found above is the first one after the opening tag too,
  // unless the opening tag lies past its start (names holding "<").
  if (j != npos && i < j)
    j -= i;
  else
    j = Fechamento(a.Sub(i), tagFim);
  a = a.Sub(i);
  std::size_t fim = j != npos ? j + bytesFechamento : SkipChars(a.text, 0, lenFim + 2);
  // Trailing blanks and control characters are not part of the group.
  while (fim > 0 && static_cast<unsigned char>(a.text[fim - 1]) <= 32) --fim;
  FGrupo.assign(a.text.data(), fim);
  if (origem.valida) {
    FNivelCopiado[nivel] = false;
  } else {
    FNivel[nivel] = FGrupo;
    FNivelCopiado[nivel] = true;
  }
  FJanela[nivel] = Janela{a.base, fim, origem.valida};
  FJanelaGrupo = FJanela[nivel];
  return FGrupo;
}

TVariant TLeitor::rCampo(TTipoCampo Tipo, std::string_view TAG, std::string_view TAGparada) const {
  const std::string_view tag = TrimView(TAG);
  const std::string_view parada = TrimView(TAGparada);

  Alvo g;
  g.text = FGrupo;
  if (FJanelaGrupo.valida) {
    g.ind = &IndiceArquivo();
    g.base = FJanelaGrupo.inicio;
  } else {
    if (!FIndiceGrupo.pronto) Indexar(FGrupo, FIndiceGrupo);
    g.ind = &FIndiceGrupo;
  }

  // One walk over the tags up to the field's opening tag notes whether the
  // stop tag or the field's closing tag comes first; names match without
  // regard to case.
  const Etiqueta abertura("", tag, '>', true), fechamento("/", tag, '>', true), stop("", parada, '>', true);
  bool antes = false;
  const bool todos = !abertura.completo() || !fechamento.completo() || (!parada.empty() && !stop.completo());
  const std::size_t inicio = g.Procura(
      0, {abertura.par(), fechamento.par(), parada.empty() ? abertura.par() : stop.par()},
      [&](std::size_t k, std::uint16_t par) {
        if (abertura.Em(g.text, k, par)) return true;
        if (fechamento.Em(g.text, k, par) || (!parada.empty() && stop.Em(g.text, k, par))) antes = true;
        return antes;
      },
      todos);

  std::string_view content;
  if (inicio != npos && !antes) {
    const std::size_t depoisAbertura = inicio + abertura.size();
    const std::size_t fim = g.Procura(
        inicio + 1, {fechamento.par()},
        [&](std::size_t k, std::uint16_t par) { return fechamento.Em(g.text, k, par); }, !fechamento.completo());
    // A closing tag inside the opening one (a name holding "<") counts as
    // coming first.
    if (fim != npos && fim >= depoisAbertura) content = TrimView(g.text.substr(depoisAbertura, fim - depoisAbertura));
  }

  switch (Tipo) {
    case tcStr: return TVariant(ReverterFiltroTextoXML(content));
    case tcEsp: return TVariant(std::string(content));
    case tcInt: return LerInteiro(content);
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
      throw ELeitorException("Tag <" + UpperCase(tag) + "> com conteúdo inválido. " + std::string(content));
  }

  if (content.empty()) return TVariant(TDateTime());
  switch (Tipo) {
    case tcDat: return TVariant(EncodeDate(Parte(content, 1, 4), Parte(content, 6, 2), Parte(content, 9, 2)));
    case tcDatHor:
      return TVariant(EncodeDateTime(Parte(content, 1, 4), Parte(content, 6, 2), Parte(content, 9, 2),
                                     Parte(content, 12, 2), Parte(content, 15, 2), Parte(content, 18, 2)));
    case tcHor: return TVariant(EncodeTime(Parte(content, 1, 2), Parte(content, 4, 2), Parte(content, 7, 2)));
    case tcDatCFe: return TVariant(EncodeDate(Parte(content, 1, 4), Parte(content, 5, 2), Parte(content, 7, 2)));
    case tcHorCFe: return TVariant(EncodeTime(Parte(content, 1, 2), Parte(content, 3, 2), Parte(content, 5, 2)));
    case tcDatVcto: return TVariant(EncodeDate(Parte(content, 7, 4), Parte(content, 4, 2), Parte(content, 1, 2)));
    default:  // tcDatHorCFe
      return TVariant(EncodeDateTime(Parte(content, 1, 4), Parte(content, 5, 2), Parte(content, 7, 2),
                                     Parte(content, 9, 2), Parte(content, 11, 2), Parte(content, 13, 2)));
  }
}

std::string TLeitor::rCampoCNPJCPF(std::string_view TAGparada) const {
  std::string r = rCampo(tcStr, "CNPJ", TAGparada).AsString();
  if (Trim(r).empty()) r = rCampo(tcStr, "CPF", TAGparada).AsString();
  return r;
}

TVariant TLeitor::rAtributo(std::string_view Atributo, std::string_view Tag) const {
  const std::string_view atr = TrimView(Atributo);
  if (atr.empty()) return TVariant(std::string());
  const std::string_view tag = TrimView(Tag);
  const std::string_view g = FGrupo;

  const std::size_t inicioTag = tag.empty() ? npos : g.find(tag);
  std::size_t inicioAtr = PosAtributoBytes(atr, g, 0);
  // The attribute must belong to the named tag when that tag is present.
  if (inicioTag != npos && (inicioAtr == npos || inicioAtr < inicioTag)) inicioAtr = PosAtributoBytes(atr, g, inicioTag);
  if (inicioAtr == npos) return TVariant(std::string());

  std::string_view resto = TrimView(g.substr(inicioAtr + atr.size()));
  const std::size_t dq = resto.find('"');
  const std::size_t sq = resto.find('\'');
  if (dq == npos && sq == npos) return TVariant(std::string());
  const char aspas = (sq != npos && (dq == npos || sq < dq)) ? '\'' : '"';
  resto = TrimView(resto.substr(resto.find(aspas) + 1));
  // TrimView also dropped trailing blanks, which cannot hold the quote.
  const std::size_t fim = resto.find(aspas);
  if (fim == npos || fim == 0) return TVariant(std::string());
  return TVariant(ReverterFiltroTextoXML(resto.substr(0, fim)));
}

std::size_t PosLast(std::string_view SubStr, std::string_view S) {
  if (SubStr.empty()) return 0;
  const std::size_t p = S.rfind(SubStr);
  return p == npos ? 0 : platform::Utf8CharPosition(S, p);
}

std::size_t PosAtributo(std::string_view Atributo, std::string_view Grupo, std::size_t Inicio) {
  if (Inicio < 1) Inicio = 1;
  const std::size_t from = platform::Utf8Offset(Grupo, Inicio - 1);
  const std::size_t p = PosAtributoBytes(Atributo, Grupo, from);
  return p == npos ? 0 : platform::Utf8CharPosition(Grupo, p);
}

}  // namespace pagvigia
