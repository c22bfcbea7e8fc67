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

TReservaLinha::TReservaLinha(TFbTransaction& transacao, TFbQuery& query) : transacao_(transacao), query_(query) {}

TReservaLinha::~TReservaLinha() { Liberar(); }

TResultadoReserva TReservaLinha::Reservar(std::int64_t idInterno, TIdsLinha& ids) {
  Liberar();
  // Look-ups may have started the transaction on demand; they wrote nothing.
  if (transacao_.Started()) transacao_.Commit();
  transacao_.StartTransaction();
  ativa_ = true;
  try {
    // Prepared once while the statement keeps its text.
    std::string texto;
    for (const auto& l : SqlReservarTransacao()) texto += (texto.empty() ? "" : "\n") + l;
    if (query_.SQL().Text() != texto) {
      query_.SQL().Clear();
      for (const auto& l : SqlReservarTransacao()) query_.SQL().Add(l);
    }
    if (!query_.Prepared()) query_.Prepare();
    query_.ParamByName("INDENTIFICADORINTERNO").SetAsInt64(idInterno);
    query_.Open();
    if (query_.Eof()) {
      Liberar();
      return rrLinhaAusente;
    }
    ids.IdPagamento = query_.FieldByName("MFE_IDPAGAMENTO").AsString();
    ids.IdStatusValidador = query_.FieldByName("MFE_IDSTATUSVALIDADOR").AsString();
    ids.IdRespostaFiscal = query_.FieldByName("MFE_IDRESPOSTAFISCAL").AsString();
    query_.Close();
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
    transacao_.Commit();
    ativa_ = false;
  } catch (...) {
    Liberar();
    throw;
  }
}

void TReservaLinha::Liberar() noexcept {
  if (!ativa_) return;
  ativa_ = false;
  try {
    query_.Close();
    transacao_.Rollback();
  } catch (...) {
    // A transaction that cannot be rolled back ends with its attachment; the
    // claim goes with it.
    try {
      transacao_.ReleaseAfterFailure();
    } catch (...) {
    }
  }
}

}  // namespace pagvigia
