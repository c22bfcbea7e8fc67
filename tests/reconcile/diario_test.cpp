// The journal of recorded steps: what it keeps survives a new process, a
// damaged file is reported and left alone, and a write that fails leaves the
// journal as it was.
#include "reconcile/diario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/file_text.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

using testing::SlurpFile;
using testing::TempDir;

struct Diario : ::testing::Test {
  TempDir dir{"pagvigia-diario"};
  std::string arquivo = dir / TDiario::kNomeArquivo;

  // The entries a fresh process would read.
  std::vector<TEntradaDiario> Relido() {
    TDiario d(arquivo);
    d.Carregar();
    return d.Entradas();
  }
};

const TEntradaDiario kPagamento{7, etPagamento, "4021", "<Integrador>\r\n<IDPagamento>4021</IDPagamento>\nação ç</Integrador>"};
const TEntradaDiario kStatus{7, etStatusPagamento, "551234", "<retorno>551234</retorno>"};
const TEntradaDiario kFiscal{12, etRespostaFiscal, "", ""};
const TEntradaDiario kEnvio = EnvioPendente(9, etRespostaFiscal, 4021, "/in/respostafiscal-4021-101502.xml", "20261209101502");

TEST_F(Diario, EntriesOutliveTheProcessUntilRemovedAndTheEmptyJournalGoes) {
  TDiario d(arquivo);
  d.Carregar();
  EXPECT_TRUE(d.Entradas().empty());
  d.Gravar(kPagamento);
  d.Gravar(kStatus);
  d.Gravar(kFiscal);
  d.Gravar(kEnvio);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento, kStatus, kFiscal, kEnvio}));
  d.Remover(9, etRespostaFiscal);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento, kStatus, kFiscal}));
  EXPECT_TRUE(d.TemEntrada(12));
  EXPECT_FALSE(d.TemEntrada(8));

  // The same row and step again replaces the entry.
  TEntradaDiario outro = kPagamento;
  outro.Id = "4022";
  d.Gravar(outro);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{outro, kStatus, kFiscal}));

  d.Remover(7, etPagamento);
  d.Remover(7, etPagamento);  // nothing left to remove
  d.Remover(12, etStatusPagamento);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kStatus, kFiscal}));
  d.Remover(7, etStatusPagamento);
  d.Remover(12, etRespostaFiscal);
  EXPECT_FALSE(platform::PathExists(arquivo));
  EXPECT_FALSE(platform::PathExists(arquivo + ".tmp"));
  EXPECT_TRUE(Relido().empty());
}

TEST_F(Diario, ADamagedJournalIsReportedAndNeverOverwritten) {
  const std::string inteiro = TDiario::Serializar({kPagamento, kEnvio, kFiscal});
  struct Caso {
    const char* nome;
    std::function<std::string(std::string)> estraga;
  } casos[] = {
      {"cut inside the last line", [](std::string b) { return b.substr(0, b.size() - 3); }},
      {"cut inside an entry's XML", [](std::string b) { return b.substr(0, b.find("ação")); }},
      {"without its last line", [](std::string b) { return b.substr(0, b.rfind("F ")); }},
      {"one byte of an id changed", [](std::string b) { return b.replace(b.find("4021\r\n"), 1, "5"); }},
      {"bytes after the last line", [](std::string b) { return b + "x"; }},
      {"another first line", [](std::string b) { return "Pagvigia diario 2" + b.substr(b.find("\r\n")); }},
      {"an empty file", [](std::string) { return std::string(); }},
      {"an unknown column", [](std::string b) { return b.replace(b.find("MFE_IDPAGAMENTO"), 15, "MFE_IDPAGAMENTX"); }},
      {"a send's time cut", [](std::string b) { return b.replace(b.find(" 20261209101502 "), 16, " 2026120910150 "); }},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    const std::string estragado = c.estraga(inteiro);
    platform::WriteFileBytes(arquivo, estragado);
    TDiario d(arquivo);
    EXPECT_THROW(d.Carregar(), EDiarioIlegivel);
    EXPECT_FALSE(d.Legivel());
    EXPECT_THROW(d.Gravar(kStatus), EDiarioIlegivel);
    EXPECT_THROW(d.Remover(7, etPagamento), EDiarioIlegivel);
    EXPECT_EQ(SlurpFile(arquivo), estragado);
  }
  // A folder where the journal should be cannot be read either.
  std::filesystem::remove(arquivo);
  std::filesystem::create_directory(arquivo);
  TDiario d(arquivo);
  EXPECT_THROW(d.Carregar(), EDiarioIlegivel);
  EXPECT_TRUE(std::filesystem::is_directory(arquivo));
}

TEST_F(Diario, AFailedWriteLeavesTheFileAsItWasAndKeepsAnIdInMemory) {
  TDiario d(arquivo);
  d.Carregar();
  d.Gravar(kPagamento);
  d.Gravar(kFiscal);
  const std::string antes = SlurpFile(arquivo);
  // The new journal cannot be written beside the old one.
  std::filesystem::create_directory(arquivo + ".tmp");
  EXPECT_THROW(d.Gravar(kStatus), platform::FileError);
  EXPECT_THROW(d.Gravar(kEnvio), platform::FileError);
  EXPECT_THROW(d.Remover(12, etRespostaFiscal), platform::FileError);
  EXPECT_EQ(SlurpFile(arquivo), antes);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento, kFiscal}));
  // The id that could not be written holds its row for the life of the
  // process, the next cycle's reading included; a send that could not be
  // journaled is not kept (its command never goes out).
  const std::vector<TEntradaDiario> naMemoria{kPagamento, kFiscal, kStatus};
  EXPECT_EQ(d.Entradas(), naMemoria);
  d.Carregar();
  EXPECT_EQ(d.Entradas(), naMemoria);
  EXPECT_FALSE(d.TemEntrada(9));
  // Once the disk takes writes again, the id reaches the file.
  std::filesystem::remove(arquivo + ".tmp");
  d.Remover(12, etRespostaFiscal);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento, kStatus}));
}

TEST_F(Diario, NothingIsWrittenBeforeTheJournalHasBeenRead) {
  platform::WriteFileBytes(arquivo, TDiario::Serializar({kPagamento}));
  TDiario d(arquivo);
  EXPECT_THROW(d.Gravar(kStatus), EDiarioIlegivel);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento}));
}

}  // namespace
}  // namespace pagvigia
