#include "tools/integrador_sim/command.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/codepage.h"

namespace pagvigia::sim {

namespace {

// The access key with which EnviarPagamento writes ValorTotalVenda in its
// short form with a decimal comma.
constexpr std::string_view kChaveIntegrador = "7D41A0C2-58E6-4B1F-A39D-E0C6B2F4917A";

enum class Tipo { Str, Int, De2, Bool, ValorTotalVenda };

struct Esperado {
  const char* nome;
  Tipo tipo;
};

struct Metodo {
  const char* nome;
  std::vector<Esperado> parametros;
};

const std::vector<Metodo>& MetodosVfpe() {
  static const std::vector<Metodo> metodos = {
      {"EnviarPagamento",
       {{"ChaveRequisicao", Tipo::Str}, {"Estabelecimento", Tipo::Str}, {"SerialPos", Tipo::Str},
        {"Cnpj", Tipo::Str}, {"IcmsBase", Tipo::De2}, {"ValorTotalVenda", Tipo::ValorTotalVenda},
        {"HabilitarMultiplosPagamentos", Tipo::Bool}, {"HabilitarControleAntiFraude", Tipo::Bool},
        {"CodigoMoeda", Tipo::Str}, {"EmitirCupomNFCE", Tipo::Bool}, {"OrigemPagamento", Tipo::Str}}},
      {"EnviarStatusPagamento",
       {{"CodigoAutorizacao", Tipo::Str}, {"Bin", Tipo::Str}, {"DonoCartao", Tipo::Str},
        {"DataExpiracao", Tipo::Str}, {"InstituicaoFinanceira", Tipo::Str}, {"Parcelas", Tipo::Int},
        {"CodigoPagamento", Tipo::Str}, {"ValorPagamento", Tipo::De2}, {"idFila", Tipo::Int},
        {"Tipo", Tipo::Str}, {"UltimosQuatroDigitos", Tipo::Int}}},
      {"RespostaFiscal",
       {{"idFila", Tipo::Int}, {"ChaveAcesso", Tipo::Str}, {"Nsu", Tipo::Str},
        {"NumerodeAprovacao", Tipo::Str}, {"Bandeira", Tipo::Str}, {"Adquirente", Tipo::Str},
        {"CNPJ", Tipo::Str}, {"ImpressaoFiscal", Tipo::Str}, {"NumeroDocumento", Tipo::Str}}},
      {"VerificarStatusValidador", {{"idFila", Tipo::Int}, {"cnpj", Tipo::Str}}},
  };
  return metodos;
}

const Metodo* FindMetodo(const std::string& nome) {
  for (const auto& m : MetodosVfpe())
    if (nome == m.nome) return &m;
  return nullptr;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto p = s.find(sep, start);
    out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) return out;
    start = p + 1;
  }
}

std::string Stem(const std::string& fileName) {
  return fileName.size() > 4 && fileName.ends_with(".xml") ? fileName.substr(0, fileName.size() - 4)
                                                          : fileName;
}

bool IsTime(const std::string& s) {
  if (s.size() != 6 || !AllDigits(s)) return false;
  return std::stoi(s.substr(0, 2)) < 24 && std::stoi(s.substr(2, 2)) < 60 && std::stoi(s.substr(4, 2)) < 60;
}

// The session number of a command file name: "name-S", "name-S-HHNNSS",
// "name-yyyymmddhhnnss-S" or "name-yyyymmddhhnnss-S-HHNNSS".
std::optional<std::int64_t> SessionFromName(const std::string& fileName) {
  const auto parts = Split(Stem(fileName), '-');
  if (parts.size() < 2) return std::nullopt;
  std::size_t i = parts.size() - 1;
  if (parts.size() >= 3 && parts[i].size() == 6 && AllDigits(parts[i]) && AllDigits(parts[i - 1]) &&
      parts[i - 1].size() != 14)
    --i;
  if (!AllDigits(parts[i]) || parts[i].size() > 10) return std::nullopt;
  return std::stoll(parts[i]);
}

// Whether `s` starts with an entity or character reference.
bool IsReference(std::string_view s) {
  for (std::string_view e : {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;"})
    if (s.starts_with(e)) return true;
  std::size_t i = 2;
  const bool hex = s.starts_with("&#x");
  if (hex) i = 3;
  else if (!s.starts_with("&#")) return false;
  const std::size_t start = i;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) ||
                          (hex && std::isxdigit(static_cast<unsigned char>(s[i])))))
    ++i;
  return i > start && i < s.size() && s[i] == ';';
}

class Checker {
 public:
  explicit Checker(Command& c) : FCommand(c) {}

  void Fail(std::string s) { FCommand.falhas.push_back(std::move(s)); }

  // The element children of a container; text inside it is a failure.
  std::vector<pugi::xml_node> Elements(pugi::xml_node n) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node k : n.children()) {
      if (k.type() == pugi::node_element) out.push_back(k);
      else if (k.type() == pugi::node_pcdata || k.type() == pugi::node_cdata)
        Fail(std::string("text inside <") + n.name() + ">");
    }
    return out;
  }

  // The names of the children must be exactly `names`, in that order.
  bool Expect(pugi::xml_node n, const std::vector<pugi::xml_node>& kids,
              std::initializer_list<const char*> names) {
    bool ok = kids.size() == names.size();
    if (ok) {
      std::size_t i = 0;
      for (const char* name : names) ok = ok && std::string_view(kids[i++].name()) == name;
    }
    if (!ok) {
      std::string got, want;
      for (const auto& k : kids) got += std::string(got.empty() ? "" : ",") + k.name();
      for (const char* name : names) want += std::string(want.empty() ? "" : ",") + name;
      Fail(std::string("<") + n.name() + "> holds " + (got.empty() ? "nothing" : got) + ", expected " + want);
    }
    return ok;
  }

  // Attributes: none, or only Nome (whose value is returned).
  std::string Attributes(pugi::xml_node n, bool nome) {
    std::string value;
    bool found = false;
    for (pugi::xml_attribute a : n.attributes()) {
      if (nome && std::string_view(a.name()) == "Nome" && !found) {
        value = a.value();
        found = true;
      } else {
        Fail(std::string("unexpected attribute ") + a.name() + " on <" + n.name() + ">");
      }
    }
    if (nome && !found) Fail(std::string("<") + n.name() + "> without the attribute Nome");
    return value;
  }

  // The text of an element that must hold text only.
  std::string Leaf(pugi::xml_node n) {
    Attributes(n, false);
    std::string text;
    for (pugi::xml_node k : n.children()) {
      if (k.type() == pugi::node_pcdata || k.type() == pugi::node_cdata) text += k.value();
      else if (k.type() == pugi::node_element) Fail(std::string("element inside <") + n.name() + ">");
    }
    return text;
  }

  std::vector<Parametro> Parametros(pugi::xml_node n) {
    Attributes(n, false);
    std::vector<Parametro> out;
    for (pugi::xml_node p : Elements(n)) {
      if (std::string_view(p.name()) != "Parametro") {
        Fail(std::string("<") + p.name() + "> inside <Parametros>");
        continue;
      }
      Attributes(p, false);
      const auto kids = Elements(p);
      if (!Expect(p, kids, {"Nome", "Valor"})) continue;
      Parametro par{Leaf(kids[0]), Leaf(kids[1])};
      if (par.nome.empty()) Fail("parameter without a name");
      out.push_back(std::move(par));
    }
    return out;
  }

  void Envelope(const pugi::xml_document& doc) {
    std::vector<pugi::xml_node> roots;
    for (pugi::xml_node k : doc.children()) {
      if (k.type() == pugi::node_element) roots.push_back(k);
      else if (k.type() == pugi::node_pcdata || k.type() == pugi::node_cdata) Fail("text outside the root element");
    }
    if (roots.size() != 1 || std::string_view(roots[0].name()) != "Integrador") {
      Fail("the root element is not one <Integrador>");
      if (roots.empty()) return;
    }
    const pugi::xml_node root = roots[0];
    Attributes(root, false);
    const auto kids = Elements(root);
    if (kids.empty() || std::string_view(kids[0].name()) != "Identificador") {
      Fail("<Integrador> does not begin with <Identificador>");
    } else {
      const auto id = Elements(kids[0]);
      Attributes(kids[0], false);
      if (Expect(kids[0], id, {"Valor"})) {
        const std::string v = Leaf(id[0]);
        if (AllDigits(v) && v.size() <= 10 && std::stoll(v) <= 2147483647 && (v == "0" || v[0] != '0'))
          FCommand.sessao = std::stoll(v);
        else
          Fail("Identificador/Valor is not a session number: \"" + v + "\"");
      }
    }
    if (kids.size() != 2 || std::string_view(kids[1].name()) != "Componente") {
      Expect(root, kids, {"Identificador", "Componente"});
      if (kids.size() < 2 || std::string_view(kids[1].name()) != "Componente") return;
    }
    const pugi::xml_node comp = kids[1];
    FCommand.componente = Attributes(comp, true);
    const auto ck = Elements(comp);
    if (!Expect(comp, ck, {"Metodo"})) return;
    const pugi::xml_node met = ck[0];
    FCommand.metodo = Attributes(met, true);
    const auto mk = Elements(met);
    if (mk.size() == 2 && std::string_view(mk[0].name()) == "Construtor") {
      Attributes(mk[0], false);
      const auto cons = Elements(mk[0]);
      if (Expect(mk[0], cons, {"Parametros"})) {
        const auto cp = Parametros(cons[0]);
        if (cp.size() == 1 && cp[0].nome == "chaveAcessoValidador") FCommand.chave = cp[0].valor;
        else Fail("the constructor does not hold exactly the parameter chaveAcessoValidador");
      }
      if (Expect(met, mk, {"Construtor", "Parametros"})) FCommand.parametros = Parametros(mk[1]);
    } else if (Expect(met, mk, {"Parametros"})) {
      FCommand.parametros = Parametros(mk[0]);
    }
    FCommand.envelope = true;
  }

  void TextForm(const Parametro& p) {
    const std::string& v = p.valor;
    bool control = false;
    for (unsigned char ch : v) control = control || ch < 0x20 || ch == 0x7F;
    if (control) Fail("parameter " + p.nome + " holds a control character or line break");
    if (!v.empty() && (v.front() == ' ' || v.back() == ' ')) Fail("parameter " + p.nome + " is not trimmed");
    if (v.find("  ") != std::string::npos) Fail("parameter " + p.nome + " holds a run of blanks");
  }

  void Form(const Parametro& p, Tipo tipo) {
    const std::string& v = p.valor;
    const std::string digits = !v.empty() && v[0] == '-' ? v.substr(1) : v;
    bool ok = true;
    switch (tipo) {
      case Tipo::Str:
        TextForm(p);
        return;
      case Tipo::Int:
        ok = AllDigits(digits);
        break;
      case Tipo::Bool:
        ok = v == "true" || v == "false";
        break;
      case Tipo::De2: {
        const auto dot = digits.find('.');
        ok = dot != std::string::npos && AllDigits(digits.substr(0, dot)) && digits.size() - dot == 3 &&
             AllDigits(digits.substr(dot + 1));
        break;
      }
      case Tipo::ValorTotalVenda:
        if (FCommand.chave && *FCommand.chave == kChaveIntegrador) {
          // Shortest general form with a decimal comma: 25,5 or 25.
          const auto comma = digits.find(',');
          ok = comma == std::string::npos ? AllDigits(digits)
                                          : AllDigits(digits.substr(0, comma)) && AllDigits(digits.substr(comma + 1)) &&
                                                digits.back() != '0';
        } else {
          Form(p, Tipo::De2);
          return;
        }
        break;
    }
    if (!ok) Fail("parameter " + p.nome + " has the wrong form: \"" + v + "\"");
  }

  void Method() {
    const Metodo* m = FindMetodo(FCommand.metodo);
    if (!m) {
      if (FCommand.componente == "VFP-e") Fail("unknown VFP-e method \"" + FCommand.metodo + "\"");
      if (FCommand.chave) Fail("a constructor block in a command that is no VFP-e method");
      return;
    }
    if (FCommand.componente != "VFP-e")
      Fail("component \"" + FCommand.componente + "\" for the VFP-e method " + FCommand.metodo);
    if (!FCommand.chave) Fail("no constructor block with chaveAcessoValidador");
    else TextForm({"chaveAcessoValidador", *FCommand.chave});
    bool same = FCommand.parametros.size() == m->parametros.size();
    for (std::size_t i = 0; same && i < m->parametros.size(); ++i)
      same = FCommand.parametros[i].nome == m->parametros[i].nome;
    if (!same) {
      std::string got, want;
      for (const auto& p : FCommand.parametros) got += (got.empty() ? "" : ",") + p.nome;
      for (const auto& e : m->parametros) want += std::string(want.empty() ? "" : ",") + e.nome;
      Fail("parameters " + got + ", expected " + want);
      return;
    }
    for (std::size_t i = 0; i < m->parametros.size(); ++i) Form(FCommand.parametros[i], m->parametros[i].tipo);
  }

  void FileName() {
    const std::string prefix = Lower(FCommand.metodo) + "-";
    const std::string stem = Stem(FCommand.fileName);
    bool ok = FCommand.fileName.ends_with(".xml") && stem.rfind(prefix, 0) == 0 && FCommand.sessao;
    if (ok) {
      auto parts = Split(stem.substr(prefix.size()), '-');
      // The generic call puts the moment of sending before the session.
      if (!FindMetodo(FCommand.metodo)) {
        ok = parts.size() >= 2 && parts[0].size() == 14 && AllDigits(parts[0]);
        if (ok) parts.erase(parts.begin());
      }
      ok = ok && (parts.size() == 1 || (parts.size() == 2 && IsTime(parts[1]))) &&
           parts[0] == std::to_string(*FCommand.sessao);
    }
    if (!ok) Fail("file name \"" + FCommand.fileName + "\" does not fit the method and the session");
  }

 private:
  Command& FCommand;
};

}  // namespace

const std::string* Command::Param(std::string_view nome) const {
  for (const auto& p : parametros)
    if (p.nome == nome) return &p.valor;
  return nullptr;
}

std::string MethodFromFileName(const std::string& fileName) { return Split(fileName, '-')[0]; }

Command CheckCommand(const std::string& fileName, std::string_view bytes) {
  Command c;
  c.fileName = fileName;
  c.fileSessao = SessionFromName(fileName);
  Checker check(c);

  // Bytes: one line of Windows-1252 that is nothing but the Integrador element.
  std::string_view body = bytes;
  const bool bom = body.starts_with("\xEF\xBB\xBF");
  if (bom) {
    check.Fail("byte-order mark (a command has none)");
    body.remove_prefix(3);
  }
  if (body.empty()) check.Fail("empty file");
  if (body.starts_with("<?xml")) check.Fail("XML declaration (a command has none)");
  if (body.find_first_of("\r\n") != std::string_view::npos) check.Fail("line break (a command is one line)");
  if (!body.empty() && (body.front() != '<' || body.back() != '>'))
    check.Fail("text before or after the Integrador element");
  if (body.find("<!DOCTYPE") != std::string_view::npos) check.Fail("document type declaration");
  bool high = false, multibyte = false, invalidUtf8 = false;
  for (std::size_t i = 0; i < body.size();) {
    const unsigned char b = static_cast<unsigned char>(body[i]);
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", b);
      check.Fail(std::string("byte ") + hex + " is undefined in Windows-1252");
    }
    if (b >= 0x80) high = true;
    const std::size_t n = platform::Utf8Decode(body, i);
    if (n > 1) multibyte = true;
    if (n == 1 && b >= 0x80) invalidUtf8 = true;
    i += n;
  }
  if (!bom && high && multibyte && !invalidUtf8) check.Fail("the text is UTF-8, not Windows-1252");
  c.xml = bom ? std::string(body) : platform::AnsiToUtf8(body);

  // The parser lets a stray "&" pass as text; XML does not.
  for (std::size_t p = c.xml.find('&'); p != std::string::npos; p = c.xml.find('&', p + 1)) {
    if (!IsReference(std::string_view(c.xml).substr(p))) {
      check.Fail("not well-formed XML: \"&\" that starts no reference at offset " + std::to_string(p));
      return c;
    }
  }

  pugi::xml_document doc;
  const pugi::xml_parse_result r =
      doc.load_buffer(c.xml.data(), c.xml.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!r) {
    check.Fail(std::string("not well-formed XML: ") + r.description() + " at offset " + std::to_string(r.offset));
    return c;
  }
  c.wellFormed = true;
  check.Envelope(doc);
  if (!c.envelope) return c;
  check.Method();
  check.FileName();
  return c;
}

}  // namespace pagvigia::sim
