// The journal of recorded steps: what a step will write to its row (row key,
// step, id, answer XML), kept in a small file beside the executable from the
// moment the Integrador has answered until the row's update has committed.
//
// An id the Integrador gave is never lost between its answer and the
// database: if the update fails (connection lost, server restarted, process
// killed, power lost), the entry stays, the next cycle writes it to the row
// with the same update, and the step is never sent again meanwhile.
//
// The file ("Pagvigia_Diario.txt") is replaced as a whole on every change,
// durably (platform::ReplaceFileDurably): a crash leaves the old or the new
// journal, never a torn one; it is deleted once it holds no entry. It is not
// deleted when the service starts. A file that cannot be read as a journal
// (damaged, edited, from a newer program) is never overwritten or dropped:
// Carregar raises EDiarioIlegivel, and the cycle sends nothing until an
// operator has looked at it.
//
// Format (UTF-8 text, every line ended by CR LF):
//   "Pagvigia diario 1"
//   per entry: "E <row key> <column> <id bytes> <XML bytes>", then the id,
//              a line end, the XML, a line end
//   "F <entries> <FNV-1a 64 of every byte before this line, 16 hex digits>"
// where <column> names the step by the column its id goes to
// (MFE_IDPAGAMENTO, MFE_IDSTATUSVALIDADOR, MFE_IDRESPOSTAFISCAL).
//
// One object per process, used by the cycle's thread only (one instance per
// folder is enforced elsewhere, so no other process writes the file).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia {

// The three steps of a row, named by the column that records each one.
enum TEtapa { etPagamento, etStatusPagamento, etRespostaFiscal };

// "MFE_IDPAGAMENTO", "MFE_IDSTATUSVALIDADOR" or "MFE_IDRESPOSTAFISCAL".
std::string_view ColunaDaEtapa(TEtapa etapa);

struct TEntradaDiario {
  std::int64_t IdInterno = 0;  // MFE_IDENTIFICADORINTERNO
  TEtapa Etapa = etPagamento;
  std::string Id;   // the id as the update writes it
  std::string XML;  // the answer XML as the update writes it
  bool operator==(const TEntradaDiario&) const = default;
};

// The journal file exists but is not a journal this program wrote whole.
class EDiarioIlegivel : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDiario {
 public:
  static constexpr const char* kNomeArquivo = "Pagvigia_Diario.txt";

  // `arquivo`: the journal's path. Nothing is read until Carregar.
  explicit TDiario(std::string arquivo);

  const std::string& Arquivo() const { return FArquivo; }

  // Reads the file (a missing file is an empty journal). Raises
  // EDiarioIlegivel, naming the file and what is wrong, when the file cannot
  // be read or is not a whole journal; the entries are then unknown and
  // Gravar and Remover raise as well until a Carregar succeeds.
  void Carregar();
  bool Legivel() const { return FLegivel; }

  const std::vector<TEntradaDiario>& Entradas() const { return FEntradas; }
  // True when some entry belongs to the row.
  bool TemEntrada(std::int64_t idInterno) const;

  // Adds the entry (replacing one of the same row and step) and writes the
  // journal durably before returning. Raises platform::FileError (the
  // journal on disk is then the old one) or EDiarioIlegivel.
  void Gravar(const TEntradaDiario& entrada);
  // Drops the row's entry for the step, if any, and writes the journal
  // durably (the file is deleted when no entry is left).
  void Remover(std::int64_t idInterno, TEtapa etapa);

  // The journal's bytes for these entries, and the entries of such bytes
  // (raises EDiarioIlegivel with the reason alone).
  static std::string Serializar(const std::vector<TEntradaDiario>& entradas);
  static std::vector<TEntradaDiario> Interpretar(std::string_view bytes);

 private:
  void ExigirLegivel() const;

  std::string FArquivo;
  std::vector<TEntradaDiario> FEntradas;
  bool FLegivel = false;  // until Carregar has read the file
};

}  // namespace pagvigia
