// Row claims through the server's row locks.
#include "reconcile/reserva.h"

#include "db/fb_errors.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"

namespace pagvigia {

std::vector<std::string> SqlReservarTransacao() {
  return {"SELECT MFE_IDPAGAMENTO, MFE_IDSTATUSVALIDADOR, MFE_IDRESPOSTAFISCAL FROM MFE_TRANSACAO_CARTOES",
          "WHERE MFE_IDENTIFICADORINTERNO = :INDENTIFICADORINTERNO", "WITH LOCK"};
}

TReservaLinha::TReservaLinha(TFbTransaction& transacao, TFbQuery& query) : FTransacao(transacao), FQuery(query) {}

TReservaLinha::~TReservaLinha() { Liberar(); }

TResultadoReserva TReservaLinha::Reservar(std::int64_t idInterno, TIdsLinha& ids) {
  Liberar();
  // Look-ups may have started the transaction on demand; they wrote nothing.
  if (FTransacao.Started()) FTransacao.Commit();
  FTransacao.StartTransaction();
  FAtiva = true;
  try {
    // Prepared once while the statement keeps its text.
    static const std::vector<std::string> kLinhas = SqlReservarTransacao();
    static const std::string kTexto = [] {
      std::string t;
      // Joined as the statement's own text joins its lines.
      for (const auto& l : kLinhas) t += (t.empty() ? "" : "\r\n") + l;
      return t;
    }();
    if (FQuery.SQL().Text() != kTexto) {
      FQuery.SQL().Clear();
      for (const auto& l : kLinhas) FQuery.SQL().Add(l);
    }
    if (!FQuery.Prepared()) FQuery.Prepare();
    FQuery.ParamByName("INDENTIFICADORINTERNO").SetAsInt64(idInterno);
    FQuery.Open();
    if (FQuery.Eof()) {
      Liberar();
      return rrLinhaAusente;
    }
    ids.IdPagamento = FQuery.FieldByName("MFE_IDPAGAMENTO").AsString();
    ids.IdStatusValidador = FQuery.FieldByName("MFE_IDSTATUSVALIDADOR").AsString();
    ids.IdRespostaFiscal = FQuery.FieldByName("MFE_IDRESPOSTAFISCAL").AsString();
    FQuery.Close();
    return rrReservada;
  } catch (const EFbISCError& e) {
    Liberar();
    if (e.IsLockConflict()) return rrOutraInstancia;
    throw;
  } catch (...) {
    Liberar();
    throw;
  }
}

void TReservaLinha::Confirmar() {
  try {
    FTransacao.Commit();
    FAtiva = false;
  } catch (...) {
    Liberar();
    throw;
  }
}

void TReservaLinha::Liberar() noexcept {
  if (!FAtiva) return;
  FAtiva = false;
  try {
    FQuery.Close();
    FTransacao.Rollback();
  } catch (...) {
    // A transaction that cannot be rolled back ends with its attachment; the
    // claim goes with it.
    try {
      FTransacao.ReleaseAfterFailure();
    } catch (...) {
    }
  }
}

}  // namespace pagvigia
