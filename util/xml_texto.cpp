// Escaping of text for the XML command files and its inverse for answers.
#include "util/xml_texto.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/integer_text.h"
#include "util/acentos.h"
#include "util/conversao.h"
#include "util/texto.h"

namespace pagvigia {

std::string FiltrarTextoXML(bool RetirarEspacos, std::string_view aTexto, bool RetirarAcentos,
                            bool SubstituirQuebrasLinha, std::string_view QuebraLinha) {
  std::string t = RetirarAcentos ? TiraAcentos(aTexto) : std::string(aTexto);
  t = platform::AnsiRoundTrip(t);
  // One pass gives the same result as the five replacements in turn, since
  // the entities inserted are never escaped again.
  std::string e;
  e.reserve(t.size() + t.size() / 8);
  for (char c : t) {
    switch (c) {
      case '&': e += "&amp;"; break;
      case '<': e += "&lt;"; break;
      case '>': e += "&gt;"; break;
      case '"': e += "&quot;"; break;
      case '\'': e += "&#39;"; break;
      default: e += c;
    }
  }
  if (RetirarEspacos) {
    // Runs of spaces become one space.
    std::string c;
    c.reserve(e.size());
    for (char ch : e)
      if (!(ch == ' ' && !c.empty() && c.back() == ' ')) c += ch;
    e.swap(c);
  }
  if (SubstituirQuebrasLinha) e = ChangeLineBreak(e, QuebraLinha);
  return Trim(e);
}

std::string HexToAscii(std::string_view Texto) {
  std::string r;
  for (std::size_t i = 0; i < Texto.size(); i += 2) {
    const std::string_view pair = Texto.substr(i, 2);
    int code = 0;
    for (char c : pair) {
      const int d = platform::HexDigitValue(c);
      if (d < 0) throw EConvertError("'" + std::string(pair) + "' is not a valid hexadecimal value");
      code = code * 16 + d;
    }
    platform::Utf8Append(r, static_cast<char32_t>(code));
  }
  return r;
}

namespace {

// Every occurrence of `from` replaced by `to` in place (left to right, the
// replacement not scanned again); nothing is copied when there is none.
void ReplaceAllInPlace(std::string& s, std::string_view from, std::string_view to) {
  std::size_t f = s.find(from);
  if (f == std::string::npos) return;
  s = StringReplaceAll(s, from, to);
}

}  // namespace

std::string ReverterFiltroTextoXML(std::string_view aTexto) {
  if (aTexto.find('&') == std::string_view::npos) return Trim(aTexto);
  std::string t(aTexto);
  ReplaceAllInPlace(t, "&amp;", "&");
  ReplaceAllInPlace(t, "&lt;", "<");
  ReplaceAllInPlace(t, "&gt;", ">");
  ReplaceAllInPlace(t, "&quot;", "\"");
  ReplaceAllInPlace(t, "&#39;", "'");
  if (t.find("&#x") == std::string::npos) return Trim(t);

  // Hexadecimal references, always the first one left in the text next: the
  // text before it is final except for its last two characters, which may
  // form a new "&#x" with the decoded characters, so those are looked at
  // again, one by one. Every step shortens the text, so this ends, in time
  // linear in its size.
  const std::string_view in = t;
  std::size_t ip = 0;
  std::string out;          // final text so far
  std::string pending;      // decoded characters to look at again, reversed
  out.reserve(t.size());
  auto more = [&] { return !pending.empty() || ip < in.size(); };
  auto take = [&]() -> char {
    if (!pending.empty()) {
      const char c = pending.back();
      pending.pop_back();
      return c;
    }
    return in[ip++];
  };
  // A reference whose digits are not hexadecimal pairs is kept as it stands:
  // answers of the Integrador are read through here, and refusing the whole
  // answer for one bad reference would lose the payment id it carries.
  auto decode = [&](const std::string& digits, bool terminated) {
    std::string decoded;
    try {
      decoded = HexToAscii(digits);
    } catch (const EConvertError&) {
      out += "&#x";
      out += digits;
      if (terminated) out += ';';
      return;
    }
    const std::size_t keep = std::min<std::size_t>(2, out.size());
    const std::string again = out.substr(out.size() - keep) + decoded;
    out.resize(out.size() - keep);
    pending.append(again.rbegin(), again.rend());
  };
  while (more()) {
    if (pending.empty()) {
      // A reference may begin in the last characters of the final text.
      const std::size_t n = out.size();
      if (n >= 2 && out[n - 2] == '&' && out[n - 1] == '#' && in.substr(ip, 1) == "x") {
        out.resize(n - 2);
        ip += 1;
      } else if (n >= 1 && out[n - 1] == '&' && in.substr(ip, 2) == "#x") {
        out.resize(n - 1);
        ip += 2;
      } else {
        // Plain text up to the next reference is copied at once.
        const std::size_t p = in.find("&#x", ip);
        if (p == std::string_view::npos) {
          out.append(in.substr(ip));
          break;
        }
        out.append(in.substr(ip, p - ip));
        ip = p + 3;
      }
      // The reference runs to the next ";" or the end of the text.
      const std::size_t semi = in.find(';', ip);
      const std::size_t end = semi == std::string_view::npos ? in.size() : semi;
      const std::string digits(in.substr(ip, end - ip));
      ip = semi == std::string_view::npos ? in.size() : semi + 1;
      decode(digits, semi != std::string_view::npos);
      continue;
    }
    out += take();
    const std::size_t n = out.size();
    if (n >= 3 && out[n - 3] == '&' && out[n - 2] == '#' && out[n - 1] == 'x') {
      out.resize(n - 3);
      std::string digits;
      bool terminated = false;
      while (more()) {
        const char c = take();
        if (c == ';') {
          terminated = true;
          break;
        }
        digits += c;
      }
      decode(digits, terminated);
    }
  }
  return Trim(out);
}

}  // namespace pagvigia
