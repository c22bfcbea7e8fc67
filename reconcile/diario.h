// The journal of recorded steps: what a step will write to its row (row key,
// step, id, answer XML), kept in a small file beside the executable from the
// moment the Integrador has answered until the row's update has committed.
//
// Before that, from just before its command file is published in the
// Integrador's input folder until its answer is taken, a step is kept as an
// unfinished send (row key, step, session number, command file, since when).
// An unfinished send left by a time-out, a stop or a crash is settled before
// anything for its row is sent again (reconcile/reconciliacao.h), so a late
// or lost answer never makes the step go out twice.
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
//   per unfinished send: "I <row key> <column> <session> <since> <name bytes>",
//              then the command file's path, a line end; <since> is the
//              local time as YYYYMMDDHHMMSS
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
#include <utility>
#include <vector>

namespace pagvigia {

// The three steps of a row, named by the column that records each one.
enum TEtapa { etPagamento, etStatusPagamento, etRespostaFiscal };

// "MFE_IDPAGAMENTO", "MFE_IDSTATUSVALIDADOR" or "MFE_IDRESPOSTAFISCAL".
std::string_view ColunaDaEtapa(TEtapa etapa);

// One entry: a step's id and answer waiting to be recorded, or (Enviando) a
// send whose answer has not been taken yet (Id and XML empty then).
struct TEntradaDiario {
  TEntradaDiario() = default;
  TEntradaDiario(std::int64_t idInterno, TEtapa etapa, std::string id, std::string xml)
      : IdInterno(idInterno), Etapa(etapa), Id(std::move(id)), XML(std::move(xml)) {}

  std::int64_t IdInterno = 0;  // MFE_IDENTIFICADORINTERNO
  TEtapa Etapa = etPagamento;
  std::string Id;   // the id as the update writes it
  std::string XML;  // the answer XML as the update writes it
  bool Enviando = false;
  std::int32_t Sessao = 0;     // the send's session number
  std::string ArquivoComando;  // the command file as last published
  std::string Desde;           // local time of the first publish, YYYYMMDDHHMMSS
  bool operator==(const TEntradaDiario&) const = default;
};

// An unfinished send of row `idInterno`'s step.
TEntradaDiario EnvioPendente(std::int64_t idInterno, TEtapa etapa, std::int32_t sessao, std::string arquivo,
                             std::string desde);

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

  // The row's entry for the step, if any.
  const TEntradaDiario* Entrada(std::int64_t idInterno, TEtapa etapa) const;

  // Adds the entry (replacing one of the same row and step) and writes the
  // journal durably before returning. Raises platform::FileError or
  // EDiarioIlegivel. When the write fails, the journal on disk is the old one;
  // an id entry is still kept in memory for the life of the process (and
  // again after every Carregar), so its row stays held until it is recorded,
  // while an unfinished send is not (its command must then not go out).
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
  // Entries whose write failed: they live in memory only.
  std::vector<TEntradaDiario> FSoEmMemoria;
  bool FLegivel = false;  // until Carregar has read the file
};

}  // namespace pagvigia
