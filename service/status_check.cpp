#include "service/status_check.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "db/fb_connection.h"
#include "db/fb_errors.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "integrador/comando_integrador.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/service_host.h"
#include "reconcile/diario.h"
#include "reconcile/envios_pendentes.h"
#include "reconcile/reconciliacao.h"
#include "service/conexao_banco.h"
#include "service/conselhos.h"
#include "service/ini_file.h"
#include "service/resumo_ciclo.h"
#include "service/service_log.h"
#include "service/service_settings.h"
#include "service/verificacao.h"
#include "util/datetime.h"

namespace pagvigia {
namespace {

// The test file written in the input folder: the Integrador takes only
// ".xml" files there, and the service's own files end in ".tmp" or ".xml".
constexpr const char* kTestFileName = "Pagvigia-verificacao.tst";
constexpr const char* kTestFileRenamed = "Pagvigia-verificacao.ts2";

// Below this much free space a folder the service writes counts as full.
constexpr std::uintmax_t kMinFreeBytes = 1024 * 1024;

constexpr const char* kCreateIndexes =
    "CREATE INDEX MFE_TRANSACAO_CARTOES_IDPAG ON MFE_TRANSACAO_CARTOES (MFE_IDPAGAMENTO); "
    "CREATE INDEX MFE_TRANSACAO_CARTOES_IDRESP ON MFE_TRANSACAO_CARTOES (MFE_IDRESPOSTAFISCAL);";

// Why a file cannot be read ("" when it can; "missing" is told apart).
enum class FileState { Readable, Missing, Unreadable };
FileState ReadState(const std::string& path, std::string& reason) {
  if (!platform::PathExists(path)) return FileState::Missing;
  if (platform::DirectoryExists(path)) {
    reason = "é uma pasta, não um arquivo";
    return FileState::Unreadable;
  }
  try {
    platform::ReadFileBytes(path);
  } catch (const std::exception& e) {
    reason = UmaLinha(e.what());
    return FileState::Unreadable;
  }
  return FileState::Readable;
}

bool IsInteger(const std::string& text) {
  return IniStrToIntDef(text, 0) != 0 || IniStrToIntDef(text, 1) != 1;
}

// The column names a cursor's SQL lists between SELECT and FROM.
std::set<std::string> SelectedColumns(const auto& lines) {
  std::set<std::string> cols;
  for (std::string_view line : lines) {
    if (line.rfind("SELECT ", 0) == 0) line.remove_prefix(7);
    else if (line.rfind("     , ", 0) == 0) line.remove_prefix(7);
    else break;
    const std::size_t comma = line.find(',');
    if (comma != std::string_view::npos) {  // "SELECT CODIGO, CGC FROM PADRAO"
      std::string_view rest = line;
      while (!rest.empty()) {
        const std::size_t c = rest.find(',');
        std::string_view name = rest.substr(0, c);
        if (const std::size_t from = name.find(" FROM "); from != std::string_view::npos) name = name.substr(0, from);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        if (!name.empty()) cols.insert(std::string(name));
        if (c == std::string_view::npos) break;
        rest.remove_prefix(c + 1);
      }
      continue;
    }
    cols.insert(std::string(line));
  }
  return cols;
}

class Checker {
 public:
  Checker(const TStatusCheckOptions& o, std::ostream& out)
      : FOptions(o), FReport(out, *o.Clock), FExeDir(o.ExeDir.empty() ? platform::ExecutableDir() : o.ExeDir) {
    FExeDir = platform::WithTrailingDelim(FExeDir);
  }

  TStatusCheckResult Run() {
    FReport.Ok("Verificação do Pagvigia na pasta " + FExeDir + " (nada é enviado ao Integrador nem gravado no banco)");
    if (platform::kServiceSandbox && !platform::UnderSystemd())
      FReport.Warn("Verificação feita fora do serviço (à mão, ou com runuser): o systemd roda o serviço numa área "
                   "protegida (SrvPagvigia.service.d/sandbox.conf: só /opt/pagvigia e /Integrador graváveis, /tmp e "
                   "/home à parte), então pastas e permissões podem parecer diferentes aqui. Para ver o que o serviço "
                   "vê: systemctl start SrvPagvigia e leia Pagvigia_UltimoCiclo.txt, ou rode a verificação com "
                   "systemd-run --pipe --wait -p User=pagvigia -p ProtectSystem=strict "
                   "-p ReadWritePaths=\"/opt/pagvigia -/Integrador\" -p ProtectHome=yes -p PrivateTmp=yes "
                   "/opt/pagvigia/pagvigia -status");
    CheckServiceSettings();
    CheckGestaloIni();
    CheckCaixa();
    CheckIniEncodings();
    CheckDatabase();
    CheckFolders();
    CheckLog();
    return FReport.result;
  }

 private:
  // "Pagvigia.ini": optional; a value that is not a number keeps its default.
  void CheckServiceSettings() {
    const std::string path = FExeDir + kServiceSettingsName;
    std::string reason;
    switch (ReadState(path, reason)) {
      case FileState::Missing:
        FReport.Ok(std::string(kServiceSettingsName) + " não existe em " + FExeDir + ": valem as configurações padrão");
        break;
      case FileState::Unreadable:
        FReport.Fail(path + " não pode ser lido (" + reason + "); o serviço usa as configurações padrão",
                     "Corrija o arquivo ou suas permissões, ou apague-o para usar os padrões");
        break;
      case FileState::Readable: {
        const TIniFile ini(path);
        const TServiceSettings defaults;
        struct NumberKey {
          const char* section;
          const char* key;
          int defaultValue;
          const char* unit;
        };
        for (const NumberKey& k : {NumberKey{"Integrador", "Timeout", defaults.Timeout, "segundos"},
                                   NumberKey{"Servico", "Intervalo", defaults.Intervalo, "milissegundos"},
                                   NumberKey{"Log", "TamanhoMaximoKB", defaults.LogMaxKB, "kilobytes (0: sem limite)"}}) {
          if (!ini.ValueExists(k.section, k.key)) continue;
          const std::string v = ini.ReadString(k.section, k.key, "");
          if (v.empty()) continue;
          const bool zeroAllowed = std::string_view(k.key) == "TamanhoMaximoKB";
          if (!IsInteger(v) || IniStrToIntDef(v, 0) < (zeroAllowed ? 0 : 1))
            FReport.Fail(std::string(kServiceSettingsName) + ": [" + k.section + "] " + k.key + "=" + v +
                             " não é um número inteiro válido; o serviço usa " + std::to_string(k.defaultValue),
                         std::string("Escreva um número de ") + k.unit + ", sem unidade");
        }
        for (const char* key : {"PastaInput", "PastaOutput"}) {
          const std::string v = ini.ReadString("Integrador", key, "");
          if (!v.empty() && !platform::IsAbsolutePath(v))
            FReport.Warn(std::string(kServiceSettingsName) + ": [Integrador] " + key + "=" + v +
                         " não é um caminho absoluto; ele vale a partir da pasta em que o serviço é iniciado");
        }
        break;
      }
    }
    FSettings = TServiceSettings::Load(path);
    if (FSettings.Intervalo < 1000)
      FReport.Warn(std::string(kServiceSettingsName) + ": [Servico] Intervalo=" + std::to_string(FSettings.Intervalo) +
                   " é menos de um segundo entre ciclos; o valor é em milissegundos (60000 é um minuto)");
    FReport.Ok("Configuração em vigor: PastaInput=" + FSettings.PastaInput + ", PastaOutput=" + FSettings.PastaOutput +
               ", Timeout=" + std::to_string(FSettings.Timeout) + " s, Intervalo=" + std::to_string(FSettings.Intervalo) +
               " ms, pasta do ConfCaixa.ini=" + FSettings.PastaCaixa + ", logs até " +
               (FSettings.LogMaxKB > 0 ? std::to_string(FSettings.LogMaxKB) + " KB (depois, .1)" : "sem limite"));
  }

  void CheckGestaloIni() {
    const std::string path = FExeDir + kGestaloIniName;
    std::string reason;
    switch (ReadState(path, reason)) {
      case FileState::Missing:
        FReport.Warn(std::string(kGestaloIniName) + " não existe em " + FExeDir +
                     ": o serviço usa Servidor=localhost e Caminho=" + FExeDir + "GESTALO.FDB");
        break;
      case FileState::Unreadable:
        FReport.Fail(path + " não pode ser lido (" + reason + "); o serviço usa Servidor=localhost e Caminho=" +
                         FExeDir + "GESTALO.FDB",
                     "Corrija o arquivo ou suas permissões");
        break;
      case FileState::Readable: break;
    }
    FGestalo = LerGestaloIni(FExeDir);
    FDb = std::make_shared<TBancoLeitura>();
    PrepararLogin(FDb->conn, FGestalo);
    FReport.Ok("Banco de dados: Servidor=" + FGestalo.Servidor + ", Caminho=" + FGestalo.Caminho + " (cadeia " +
               FDb->conn.DatabaseString() + "), usuário " + kUsuarioBanco);
  }

  // How each settings file that exists was read: a plain editor saves
  // Windows-1252 or UTF-8 without a mark, and a name read the wrong way
  // would not be found.
  void CheckIniEncodings() {
    std::string line;
    for (const std::string& path : {FExeDir + kServiceSettingsName, FExeDir + kGestaloIniName,
                                    FSettings.PastaCaixa + "ConfCaixa.ini"}) {
      if (!platform::FileExists(path)) continue;
      line += (line.empty() ? "" : ", ") + platform::ExtractFileName(path) + " (" +
              platform::EncodingName(TIniFile(path).Encoding()) + ")";
    }
    if (!line.empty()) FReport.Ok("Arquivos INI lidos como: " + line);
  }

  void CheckCaixa() {
    const std::string path = FSettings.PastaCaixa + "ConfCaixa.ini";
    std::string reason;
    const char* todo = kConselhoConfCaixa;
    switch (ReadState(path, reason)) {
      case FileState::Missing:
        FReport.Fail(path + " não existe: o serviço usa o caixa 0", todo);
        return;
      case FileState::Unreadable:
        FReport.Fail(path + " não pode ser lido (" + reason + "); o serviço usa o caixa 0",
                     "Corrija o arquivo ou suas permissões");
        return;
      case FileState::Readable: break;
    }
    const TIniFile ini(path);
    if (!ini.ValueExists("Caixa", "IdCaixa")) {
      FReport.Fail(path + " não tem a chave IdCaixa na seção [Caixa]: o serviço usa o caixa 0", todo);
      return;
    }
    const std::string v = ini.ReadString("Caixa", "IdCaixa", "");
    FCaixa = ini.ReadInteger("Caixa", "IdCaixa", 0);
    if (!IsInteger(v)) {
      FReport.Fail(path + ": IdCaixa=" + v + " não é um número; o serviço usa o caixa 0",
                   "Escreva o número deste caixa, como no cadastro de caixas do Gestalo");
      return;
    }
    FReport.Ok("Caixa " + std::to_string(FCaixa) + " (IdCaixa de " + path + ")");
  }

  void CheckDatabase() {
    if (!ConectarLeitura(FReport, FDb, FGestalo, FOptions.ConnectTimeoutSec)) return;
    try {
      CheckTables();
      CheckStatements();
      CheckMSAut();
      CheckPadrao();
      CheckCharSets();
      CheckPending();
      CheckEnviosCompartilhados();
      CheckPlan();
    } catch (const std::exception& e) {
      FReport.Fail("O banco deixou de responder durante a verificação: " + TextoErroBanco(e),
                   "Repita a verificação; se persistir, veja o servidor Firebird");
    }
    try {
      FDb->conn.Disconnect();
    } catch (const std::exception&) {
      // Read-only work only: nothing to keep.
    }
  }

  // Runs a read-only query and gives each row to `row`.
  template <typename F>
  void Query(const std::vector<std::string>& lines, F&& row) {
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, lines);
    q.Open();
    for (q.First(); !q.Eof(); q.Next()) row(q);
    q.Close();
  }

  void CheckTables() {
    struct Table {
      const char* name;
      std::set<std::string> cols;
    };
    std::set<std::string> posCols{"CODIGO", "MFE_SERIALPOS", "MFE_CHAVEREQUISICAO", "CODIGOESTABELECIMENTO"};
    const std::vector<Table> tables{{"MFE_TRANSACAO_CARTOES", SelectedColumns(kSqlEnviaMFEPendentes)},
                                    {"MFE_CADASTRO_POS", posCols},
                                    {"MSAUT", SelectedColumns(kSqlMSAut)},
                                    {"PADRAO", SelectedColumns(kSqlPadrao)}};
    std::map<std::string, std::set<std::string>> present;
    Query({"SELECT TRIM(RDB$RELATION_NAME) AS TABELA, TRIM(RDB$FIELD_NAME) AS COLUNA FROM RDB$RELATION_FIELDS",
           "WHERE RDB$RELATION_NAME IN ('MFE_TRANSACAO_CARTOES', 'MFE_CADASTRO_POS', 'MSAUT', 'PADRAO')"},
          [&](TFbQuery& q) { present[q.FieldByName("TABELA").AsString()].insert(q.FieldByName("COLUNA").AsString()); });
    for (const Table& t : tables) {
      const auto it = present.find(t.name);
      if (it == present.end()) {
        FTablesOk = false;
        FReport.Fail(std::string("A tabela ") + t.name + " não existe no banco " + FGestalo.Caminho,
                     "Confira se Caminho no Gestalo.ini aponta para o banco do Gestalo, atualizado");
        continue;
      }
      std::string missing;
      for (const std::string& c : t.cols)
        if (!it->second.count(c)) missing += (missing.empty() ? "" : ", ") + c;
      if (!missing.empty()) {
        FTablesOk = false;
        FReport.Fail(std::string("A tabela ") + t.name + " não tem as colunas " + missing,
                     "Atualize o banco do Gestalo para a versão que tem essas colunas");
      } else {
        FReport.Ok(std::string("Tabela ") + t.name + ": as " + std::to_string(t.cols.size()) +
                   " colunas usadas existem");
      }
    }
  }

  // Prepares every statement the service runs (updates are prepared, never
  // executed).
  void CheckStatements() {
    if (!FTablesOk) return;
    const auto lines = [](const auto& arr) { return std::vector<std::string>(arr.begin(), arr.end()); };
    const std::vector<std::pair<std::string, std::vector<std::string>>> statements{
        {"TBEnviaMFEPendentes", SqlChavesPendentes()},
        {"TBTransacaoPendente", SqlTransacaoPendente()},
        {"TBPadrao", lines(kSqlPadrao)},
        {"TBMSAut", lines(kSqlMSAut)},
        {"QExec (POS pelo número de série)", SqlPOSPorSerial("0")},
        {"QExec (POS pelo código)", SqlPOSPorCodigo(0)},
        {"QExec (id do pagamento)", SqlAtualizaPagamento()},
        {"QExec (id do status)", SqlAtualizaStatusValidador()},
        {"QExec (releitura da linha)", SqlRelerTransacao("0")},
        {"QExec (id da resposta fiscal)", SqlAtualizaRespostaFiscal()},
    };
    int failed = 0;
    for (const auto& [name, sql] : statements) {
      TFbQuery q(&FDb->conn);
      DefinirSQL(q, sql);
      try {
        q.Prepare();
      } catch (const EFbISCError& e) {
        ++failed;
        FReport.Fail("O servidor recusou a consulta " + name + ": " + TextoErroBanco(e),
                     "Atualize o banco do Gestalo ou dê ao usuário " + std::string(kUsuarioBanco) +
                         " acesso às tabelas");
      }
    }
    if (failed == 0)
      FReport.Ok("As " + std::to_string(statements.size()) +
                 " consultas do serviço são aceitas pelo servidor (TBEnviaMFEPendentes, TBTransacaoPendente, TBPadrao, "
                 "TBMSAut e as de "
                 "QExec)");
  }

  void CheckMSAut() {
    if (!FTablesOk) return;
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, kSqlMSAut);
    try {
      q.Prepare();
      q.ParamByName("CAIXA").SetAsInteger(FCaixa);
      q.Open();
    } catch (const EFbISCError& e) {
      FReport.Fail("A leitura de MSAUT falhou: " + TextoErroBanco(e),
                   "Dê ao usuário " + std::string(kUsuarioBanco) + " permissão de leitura em MSAUT");
      return;
    }
    const std::string caixa = std::to_string(FCaixa);
    if (q.IsEmpty()) {
      FReport.Fail("MSAUT não tem linha para o caixa " + caixa, ConselhoMSAut(FCaixa));
    } else if (UmaLinha(q.FieldByName("MFE_CHAVEACESSOINTEGRADOR").AsString()).empty()) {
      FReport.Fail("MSAUT do caixa " + caixa + " tem MFE_CHAVEACESSOINTEGRADOR vazio: o Integrador recusa os pedidos",
                   "Informe a chave de acesso do Integrador no cadastro do caixa " + caixa + " no Gestalo");
    } else {
      FReport.Ok("MSAUT do caixa " + caixa + ": chave de acesso do Integrador preenchida");
    }
    q.Close();
  }

  void CheckPadrao() {
    if (!FTablesOk) return;
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, kSqlPadrao);
    try {
      q.Open();
    } catch (const EFbISCError& e) {
      FReport.Fail("A leitura de PADRAO falhou: " + TextoErroBanco(e),
                   "Dê ao usuário " + std::string(kUsuarioBanco) + " permissão de leitura em PADRAO");
      return;
    }
    if (q.IsEmpty()) {
      FReport.Fail("PADRAO não tem nenhuma linha: os pedidos vão sem o CNPJ da empresa",
                   "Cadastre os dados da empresa no Gestalo");
    } else {
      FReport.Ok("PADRAO: empresa de CNPJ " + TReconciliacao::ExtraiNumero(q.FieldByName("CGC").AsString()));
    }
    q.Close();
  }

  void CheckCharSets() {
    std::string database;
    Query({"SELECT TRIM(COALESCE(RDB$CHARACTER_SET_NAME, 'NONE')) AS CS FROM RDB$DATABASE"},
          [&](TFbQuery& q) { database = q.FieldByName("CS").AsString(); });
    const std::string connection = FDb->conn.CharSet();
    FReport.Ok("Conjunto de caracteres do banco: " + database);
    const std::string line = "Conjunto de caracteres da conexão: " + connection;
    if (database == connection)
      FReport.Ok(line);
    else if (database == "NONE")
      FReport.Ok(line + " (textos sem conjunto de caracteres lidos como Windows-1252)");
    else
      FReport.Warn(line + " (o servidor converte os textos do banco para este)");
  }

  void CheckPending() {
    if (!FTablesOk) return;
    // The pending selection without its cash-register condition, by register.
    struct Group {
      std::int64_t rows = 0;
      std::int64_t old = 0;
      std::string oldest;
      bool registered = false;
    };
    std::map<std::int64_t, Group> groups;
    Query({"SELECT T.CAIXA, COUNT(*) AS LINHAS,",
           "  SUM(IIF(T.MFE_DATAVENDA < CURRENT_DATE - 4, 1, 0)) AS ANTIGAS,",
           "  CAST(MIN(T.MFE_DATAVENDA) AS VARCHAR(10)) AS MAIS_ANTIGA,",
           "  MAX(IIF(EXISTS(SELECT 1 FROM MSAUT M WHERE M.CAIXA = T.CAIXA), 1, 0)) AS CADASTRADO",
           "FROM MFE_TRANSACAO_CARTOES T",
           "WHERE ((T.MFE_IDPAGAMENTO = '0') OR (T.MFE_IDRESPOSTAFISCAL = '0'))",
           "AND (COALESCE(T.MFE_NUMCUPOM, '') <> '')", "AND (COALESCE(T.MFE_XMLSAT, '') <> '')",
           "AND (COALESCE(T.MFE_CHAVESAT, '') <> '')", "GROUP BY T.CAIXA"},
          [&](TFbQuery& q) {
            Group& g = groups[q.FieldByName("CAIXA").IsNull() ? -1 : q.FieldByName("CAIXA").AsInt64()];
            g.rows = q.FieldByName("LINHAS").AsInt64();
            g.old = q.FieldByName("ANTIGAS").AsInt64();
            g.oldest = q.FieldByName("MAIS_ANTIGA").AsString();
            g.registered = q.FieldByName("CADASTRADO").AsInteger() != 0;
          });
    const std::string caixa = std::to_string(FCaixa);
    if (const auto it = groups.find(FCaixa); it == groups.end()) {
      FReport.Ok("Nenhuma linha pendente do caixa " + caixa);
    } else {
      const std::string line = Plural(it->second.rows, "linha pendente", "linhas pendentes") + " do caixa " + caixa +
                               ", venda mais antiga em " + DateBr(it->second.oldest);
      if (it->second.old > 0)
        FReport.Warn(line + ": " + Plural(it->second.old, "linha", "linhas") +
                     " de mais de 4 dias; veja em Pagvigia.log por que não são concluídas");
      else
        FReport.Ok(line);
    }
    std::int64_t others = 0, othersOld = 0, orphans = 0;
    std::string oldest, detail;
    for (const auto& [c, g] : groups) {
      if (c == FCaixa) continue;
      others += g.rows;
      othersOld += g.old;
      if (!g.registered) orphans += g.rows;
      if (oldest.empty() || (!g.oldest.empty() && g.oldest < oldest)) oldest = g.oldest;
      detail += (detail.empty() ? "" : ", ") + std::string("caixa ") + (c < 0 ? "nulo" : std::to_string(c)) + ": " +
                std::to_string(g.rows) + (g.registered ? "" : " sem cadastro em MSAUT");
    }
    if (others == 0) {
      FReport.Ok("Nenhuma linha pendente de outros caixas");
    } else {
      const std::string line = Plural(others, "linha pendente", "linhas pendentes") + " de outros caixas (" + detail +
                               "), venda mais antiga em " + DateBr(oldest) + "; este caixa as envia quando a venda " +
                               "tem mais de 4 dias (" + std::to_string(othersOld) + (othersOld == 1 ? " já está" : " já estão") +
                               " assim)";
      if (orphans > 0)
        FReport.Warn(line + "; " + Plural(orphans, "linha órfã", "linhas órfãs") +
                     " de caixa sem cadastro em MSAUT");
      else
        FReport.Ok(line);
    }
  }

  // The shop's table of unfinished sends: what it protects against when it
  // is missing, and the rows it holds back.
  void CheckEnviosCompartilhados() {
    bool existe = false;
    Query(SqlExisteTabelaEnvios(), [&](TFbQuery& q) { existe = q.FieldByName("N").AsInteger() > 0; });
    if (!existe) {
      FReport.Ok(std::string("Tabela ") + kTabelaEnvios + " não existe: com ela, um caixa que cair depois de o " +
                 "Integrador aceitar um pagamento e antes de gravá-lo impede que outro caixa pague de novo a mesma " +
                 "linha; para criá-la, rode pagvigia_envios.sql (na pasta de exemplos do Pagvigia) com isql como " +
                 "dono do banco");
      return;
    }
    std::string linhas;
    int n = 0;
    Query(SqlTodosEnvios(), [&](TFbQuery& q) {
      ++n;
      linhas += (linhas.empty() ? "" : ", ") + std::string("linha ") +
                q.FieldByName("MFE_IDENTIFICADORINTERNO").AsString() + " " + q.FieldByName("ETAPA").AsString() +
                " pelo caixa " + q.FieldByName("IDCAIXA").AsString() + " (sessão " + q.FieldByName("SESSAO").AsString() +
                ", desde " + q.FieldByName("DESDE").AsString() + ")";
    });
    if (n == 0) {
      FReport.Ok(std::string("Tabela ") + kTabelaEnvios + ": nenhum envio sem resposta em nenhum caixa");
      return;
    }
    FReport.Warn(std::string("Tabela ") + kTabelaEnvios + ": " + Plural(n, "envio", "envios") +
                 " sem resposta (" + linhas + "); nenhum caixa envia essas linhas até o caixa que as enviou " +
                 "saber o que houve; se esse caixa não voltar a funcionar, confira no Integrador dele e grave o id " +
                 "na linha à mão antes de apagar a linha da tabela");
  }

  void CheckPlan() {
    if (!FTablesOk) return;
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, SqlChavesPendentes());
    const std::string plan = UmaLinha(q.Plan());
    // Without an index that filters, the server walks every row: in storage
    // order (NATURAL) or in key order (ORDER without INDEX).
    const bool natural = plan.find("MFE_TRANSACAO_CARTOES NATURAL") != std::string::npos;
    if (natural || plan.find("INDEX (") == std::string::npos) {
      FReport.Warn("Plano da consulta de pendentes: " + plan + ": ela lê MFE_TRANSACAO_CARTOES inteira" +
                   (natural ? " (NATURAL)" : " pela ordem da chave") +
                   " a cada ciclo, o que fica lento com muitas linhas. Crie os dois índices: " + kCreateIndexes);
    } else {
      FReport.Ok("Plano da consulta de pendentes: " + plan);
    }
  }

  void CheckFolders() {
    CheckPlace("Pasta de entrada do Integrador", FSettings.PastaInput, "PastaInput", kServiceSettingsName);
    CheckPlace("Pasta de saída do Integrador", FSettings.PastaOutput, "PastaOutput", kServiceSettingsName);
    // The database file is opened by the server; one on this computer sees
    // the same drive letters as the service.
    if (FGestalo.Servidor.empty() || FGestalo.Servidor == "localhost" || FGestalo.Servidor == "127.0.0.1")
      CheckPlace("Banco de dados", FGestalo.Caminho, "Caminho", kGestaloIniName);
    CheckInputFolder();
    CheckOutputFolder();
    CheckFreeSpace("Pasta dos logs", FExeDir);
  }

  // The service runs under the system's account, not the person's who runs
  // this check: a mapped drive letter is not there for it, and a share is
  // reached with the computer's own account on the network.
  void CheckPlace(const std::string& what, const std::string& path, const char* key, const char* file) {
    switch (platform::PlaceOfPath(path)) {
      case platform::PathPlace::Local: return;
      case platform::PathPlace::MappedDrive:
        FReport.Fail(what + " " + path + " está numa unidade de rede mapeada (" + path.substr(0, 2) +
                         "), que só existe na sessão de quem a mapeou: o serviço (conta do sistema) não a vê",
                     std::string("Escreva o caminho da rede (\\\\servidor\\pasta\\...) em ") + key + " no " + file +
                         " e dê acesso a ele à conta deste computador");
        return;
      case platform::PathPlace::NetworkShare:
        FReport.Warn(what + " " + path + " é uma pasta da rede: o serviço (conta do sistema) a acessa com a conta "
                     "deste computador na rede, não com a do usuário; o compartilhamento e a pasta devem dar acesso "
                     "a ela");
        return;
    }
  }

  bool CheckIsFolder(const std::string& what, const std::string& folder, const char* key) {
    const std::string todo = std::string("Crie a pasta ou corrija ") + key + " no " + kServiceSettingsName;
    // Without the trailing delimiter, so that a file of that name is seen.
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == platform::kPathDelim) bare.pop_back();
    if (!platform::PathExists(bare)) {
      FReport.Fail(what + " " + folder + " não existe", todo);
      return false;
    }
    if (!platform::DirectoryExists(bare)) {
      FReport.Fail(what + " " + folder + " não é uma pasta (é um arquivo)", todo);
      return false;
    }
    return true;
  }

  void CheckInputFolder() {
    const std::string folder = FSettings.PastaInput;
    const std::string what = "Pasta de entrada do Integrador";
    if (!CheckIsFolder(what, folder, "PastaInput")) return;
    const std::string a = folder + kTestFileName, b = folder + kTestFileRenamed;
    platform::DeleteFile(a);
    platform::DeleteFile(b);
    std::string step;
    try {
      step = "criar";
      platform::WriteFileBytes(a, "Pagvigia");
      step = "renomear";
      int err = 0;
      if (!platform::RenameNoReplace(a, b, &err))
        throw std::runtime_error(std::error_code(err, std::generic_category()).message());
      step = "apagar";
      if (!platform::DeleteFile(b)) throw std::runtime_error("o arquivo continua lá");
      FReport.Ok(what + " " + folder + ": existe e aceita criar, renomear e apagar arquivos");
    } catch (const std::exception& e) {
      platform::DeleteFile(a);
      platform::DeleteFile(b);
      FReport.Fail(what + " " + folder + ": não foi possível " + step + " um arquivo (" + UmaLinha(e.what()) + ")",
                   "Dê ao usuário do serviço permissão de escrita nessa pasta e veja se o disco não está cheio");
    }
    CheckFreeSpace(what, folder);
    CheckStaleCommands(folder);
  }

  // Seconds since the file was last written (0 when it cannot be told).
  static std::int64_t AgeSec(const std::string& path) {
    const platform::FileStamp s = platform::StatFile(path);
    if (!s.exists) return 0;
    const std::int64_t nowNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    return (nowNs - s.mtimeNs) / 1000000000;
  }

  // The names in the folder that match the mask.
  static std::vector<std::string> Files(const std::string& folder, const char* mask) {
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != platform::kPathDelim && prefix.back() != '/') prefix += platform::kPathDelim;
    return platform::ListFolder(prefix + mask);
  }

  void CheckStaleCommands(const std::string& folder) {
    int stale = 0;
    std::string oldestName;
    std::int64_t age = 0;
    for (const char* mask : {"*.xml", "*.tmp"}) {
      for (const std::string& name : Files(folder, mask)) {
        const std::int64_t a = AgeSec(folder + platform::kPathDelim + name);
        if (a < FSettings.Timeout) continue;
        ++stale;
        if (a > age) {
          age = a;
          oldestName = name;
        }
      }
    }
    if (stale == 0) {
      FReport.Ok("Nenhum arquivo de comando parado na pasta de entrada há mais de " +
                 std::to_string(FSettings.Timeout) + " s");
      return;
    }
    FReport.Fail(Plural(stale, "arquivo de comando parado", "arquivos de comando parados") +
                     " na pasta de entrada há mais de " + std::to_string(FSettings.Timeout) + " s (o mais antigo, " +
                     oldestName + ", há " + std::to_string(age) + " s): o Integrador não os está lendo",
                 kConselhoSemResposta);
  }

  void CheckOutputFolder() {
    const std::string folder = FSettings.PastaOutput;
    const std::string what = "Pasta de saída do Integrador";
    if (!CheckIsFolder(what, folder, "PastaOutput")) return;
    if (!platform::FolderListable(folder)) {
      FReport.Fail(what + " " + folder + " não pode ser lida",
                   "Dê ao usuário do serviço permissão de leitura nessa pasta");
      return;
    }
    const int answers = static_cast<int>(Files(folder, "*.xml").size());
    FReport.Ok(what + " " + folder + ": existe e pode ser lida (" +
               Plural(answers, "resposta .xml", "respostas .xml") + ")");
  }

  void CheckFreeSpace(const std::string& what, const std::string& folder) {
    const std::optional<std::uint64_t> livres = platform::FreeBytes(folder);
    if (livres && *livres < kMinFreeBytes)
      FReport.Fail(what + " " + folder + ": disco cheio (" + std::to_string(*livres / 1024) + " KB livres)",
                   "Libere espaço nesse disco");
  }

  // The state file the service replaces after every cycle.
  void CheckLastCycle() {
    const std::string path = FExeDir + kResumoCicloName;
    std::string reason;
    switch (ReadState(path, reason)) {
      case FileState::Missing:
        FReport.Ok(std::string("Nenhum ciclo registrado em ") + path + " (o primeiro vem " +
                   std::to_string(FSettings.Intervalo / 1000) + " s depois que o serviço começa)");
        return;
      case FileState::Unreadable:
        FReport.Fail(path + " não pode ser lido (" + reason + ")", "Corrija as permissões do arquivo");
        return;
      case FileState::Readable: break;
    }
    std::vector<std::string> lines;
    try {
      lines = platform::ReadTextLines(path);
    } catch (const std::exception&) {
    }
    const std::string text = lines.empty() ? "" : lines.front();
    const std::int64_t age = AgeSec(path);
    // A cycle every interval, each at most a few Integrador waits long.
    const std::int64_t limit = 3 * static_cast<std::int64_t>(FSettings.Intervalo) / 1000 + 600;
    const std::string parado =
        age > limit ? " (há " + std::to_string(age / 60) + " min: o serviço parece parado; veja se ele está rodando)"
                           : "";
    switch (GravidadeResumo(text)) {
      case TGravidadeResumo::Falha:
        FReport.Fail(text + parado, "Veja em " + std::string(kServiceLogName) +
                                        " (abaixo) a linha do ciclo e o que fazer, e as verificações acima");
        return;
      case TGravidadeResumo::Aviso: {
        const std::string falha = UltimaFalhaDeLinha();
        FReport.Warn(text + parado + "; " +
                     (falha.find(kSemRespostaIntegrador) != std::string::npos
                          ? std::string(kConselhoSemResposta) + " (" + FSettings.PastaInput + ")"
                          : "veja em " + std::string(kServiceLogName) + " (abaixo) a linha de cada falha e o que fazer"));
        return;
      }
      case TGravidadeResumo::Ok: break;
    }
    if (!parado.empty())
      FReport.Warn(text + parado);
    else
      FReport.Ok(text);
  }

  // The last row failure "Pagvigia.log" holds ("" when none, or unreadable).
  std::string UltimaFalhaDeLinha() {
    std::vector<std::string> lines;
    try {
      lines = platform::ReadTextLines(FExeDir + kServiceLogName);
    } catch (const std::exception&) {
    }
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
      if (it->find(" - Envios Pendentes: ") != std::string::npos) return *it;
    return "";
  }

  // The journal of ids the Integrador gave that are not in their rows yet:
  // entries wait for the next cycle that connects; an unreadable journal
  // holds every row back.
  void CheckDiario() {
    TDiario diario(FExeDir + TDiario::kNomeArquivo);
    try {
      diario.Carregar();
    } catch (const EDiarioIlegivel& e) {
      FReport.Fail(UmaLinha(e.what()) + "; enquanto isso nenhuma linha é enviada ao Integrador",
                   "Corrija as permissões do arquivo; se ele estiver danificado, veja o arquivo (cada entrada "
                   "nomeia uma linha, uma coluna e um id), grave esses ids nas linhas à mão e depois apague-o");
      return;
    }
    std::vector<TEntradaDiario> entradas;
    std::vector<TEntradaDiario> envios;
    for (const TEntradaDiario& e : diario.Entradas()) (e.Enviando ? envios : entradas).push_back(e);
    CheckEnviosPendentes(envios);
    if (entradas.empty()) {
      FReport.Ok(std::string("Diário ") + TDiario::kNomeArquivo + ": nenhum id aguarda gravação no banco");
      return;
    }
    std::string linhas;
    for (const TEntradaDiario& e : entradas)
      linhas += (linhas.empty() ? "" : ", ") + std::to_string(e.IdInterno) + " " + std::string(ColunaDaEtapa(e.Etapa)) +
                "=" + e.Id;
    FReport.Warn(std::string("Diário ") + TDiario::kNomeArquivo + ": " + std::to_string(entradas.size()) +
                 (entradas.size() == 1 ? " id aguarda" : " ids aguardam") + " gravação no banco (" + linhas +
                 "); o serviço os grava no próximo ciclo em que se conectar, sem reenviá-los");
  }

  // Sends whose answer was never taken: each one's row is held until the
  // service learns what became of it (its answer, or word from the
  // Integrador); one held for more than an hour needs someone to look.
  void CheckEnviosPendentes(const std::vector<TEntradaDiario>& envios) {
    if (envios.empty()) return;
    const platform::DateTime agora = FClock().LocalNow();
    const TDateTime agoraDt = EncodeDateTime(agora.year, agora.month, agora.day, agora.hour, agora.minute, agora.second);
    bool antigo = false;
    std::string linhas;
    for (const TEntradaDiario& e : envios) {
      const std::string& d = e.Desde;  // YYYYMMDDHHMMSS
      auto n = [&](std::size_t p, std::size_t len) { return std::stoi(d.substr(p, len)); };
      TDateTime desde{};
      const std::string quando = MomentoDoDiario(d);
      try {
        desde = EncodeDateTime(n(0, 4), n(4, 2), n(6, 2), n(8, 2), n(10, 2), n(12, 2));
        antigo = antigo || (agoraDt.value - desde.value) * 24.0 > 1.0;
      } catch (const std::exception&) {
        antigo = true;
      }
      linhas += (linhas.empty() ? "" : ", ") + std::string("linha ") + std::to_string(e.IdInterno) + " " +
                std::string(ColunaDaEtapa(e.Etapa)) + " sessão " + std::to_string(e.Sessao) + " desde " + quando;
    }
    const std::string texto = std::string("Diário ") + TDiario::kNomeArquivo + ": " + std::to_string(envios.size()) +
                              (envios.size() == 1 ? " envio aguarda" : " envios aguardam") +
                              " a resposta do Integrador (" + linhas +
                              "); nada é enviado para essas linhas até o serviço saber o que houve com cada sessão";
    if (antigo)
      FReport.Fail(texto + ", há mais de uma hora",
                   "Verifique se o Integrador está em execução e lê PastaInput, se a resposta da sessão está em "
                   "PastaOutput e veja no Pagvigia.log a linha \"Envios Pendentes: unfinished send\" de cada uma");
    else
      FReport.Warn(texto);
  }

  platform::Clock& FClock() { return *FOptions.Clock; }

  void CheckLog() {
    CheckDiario();
    CheckLastCycle();
    const std::string path = FExeDir + kServiceLogName;
    std::string reason;
    switch (ReadState(path, reason)) {
      case FileState::Missing:
        FReport.Ok(std::string(kServiceLogName) + " não existe em " + FExeDir +
                   ": nenhum evento desde que o serviço começou");
        return;
      case FileState::Unreadable:
        FReport.Fail(path + " não pode ser lido (" + reason + ")", "Corrija as permissões do arquivo");
        return;
      case FileState::Readable: break;
    }
    std::vector<std::string> lines;
    try {
      lines = platform::ReadTextLines(path);
    } catch (const std::exception& e) {
      FReport.Fail(path + " não pode ser lido (" + UmaLinha(e.what()) + ")", "Corrija as permissões do arquivo");
      return;
    }
    const std::size_t n = std::min(lines.size(), static_cast<std::size_t>(std::max(FOptions.LogLines, 0)));
    FReport.Ok(std::string("Últimas ") + std::to_string(n) + " de " + std::to_string(lines.size()) + " linhas de " +
               path + ":");
    for (std::size_t i = lines.size() - n; i < lines.size(); ++i) FReport.Text(lines[i]);
  }

  const TStatusCheckOptions& FOptions;
  TRelatorio FReport;
  std::string FExeDir;
  TServiceSettings FSettings;
  TGestaloIni FGestalo;
  int FCaixa = 0;
  std::shared_ptr<TBancoLeitura> FDb;
  bool FTablesOk = true;
};

}  // namespace

TStatusCheckResult RunStatusCheck(const TStatusCheckOptions& options, std::ostream& out) {
  return Checker(options, out).Run();
}

}  // namespace pagvigia
