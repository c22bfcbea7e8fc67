// The statements that the steps of the reconciliation run, behind a small
// interface: the real one runs them through QExec with the texts of
// reconcile/sql.h; tests put a fake in its place.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "reconcile/colunas_id.h"
#include "reconcile/envios_pendentes.h"
#include "reconcile/reserva.h"

namespace pagvigia {

class TFbQuery;
class TFbTransaction;

// A registered POS terminal's columns, as text (empty when no terminal has
// the code looked up).
struct TTerminalPOS {
  std::string SerialPOS;
  std::string ChaveRequisicao;
  std::string CodigoEstabelecimento;
};

// The two columns of a transaction that the re-read takes, as committed now
// (empty when the row is gone).
struct TTransacaoRelida {
  std::string SerialPOS;
  std::string IdStatusValidador;
};

// Every call raises what the database raises. A step claims its row before
// it sends anything (Reservar); its update runs inside the claim and is
// committed with it at once (Confirmar).
class TReconcileStatements {
 public:
  virtual ~TReconcileStatements() = default;

  // POS-by-serial look-up: the terminal's CODIGO, 0 when none has the serial.
  virtual std::int32_t CodigoPOSPorSerial(const std::string& serialPOS) = 0;
  // POS-by-code look-up.
  virtual TTerminalPOS POSPorCodigo(std::int32_t codigoPOS) = 0;
  // Row re-read of the transaction `idInterno`.
  virtual TTransacaoRelida RelerTransacao(std::int64_t idInterno) = 0;

  // The payment-id, status-id and fiscal-id updates of the row `idInterno`:
  // the step's id and its answer XML. True when characters the columns'
  // character set cannot hold were written as "?" instead.
  virtual bool AtualizaPagamento(std::int64_t idInterno, const std::string& idPagamento, const std::string& xml) = 0;
  virtual bool AtualizaStatusValidador(std::int64_t idInterno, const std::string& idStatus,
                                       const std::string& xml) = 0;
  virtual bool AtualizaRespostaFiscal(std::int64_t idInterno, const std::string& idRespostaFiscal,
                                      const std::string& xml) = 0;

  // Claims the row `idInterno` for one step (reconcile/reserva.h): with
  // rrReservada, `ids` holds the row's ids as committed now, and the updates
  // run until Confirmar belong to the claim. rrOutraInstancia: another
  // attachment holds the row; rrLinhaAusente: it is gone.
  virtual TResultadoReserva Reservar(std::int64_t idInterno, TIdsLinha& ids) = 0;
  // Commits the claim with the update run in it.
  virtual void Confirmar() = 0;
  // Gives the claim up (nothing when none is held); never raises.
  virtual void Liberar() noexcept = 0;
  // The lengths of the three id columns from the database's metadata (the
  // real statements learn there too which update columns take octets).
  virtual TTamanhosColunasId TamanhosColunasId() = 0;

  // The shop's optional table of unfinished sends (reconcile/envios_pendentes.h).
  // Whether it exists.
  virtual bool TabelaEnvios() = 0;
  // Lists register `caixa`'s send of the row's step, committed at once in a
  // transaction of its own (the claim stays held and uncommitted).
  virtual void InserirEnvio(std::int32_t caixa, std::int64_t idInterno, TEtapa etapa, std::int32_t sessao) = 0;
  // Deletes the row's send of the step: inside the claim when one is held
  // (committed with it), else committed at once on its own.
  virtual void ApagarEnvio(std::int64_t idInterno, TEtapa etapa) = 0;
  // The row's listed sends, as committed now (inside the claim when held).
  virtual std::vector<TEnvioListado> EnviosDaLinha(std::int64_t idInterno) = 0;
};

// The statements run through the scratch query QExec (not owned); a claim
// is its read-write transaction, started explicitly, whose commit commits
// the step's update.
class TQExecStatements : public TReconcileStatements {
 public:
  explicit TQExecStatements(TFbQuery& QExec);
  ~TQExecStatements() override;

  std::int32_t CodigoPOSPorSerial(const std::string& serialPOS) override;
  TTerminalPOS POSPorCodigo(std::int32_t codigoPOS) override;
  TTransacaoRelida RelerTransacao(std::int64_t idInterno) override;
  bool AtualizaPagamento(std::int64_t idInterno, const std::string& idPagamento, const std::string& xml) override;
  bool AtualizaStatusValidador(std::int64_t idInterno, const std::string& idStatus, const std::string& xml) override;
  bool AtualizaRespostaFiscal(std::int64_t idInterno, const std::string& idRespostaFiscal,
                              const std::string& xml) override;
  TResultadoReserva Reservar(std::int64_t idInterno, TIdsLinha& ids) override;
  void Confirmar() override;
  void Liberar() noexcept override;
  TTamanhosColunasId TamanhosColunasId() override;
  bool TabelaEnvios() override;
  void InserirEnvio(std::int32_t caixa, std::int64_t idInterno, TEtapa etapa, std::int32_t sessao) override;
  void ApagarEnvio(std::int64_t idInterno, TEtapa etapa) override;
  std::vector<TEnvioListado> EnviosDaLinha(std::int64_t idInterno) override;

 private:
  // Runs `linhas` with `params` set by `definir` on the table's own
  // transaction and commits it.
  template <class F>
  void ExecutarProprio(const std::vector<std::string>& linhas, F&& definir);

  TFbQuery& FQExec;
  // The claim's own statement on QExec's transaction, prepared once per
  // connection.
  std::unique_ptr<TFbQuery> FQReserva;
  TReservaLinha FReserva;
  // The table's own transaction (read-write, read committed, no wait) and
  // statement, for what must commit while a claim stays held.
  std::unique_ptr<TFbTransaction> FTrEnvios;
  std::unique_ptr<TFbQuery> FQEnvios;
  // The update columns that take octets on this connection, learnt with the
  // id columns' lengths.
  TColunasOctetos FOctetos;
};

}  // namespace pagvigia
