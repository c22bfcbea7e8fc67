// Reconciliation of the shop's pending card transactions with the Integrador.
//
// TReconciliacao processes one pending row: payment (EnviaPagamento), payment
// status of a "TEF" payment (EnviarStatusPagamento) and fiscal response
// (RespostaFiscal), each id and answer XML written back to the row by its own
// update, committed at once, so that a row that stops half-way resumes at its
// missing step. It works through two narrow doors: the statements
// (TReconcileStatements, QExec in the service) and the Integrador's methods
// (TIntegradorCalls, the Integrador component in the service).
//
// How the service object uses it (service/):
//   - ConfigurarConsultas() gives TBEnviaMFEPendentes, TBTransacaoPendente,
//     TBPadrao and TBMSAut their SQL text (their design-time settings), once
//     after creating them;
//   - each cycle opens TBPadrao, TBMSAut and TBEnviaMFEPendentes (the pending
//     keys), reads the cash register's data once (TDadosCaixa::Ler), walks the
//     keys, reads each row by its key (LerTransacaoPendente: a row the server
//     cannot hand over is logged as "Envios Pendentes: " + message + its key
//     and skipped) and calls EnviaMFEPendentes() for it inside its own handler
//     ("Envios Pendentes: " + message). EnviaMFEPendentes raises whatever the
//     statements or the Integrador raise; everything it had committed before
//     stays committed.
//   - the three last answers (RespostaPagamentoMFe, RespostaStatusPagamento,
//     RetornoRespostaFiscal) live here and are replaced by the next call of
//     the same method.
// Not thread-safe: one cycle uses it at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "reconcile/integrador_calls.h"
#include "reconcile/reconcile_statements.h"
#include "reconcile/sql.h"
#include "reconcile/transacao_pendente.h"

namespace pagvigia {

class TFbQuery;

// Gives the cursors their SQL text (the pending keys, one pending row, the
// company defaults, the cash register's settings) and TBMSAut its column
// attributes and commit action.
void ConfigurarConsultas(TFbQuery& TBEnviaMFEPendentes, TFbQuery& TBTransacaoPendente, TFbQuery& TBPadrao,
                         TFbQuery& TBMSAut);

class TReconciliacao {
 public:
  // Writes one entry to the service log ("Pagvigia.log").
  using TDoSaveLog = std::function<void(const std::string& msg)>;

  // `statements` and `integrador` are not owned and must outlive this object.
  TReconciliacao(TReconcileStatements& statements, TIntegradorCalls& integrador, TDoSaveLog doSaveLog);
  ~TReconciliacao();
  TReconciliacao(const TReconciliacao&) = delete;
  TReconciliacao& operator=(const TReconciliacao&) = delete;

  // Processes one pending row: payment when its MFE_IDPAGAMENTO is "0",
  // status of a "TEF" payment whose status is "0", then the fiscal response.
  void EnviaMFEPendentes(const TTransacaoPendente& linha, const TDadosCaixa& caixa);

  // The ASCII digits of `texto`, in order; everything else dropped.
  static std::string ExtraiNumero(std::string_view texto);

  // Submits one payment; returns the Integrador's payment id, negated when the
  // payment was only saved in the Integrador's local storage, 0 when the answer
  // carried none. `valorPagamento` is a fixed-point amount (four decimals).
  std::int64_t EnviaPagamento(const TDadosCaixa& caixa, std::int32_t codigoPOS, std::int64_t valorPagamento,
                              bool multiplosCartoes, const std::string& codigoEstabelecimento);

  // Reports the card data of the "TEF" payment `idPagamento` of `linha`;
  // true when the answer is "AP".
  bool EnviarStatusPagamento(const TDadosCaixa& caixa, const TTransacaoPendente& linha, std::int64_t idPagamento);

  // Ties the payment `idPagamento` to the fiscal coupon of `linha`; returns
  // the fiscal-response id of the answer, whatever its code.
  std::string RespostaFiscal(const TDadosCaixa& caixa, const TTransacaoPendente& linha, std::int64_t idPagamento);

  // Last answer of each Integrador method (empty until the first call).
  std::unique_ptr<TRespostaPagamento> RespostaPagamentoMFe;
  std::unique_ptr<TRespostaStatusPagamento> RespostaStatusPagamento;
  std::unique_ptr<TRetornoRespostaFiscal> RetornoRespostaFiscal;

 private:
  // The three steps of EnviaMFEPendentes; each runs its update, if any.
  // The payment step returns the payment id the later steps go on with.
  std::int64_t PassoPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa);
  void PassoStatusPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa, std::int64_t idPagamento);
  void PassoRespostaFiscal(const TTransacaoPendente& linha, const TDadosCaixa& caixa, std::int64_t idPagamento);

  void DoSaveLog(const std::string& msg);

  TReconcileStatements& FStatements;
  TIntegradorCalls& FIntegrador;
  TDoSaveLog FDoSaveLog;
};

}  // namespace pagvigia
