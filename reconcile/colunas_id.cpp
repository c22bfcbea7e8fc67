// The id columns' lengths from the database's metadata.
#include "reconcile/colunas_id.h"

#include "db/fb_query.h"

namespace pagvigia {

namespace {

// RDB$FIELDS.RDB$FIELD_TYPE of the character types: CHAR, VARCHAR, CSTRING;
// and of a BLOB.
constexpr int kTiposTexto[] = {14, 37, 40};
constexpr int kTipoBlob = 261;

// RDB$CHARACTER_SET_ID of UNICODE_FSS and UTF8.
bool ConjuntoUnicode(int id) { return id == 3 || id == 4; }

// Connection sets that do not carry a parameter's UTF-8 text whole into a
// Unicode column (see TColunasOctetos).
bool ConexaoPedeOctetos(const std::string& conjunto) { return conjunto == "ISO8859_1" || conjunto == "NONE"; }

const char* PrefixoDaEtapa(TEtapa etapa) {
  switch (etapa) {
    case etPagamento: return "Pagamento MFE: ";
    case etStatusPagamento: return "Status Pagamento: ";
    case etRespostaFiscal: return "Resposta Fiscal: ";
  }
  return "";
}

}  // namespace

std::optional<int> MaiorIdDaEtapa(TEtapa etapa) {
  switch (etapa) {
    case etPagamento: return 10;
    case etStatusPagamento: return 7;
    case etRespostaFiscal: return std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::string> SqlTamanhosColunasId() {
  return {"SELECT TRIM(RF.RDB$FIELD_NAME) AS COLUNA, F.RDB$FIELD_TYPE AS TIPO,",
          "F.RDB$CHARACTER_LENGTH AS CARACTERES, F.RDB$FIELD_LENGTH AS BYTES,",
          "F.RDB$CHARACTER_SET_ID AS CONJUNTO",
          "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE",
          "WHERE RF.RDB$RELATION_NAME = 'MFE_TRANSACAO_CARTOES'",
          "AND RF.RDB$FIELD_NAME IN ('MFE_IDPAGAMENTO', 'MFE_IDSTATUSVALIDADOR', 'MFE_IDRESPOSTAFISCAL',",
          "'MFE_XML_ENVIARPAGAMENTO', 'MFE_XML_STATUSVALIDADOR', 'MFE_XML_RESPOSTAFISCAL')"};
}

TTamanhosColunasId LerTamanhosColunasId(TFbQuery& q, TColunasOctetos* octetos) {
  const bool pedeOctetos = octetos && q.FbConnection() && ConexaoPedeOctetos(q.FbConnection()->CharSet());
  if (octetos) octetos->clear();
  q.SQL().Clear();
  for (const auto& l : SqlTamanhosColunasId()) q.SQL().Add(l);
  q.Open();
  TTamanhosColunasId out;
  for (q.First(); !q.Eof(); q.Next()) {
    const int tipo = q.FieldByName("TIPO").AsInteger();
    const std::string coluna = q.FieldByName("COLUNA").AsString();
    TFbColumn& conjunto = q.FieldByName("CONJUNTO");
    const bool unicode = !conjunto.IsNull() && ConjuntoUnicode(conjunto.AsInteger());
    if (pedeOctetos && unicode && tipo == kTipoBlob) (*octetos)[coluna] = 0;
    bool texto = false;
    for (int t : kTiposTexto) texto = texto || t == tipo;
    if (!texto) continue;
    // The length in characters; the byte length stands for it where the
    // server gives none (a single-byte character set).
    TFbColumn& caracteres = q.FieldByName("CARACTERES");
    const int tamanho = caracteres.IsNull() ? q.FieldByName("BYTES").AsInteger() : caracteres.AsInteger();
    if (pedeOctetos && unicode) (*octetos)[coluna] = 4 * tamanho;
    for (TEtapa e : {etPagamento, etStatusPagamento, etRespostaFiscal})
      if (ColunaDaEtapa(e) == coluna) out[e] = tamanho;
  }
  q.Close();
  return out;
}

std::optional<std::string> AvisoColunaCurta(TEtapa etapa, const TTamanhosColunasId& tamanhos) {
  const auto maior = MaiorIdDaEtapa(etapa);
  const auto tamanho = tamanhos[etapa];
  if (!maior || !tamanho || *tamanho >= *maior) return std::nullopt;
  return std::string(PrefixoDaEtapa(etapa)) + "column " + std::string(ColunaDaEtapa(etapa)) + " of " +
         "MFE_TRANSACAO_CARTOES holds " + std::to_string(*tamanho) + " characters, the Integrador's ids take up to " +
         std::to_string(*maior) + "; nothing is sent for this step until the column is widened";
}

std::optional<std::string> AvisoIdNaoCabe(const TEntradaDiario& entrada, const TTamanhosColunasId& tamanhos) {
  const auto tamanho = tamanhos[entrada.Etapa];
  // The update counts characters; the id is UTF-8 here.
  std::size_t caracteres = 0;
  for (unsigned char c : entrada.Id) caracteres += (c & 0xC0) != 0x80;
  if (!tamanho || caracteres <= static_cast<std::size_t>(*tamanho)) return std::nullopt;
  return std::string(PrefixoDaEtapa(entrada.Etapa)) + "column " + std::string(ColunaDaEtapa(entrada.Etapa)) +
         " of MFE_TRANSACAO_CARTOES holds " + std::to_string(*tamanho) + " characters, fewer than the " +
         std::to_string(caracteres) + " of the id \"" + entrada.Id + "\" of row " + std::to_string(entrada.IdInterno) +
         "; it stays in the journal, and the step is not sent again, until the column is widened";
}

}  // namespace pagvigia
