// A command file of the Integrador's input folder, read and checked with a
// real XML parser: well-formed one-line XML in Windows-1252, the envelope
// Integrador > Identificador > Valor, Componente and Metodo with their Nome,
// the constructor block and the parameters of the known VFP-e methods.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia::sim {

struct Parametro {
  std::string nome;
  std::string valor;
};

struct Command {
  std::string fileName;
  std::string xml;  // the file's text as UTF-8
  bool wellFormed = false;  // the XML parser accepted it
  bool envelope = false;    // Integrador > Identificador, Componente > Metodo found
  std::string componente;
  std::string metodo;
  std::optional<std::int64_t> sessao;      // Identificador/Valor
  std::optional<std::int64_t> fileSessao;  // the number in the file name
  std::optional<std::string> chave;        // constructor's chaveAcessoValidador
  std::vector<Parametro> parametros;
  std::vector<std::string> falhas;  // every check that failed, in words

  bool Ok() const { return falhas.empty(); }
  // The session to answer: the Identificador, else the file name's number.
  std::optional<std::int64_t> AnswerSession() const { return sessao ? sessao : fileSessao; }
  // The value of the first parameter of that name (exact case), if any.
  const std::string* Param(std::string_view nome) const;
};

// Reads and checks one command file's bytes; `fileName` is its name without folder.
Command CheckCommand(const std::string& fileName, std::string_view bytes);

// The method name to use for a file whose XML gave none: the name up to the
// first "-" (lower case, as command files are named).
std::string MethodFromFileName(const std::string& fileName);

}  // namespace pagvigia::sim
