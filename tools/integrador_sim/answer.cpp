#include "tools/integrador_sim/answer.h"

#include <pugixml.hpp>

#include <sstream>

#include "platform/codepage.h"

namespace pagvigia::sim {

namespace {

std::string DefaultMessage(const std::string& code) {
  if (code == "AP") return "Requisição processada com êxito";
  if (code == "EE") return "Requisição rejeitada: erro na execução do método";
  return "Situação " + code;
}

void Text(pugi::xml_node parent, const char* name, const std::string& value) {
  parent.append_child(name).text().set(value.c_str());
}

// Opens the envelope shared by every answer; returns the root element.
pugi::xml_node Envelope(pugi::xml_document& doc, std::int64_t sessao, const std::string& code,
                        const std::string& message) {
  pugi::xml_node root = doc.append_child("Integrador");
  Text(root.append_child("Identificador"), "Valor", std::to_string(sessao));
  pugi::xml_node resp = root.append_child("IntegradorResposta");
  Text(resp, "Codigo", code);
  Text(resp, "Valor", message);
  return root;
}

std::string Print(const pugi::xml_document& doc, bool indent) {
  std::ostringstream out;
  const unsigned flags = pugi::format_no_declaration | (indent ? pugi::format_indent : pugi::format_raw);
  doc.save(out, "  ", flags, pugi::encoding_utf8);
  std::string s = out.str();
  if (indent) {
    // Windows line ends, as the Integrador writes them.
    std::string crlf;
    for (char ch : s) {
      if (ch == '\n') crlf += '\r';
      crlf += ch;
    }
    s = std::move(crlf);
  }
  return s;
}

}  // namespace

std::string Expand(std::string text, const Command& c, std::int64_t sessao, std::int64_t id) {
  const std::pair<const char*, std::string> vars[] = {
      {"{id}", std::to_string(id)}, {"{sessao}", std::to_string(sessao)}, {"{metodo}", c.metodo}};
  for (const auto& [name, value] : vars) {
    const std::string n = name;
    for (std::size_t p = text.find(n); p != std::string::npos; p = text.find(n, p + value.size()))
      text.replace(p, n.size(), value);
  }
  return text;
}

std::string AnswerXml(const Command& c, const Resolved& r, std::int64_t sessao, std::int64_t id) {
  pugi::xml_document doc;
  pugi::xml_node root =
      Envelope(doc, sessao, r.code, Expand(r.message.empty() ? DefaultMessage(r.code) : r.message, c, sessao, id));
  const bool body = r.body == BodyMode::Always || (r.body == BodyMode::WhenAccepted && r.code == "AP");
  if (body) {
    pugi::xml_node resp = root.append_child("Resposta");
    auto retorno = [&](const std::string& def) {
      Text(resp, "retorno", Expand(r.retorno.value_or(def), c, sessao, id));
    };
    if (c.metodo == "EnviarPagamento") {
      Text(resp, "IDPagamento", std::to_string(id));
      Text(resp, "Mensagem", Expand(r.paymentMessage, c, sessao, id));
      Text(resp, "StatusPagamento", Expand(r.status, c, sessao, id));
      if (r.retorno) retorno("");
    } else if (c.metodo == "VerificarStatusValidador") {
      const std::string* fila = c.Param("idFila");
      Text(resp, "CodigoAutorizacao", "AUT" + std::to_string(id));
      Text(resp, "Bin", "411111");
      Text(resp, "DonoCartao", "JOSÉ DA CONCEIÇÃO");
      Text(resp, "DataExpiracao", "12/30");
      Text(resp, "InstituicaoFinanceira", "Banco Exemplo");
      Text(resp, "Parcelas", "1");
      Text(resp, "UltimosQuatroDigitos", "1234");
      Text(resp, "CodigoPagamento", "PAG" + std::to_string(id));
      Text(resp, "ValorPagamento", "10.50");
      Text(resp, "idFila", fila ? *fila : "0");
      Text(resp, "Tipo", "Crédito");
      retorno("{id}");
    } else if (c.metodo == "EnviarStatusPagamento" || c.metodo == "RespostaFiscal") {
      retorno("{id}");
    } else {
      retorno("{sessao}|Comando {metodo} recebido");
    }
  }
  if (!r.erro.empty()) Text(root.append_child("Erro"), "Descricao", Expand(r.erro, c, sessao, id));
  return Print(doc, r.indent);
}

std::string FailureXml(const Command& c, std::int64_t sessao, bool indent) {
  pugi::xml_document doc;
  pugi::xml_node root =
      Envelope(doc, sessao, "EE", "Comando inválido: " + (c.falhas.empty() ? std::string() : c.falhas.front()));
  pugi::xml_node erro = root.append_child("Erro");
  for (const auto& f : c.falhas) Text(erro, "Descricao", f);
  return Print(doc, indent);
}

std::string Declaration(AnswerEncoding encoding) {
  const char* name = encoding == AnswerEncoding::Cp1252    ? "windows-1252"
                     : encoding == AnswerEncoding::Utf16LE ? "UTF-16"
                                                           : "UTF-8";
  return std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?>";
}

std::string Encode(const std::string& utf8, AnswerEncoding encoding) {
  switch (encoding) {
    case AnswerEncoding::Cp1252:
      return platform::Utf8ToAnsi(utf8);
    case AnswerEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + utf8;
    case AnswerEncoding::Utf8:
      return utf8;
    case AnswerEncoding::Utf16LE:
      return "\xFF\xFE" + platform::Utf8ToUtf16(utf8, false);
  }
  return utf8;
}

}  // namespace pagvigia::sim
