// Reads values out of XML text by plain substring search: no document tree,
// no validation. A caller loads the whole text, cuts out a group (an element
// with everything inside it) by tag name and nesting level, and reads typed
// fields and attributes from the current group.
//
// Positions are 1-based character positions. The reader never reads outside
// its text whatever it is given (unterminated tags, invalid UTF-8, ...).
//
// A reader is used by one thread at a time (its searches keep caches).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

namespace detail {
// Where the "<" of a text are, so that searches visit only the tags: one
// entry per "<" (its position and the two characters after it), and the
// entries chained by those two characters.
struct IndiceTags {
  std::vector<std::uint64_t> entradas;      // in text order
  std::vector<std::uint32_t> proxima;       // next entry of the same chain
  std::array<std::uint32_t, 256> cabeca{};  // first entry of each chain
  bool pronto = false;
};
}  // namespace detail

class TLeitor {
 public:
  static constexpr int kNiveis = 11;  // levels 0 to 10; 0 is the whole text

  TLeitor() = default;

  // The whole text being read.
  const std::string& Arquivo() const { return FArquivo; }
  void SetArquivo(std::string value);
  // The current group: the last group cut out by rExtrai, or what the caller
  // assigned (callers reading a whole document assign Arquivo).
  const std::string& Grupo() const { return FGrupo; }
  void SetGrupo(std::string value);
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
  // outside 1 to 10. The result is Grupo itself (valid until Grupo changes).
  const std::string& rExtrai(int nivel, std::string_view TagInicio, std::string_view TagFim = "", int item = 1);

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
  // The searches visit only the "<" of a text, found once per text: for
  // Arquivo and every group cut out of it, the positions of Arquivo's "<";
  // for a group the caller assigned, its own.
  struct Janela {           // where a level or the group lies in Arquivo
    std::size_t inicio = 0;
    std::size_t tamanho = 0;
    bool valida = false;    // false: not (or no longer) a part of Arquivo
  };

  void InvalidarJanelas();
  std::string_view TextoNivel(int nivel) const;
  const detail::IndiceTags& IndiceArquivo() const;

  std::string FArquivo;
  std::string FGrupo;
  // A level that lies in Arquivo is kept as its place there and copied out
  // only when asked for or before Arquivo changes.
  mutable std::array<std::string, kNiveis> FNivel;  // entry 0 unused: Arquivo stands for it
  mutable std::array<bool, kNiveis> FNivelCopiado{};
  std::array<Janela, kNiveis> FJanela;
  Janela FJanelaGrupo;
  mutable detail::IndiceTags FIndiceArquivo;
  mutable detail::IndiceTags FIndiceGrupo;  // a group that is not a part of Arquivo
};

// Position of the last occurrence of SubStr in S, 0 if none.
std::size_t PosLast(std::string_view SubStr, std::string_view S);
// Position of the attribute in Grupo at or after character position Inicio:
// Atributo itself when it ends with "=", else Atributo + "=" or, when absent,
// Atributo + " ". 0 when not found.
std::size_t PosAtributo(std::string_view Atributo, std::string_view Grupo, std::size_t Inicio);

}  // namespace pagvigia
