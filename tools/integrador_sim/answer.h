// The simulator's answers: the Integrador envelope (Identificador/Valor,
// IntegradorResposta/Codigo and Valor) and the method's body, as UTF-8 XML,
// and the bytes of the answer file in the chosen encoding.
#pragma once
#include <cstdint>
#include <string>

#include "tools/integrador_sim/command.h"
#include "tools/integrador_sim/settings.h"

namespace pagvigia::sim {

// The answer to a sound command. `id` is the number the method's counter gave
// this answer; it becomes IDPagamento or the default retorno.
std::string AnswerXml(const Command& c, const Resolved& r, std::int64_t sessao, std::int64_t id);
// The "EE" answer to a command that failed the checks.
std::string FailureXml(const Command& c, std::int64_t sessao, bool indent);
// Replaces {id}, {sessao} and {metodo} in a text.
std::string Expand(std::string text, const Command& c, std::int64_t sessao, std::int64_t id);
// The XML declaration that names the encoding.
std::string Declaration(AnswerEncoding encoding);
// The file bytes of an answer.
std::string Encode(const std::string& utf8, AnswerEncoding encoding);

}  // namespace pagvigia::sim
