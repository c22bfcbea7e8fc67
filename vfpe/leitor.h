// Reads values out of XML text by plain substring search: no document tree,
// no validation. A caller loads the whole text, cuts out a group (an element
// with everything inside it) by tag name and nesting level, and reads typed
// fields and attributes from the current group.
//
// Positions are 1-based character positions. The reader never reads outside
// its text whatever it is given (unterminated tags, invalid UTF-8, ...).
#pragma once
#include <array>
#include <cstddef>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "util/variant.h"
#include "vfpe/tipo_campo.h"

namespace pagvigia {

// A field whose type has no reading ("Tag <TAG> com conteúdo inválido. ...").
class ELeitorException : public std::runtime_error {
 public:
  explicit ELeitorException(const std::string& message) : std::runtime_error(message) {}
};

// A level outside 1 to 10.
class EListError : public std::out_of_range {
 public:
  explicit EListError(const std::string& message) : std::out_of_range(message) {}
};

class TLeitor {
 public:
  static constexpr int kNiveis = 11;  // levels 0 to 10; 0 is the whole text

  TLeitor() = default;

  // The whole text being read.
  const std::string& Arquivo() const { return FArquivo; }
  void SetArquivo(std::string value) { FArquivo = std::move(value); }
  // The current group: the last group cut out by rExtrai, or what the caller
  // assigned (callers reading a whole document assign Arquivo).
  const std::string& Grupo() const { return FGrupo; }
  void SetGrupo(std::string value) { FGrupo = std::move(value); }
  // The group text of a level (level 0 is Arquivo itself).
  // Raises EListError outside 0 to 10.
  const std::string& Nivel(int nivel) const;

  // Arquivo := the text of the file (byte-order mark: UTF-8 or UTF-16,
  // otherwise Windows-1252; lines rejoined with CR LF, CR LF after the last).
  // Raises platform::FileError when the file cannot be read.
  bool CarregarArquivo(const std::string& CaminhoArquivo);
  // Arquivo := the whole remaining content of the stream (UTF-8 text).
  bool CarregarArquivo(std::istream& Stream);

  // Cuts out the item-th group TagInicio ... TagFim (TagFim empty: the same
  // name) found in level nivel - 1, stores it in level nivel and in Grupo,
  // and returns it; "" (Grupo emptied, the level kept) when it is not found.
  // Tag names are matched case-sensitively, the opening tag as "<Tag>",
  // "<Tag " (with attributes) or "<Tag:". Raises EListError for a level
  // outside 1 to 10.
  std::string rExtrai(int nivel, std::string_view TagInicio, std::string_view TagFim = "", int item = 1);

  // Reads the field TAG (case ignored; only the bare opening form "<TAG>")
  // of the current group, typed by Tipo: text (tcStr unescaped, tcEsp as
  // found), integer (tcInt, digits only), double (decimal types) or
  // TDateTime (date and time types). A stop tag TAGparada found before the
  // field makes it read as empty. Empty content gives "" or 0.
  // Raises ELeitorException for tcBoolStr, tcStrOrig and tcNumStr, and
  // EConvertError for a date or time that is not one (and for a tcStr
  // hexadecimal reference that is not hexadecimal).
  TVariant rCampo(TTipoCampo Tipo, std::string_view TAG, std::string_view TAGparada = "") const;

  // The CNPJ field as text, or the CPF field when CNPJ is empty.
  std::string rCampoCNPJCPF(std::string_view TAGparada = "") const;

  // The value of the attribute Atributo in the current group (of the tag Tag
  // when given and present), XML escapes reverted; "" when absent.
  TVariant rAtributo(std::string_view Atributo, std::string_view Tag = "") const;

 private:
  std::string FArquivo;
  std::string FGrupo;
  std::array<std::string, kNiveis> FNivel;  // entry 0 unused: Arquivo stands for it
};

// Position of the last occurrence of SubStr in S, 0 if none.
std::size_t PosLast(std::string_view SubStr, std::string_view S);
// Position of the attribute in Grupo at or after character position Inicio:
// Atributo itself when it ends with "=", else Atributo + "=" or, when absent,
// Atributo + " ". 0 when not found.
std::size_t PosAtributo(std::string_view Atributo, std::string_view Grupo, std::size_t Inicio);

}  // namespace pagvigia
