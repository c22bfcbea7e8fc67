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

TEST_F(Diario, EntriesOutliveTheProcessUntilRemovedAndTheEmptyJournalGoes) {
  TDiario d(arquivo);
  d.Carregar();
  EXPECT_TRUE(d.Entradas().empty());
  d.Gravar(kPagamento);
  d.Gravar(kStatus);
  d.Gravar(kFiscal);
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
  const std::string inteiro = TDiario::Serializar({kPagamento, kFiscal});
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

TEST_F(Diario, AFailedWriteLeavesTheJournalAsItWas) {
  TDiario d(arquivo);
  d.Carregar();
  d.Gravar(kPagamento);
  d.Gravar(kFiscal);
  const std::string antes = SlurpFile(arquivo);
  // The new journal cannot be written beside the old one.
  std::filesystem::create_directory(arquivo + ".tmp");
  EXPECT_THROW(d.Gravar(kStatus), platform::FileError);
  EXPECT_THROW(d.Remover(7, etPagamento), platform::FileError);
  EXPECT_EQ(SlurpFile(arquivo), antes);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento, kFiscal}));
  // The object still holds what is on disk.
  EXPECT_EQ(d.Entradas(), (std::vector<TEntradaDiario>{kPagamento, kFiscal}));
}

TEST_F(Diario, NothingIsWrittenBeforeTheJournalHasBeenRead) {
  platform::WriteFileBytes(arquivo, TDiario::Serializar({kPagamento}));
  TDiario d(arquivo);
  EXPECT_THROW(d.Gravar(kStatus), EDiarioIlegivel);
  EXPECT_EQ(Relido(), (std::vector<TEntradaDiario>{kPagamento}));
}

}  // namespace
}  // namespace pagvigia
