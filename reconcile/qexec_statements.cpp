// The reconciliation's statements run through the scratch query QExec: its
// SQL replaced before every use, a look-up opened as a cursor, an update
// prepared, given its parameters and executed inside the step's claim, whose
// commit commits it.
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "reconcile/reconcile_statements.h"
#include "reconcile/sql.h"

namespace pagvigia {

namespace {

void Abrir(TFbQuery& QExec, const std::vector<std::string>& linhas) {
  QExec.SQL().Clear();
  for (const auto& l : linhas) QExec.SQL().Add(l);
  QExec.Open();
}

std::string Texto(TFbQuery& q, const char* campo) { return q.FieldByName(campo).AsString(); }

// A parameter of an update and the column it writes.
struct TParametroColuna {
  const char* Parametro;
  const char* Coluna;
};

// One of the three updates: an id and an answer XML for the row `idInterno`.
// An id that does not fit its column raises instead of being stored cut: a
// cut id would mark the step done with a wrong id. A parameter whose column
// is in `octetos` goes as UTF-8 octets.
bool Atualizar(TFbQuery& QExec, const std::vector<std::string>& linhas, const TColunasOctetos& octetos,
               TParametroColuna paramId, const std::string& id, TParametroColuna paramXml, const std::string& xml,
               std::int64_t idInterno) {
  QExec.SQL().Clear();
  for (const auto& l : linhas) QExec.SQL().Add(l);
  for (const TParametroColuna& p : {paramId, paramXml}) {
    const auto it = octetos.find(p.Coluna);
    if (it != octetos.end()) QExec.SetParametroOctetos(p.Parametro, it->second);
  }
  QExec.Prepare();
  TFbRow& params = QExec.Params();
  params.BeginUpdate();
  TFbColumn& pid = params.ParamByName(paramId.Parametro);
  pid.NoLengthCheck = false;
  pid.SetAsString(id);
  params.ParamByName(paramXml.Parametro).SetAsString(xml);
  params.ParamByName("INDENTIFICADORINTERNO").SetAsInt64(idInterno);
  params.EndUpdate(true);
  QExec.ExecSQL();
  // Read after the run: the server's own refusals are substituted then.
  return pid.Substituido() || params.ParamByName(paramXml.Parametro).Substituido();
}

}  // namespace

TQExecStatements::TQExecStatements(TFbQuery& QExec)
    : FQExec(QExec),
      FQReserva(std::make_unique<TFbQuery>(QExec.FbConnection(), QExec.EffectiveTransaction(), "QReserva")),
      FReserva(*QExec.EffectiveTransaction(), *FQReserva),
      FTrEnvios(std::make_unique<TFbTransaction>(QExec.FbConnection(), "TrEnvios")),
      FQEnvios(std::make_unique<TFbQuery>(QExec.FbConnection(), FTrEnvios.get(), "QEnvios")) {
  FTrEnvios->ReadOnly = false;
  FTrEnvios->Isolation = tiCommitted;
  FTrEnvios->LockWait = false;
}

bool TQExecStatements::TabelaEnvios() {
  Abrir(FQExec, SqlExisteTabelaEnvios());
  const bool existe = !FQExec.Eof() && FQExec.FieldByName("N").AsInteger() > 0;
  FQExec.Close();
  return existe;
}

template <class F>
void TQExecStatements::ExecutarProprio(const std::vector<std::string>& linhas, F&& definir) {
  try {
    if (!FTrEnvios->Started()) FTrEnvios->StartTransaction();
    FQEnvios->SQL().Clear();
    for (const auto& l : linhas) FQEnvios->SQL().Add(l);
    FQEnvios->Prepare();
    definir(*FQEnvios);
    FQEnvios->ExecSQL();
    FTrEnvios->Commit();
  } catch (...) {
    try {
      if (FTrEnvios->Started()) FTrEnvios->Rollback();
    } catch (...) {
    }
    throw;
  }
}

void TQExecStatements::InserirEnvio(std::int32_t caixa, std::int64_t idInterno, TEtapa etapa, std::int32_t sessao) {
  ExecutarProprio(SqlInserirEnvio(), [&](TFbQuery& q) {
    q.ParamByName("IDCAIXA").SetAsInteger(caixa);
    q.ParamByName("IDINTERNO").SetAsInt64(idInterno);
    q.ParamByName("ETAPA").SetAsString(std::string(ColunaDaEtapa(etapa)));
    q.ParamByName("SESSAO").SetAsInteger(sessao);
  });
}

void TQExecStatements::ApagarEnvio(std::int64_t idInterno, TEtapa etapa) {
  const auto definir = [&](TFbQuery& q) {
    q.ParamByName("IDINTERNO").SetAsInt64(idInterno);
    q.ParamByName("ETAPA").SetAsString(std::string(ColunaDaEtapa(etapa)));
  };
  if (!FReserva.Ativa()) {
    ExecutarProprio(SqlApagarEnvio(), definir);
    return;
  }
  FQExec.SQL().Clear();
  for (const auto& l : SqlApagarEnvio()) FQExec.SQL().Add(l);
  FQExec.Prepare();
  definir(FQExec);
  FQExec.ExecSQL();
}

std::vector<TEnvioListado> TQExecStatements::EnviosDaLinha(std::int64_t idInterno) {
  return LerEnviosDaLinha(FQExec, idInterno);
}

TQExecStatements::~TQExecStatements() = default;

TResultadoReserva TQExecStatements::Reservar(std::int64_t idInterno, TIdsLinha& ids) {
  return FReserva.Reservar(idInterno, ids);
}

void TQExecStatements::Confirmar() { FReserva.Confirmar(); }

void TQExecStatements::Liberar() noexcept { FReserva.Liberar(); }

TTamanhosColunasId TQExecStatements::TamanhosColunasId() { return LerTamanhosColunasId(FQExec, &FOctetos); }

std::int32_t TQExecStatements::CodigoPOSPorSerial(const std::string& serialPOS) {
  Abrir(FQExec, SqlPOSPorSerial(serialPOS));
  return FQExec.Eof() ? 0 : FQExec.FieldByName("CODIGO").AsInteger();
}

TTerminalPOS TQExecStatements::POSPorCodigo(std::int32_t codigoPOS) {
  Abrir(FQExec, SqlPOSPorCodigo(codigoPOS));
  return {Texto(FQExec, "MFE_SERIALPOS"), Texto(FQExec, "MFE_CHAVEREQUISICAO"),
          Texto(FQExec, "CODIGOESTABELECIMENTO")};
}

TTransacaoRelida TQExecStatements::RelerTransacao(std::int64_t idInterno) {
  Abrir(FQExec, SqlRelerTransacao(std::to_string(idInterno)));
  return {Texto(FQExec, "MFE_SERIALPOS"), Texto(FQExec, "MFE_IDSTATUSVALIDADOR")};
}

bool TQExecStatements::AtualizaPagamento(std::int64_t idInterno, const std::string& idPagamento,
                                         const std::string& xml) {
  return Atualizar(FQExec, SqlAtualizaPagamento(), FOctetos, {"IDPAGAMENTO", "MFE_IDPAGAMENTO"}, idPagamento,
                   {"XMLENVIARPAGAMENTO", "MFE_XML_ENVIARPAGAMENTO"}, xml, idInterno);
}

bool TQExecStatements::AtualizaStatusValidador(std::int64_t idInterno, const std::string& idStatus,
                                               const std::string& xml) {
  return Atualizar(FQExec, SqlAtualizaStatusValidador(), FOctetos, {"IDSTATUSVALIDADOR", "MFE_IDSTATUSVALIDADOR"},
                   idStatus, {"XMLSTATUSVALIDADOR", "MFE_XML_STATUSVALIDADOR"}, xml, idInterno);
}

bool TQExecStatements::AtualizaRespostaFiscal(std::int64_t idInterno, const std::string& idRespostaFiscal,
                                              const std::string& xml) {
  return Atualizar(FQExec, SqlAtualizaRespostaFiscal(), FOctetos, {"IDRESPOSTAFISCAL", "MFE_IDRESPOSTAFISCAL"},
                   idRespostaFiscal, {"XMLRESPOSTAFISCAL", "MFE_XML_RESPOSTAFISCAL"}, xml, idInterno);
}

}  // namespace pagvigia
