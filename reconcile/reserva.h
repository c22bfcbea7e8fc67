// The claim on one row of MFE_TRANSACAO_CARTOES that a step holds from before
// it sends anything to the Integrador until its update has committed.
//
// Every cash register runs its own Pagvigia on the shop's one database, and
// each also takes the rows of other registers once they are old enough, so
// two instances can reach the same row at the same time. The claim is the
// server's own row lock: the read-write transaction is started explicitly
// (read committed, record versions, no wait), the row is read with
// "SELECT ... WITH LOCK", and the step's update runs in the same transaction,
// which commits at once. Another attachment that tries to lock the row
// meanwhile is refused at once (no wait) and passes the row over; a claim
// ends with its transaction, so at the latest when its attachment goes (a
// killed process leaves nothing behind that blocks the row).
//
// The ids read under the lock are the row's current ones: a step that another
// instance recorded since the cycle's cursor read the row is not sent.
//
// Not thread-safe; one claim at a time per transaction.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pagvigia {

class TFbQuery;
class TFbTransaction;

// The row's three ids as text (null reads as ""), as the claim read them.
struct TIdsLinha {
  std::string IdPagamento;
  std::string IdStatusValidador;
  std::string IdRespostaFiscal;
};

enum TResultadoReserva {
  rrReservada,        // the row is locked by this claim
  rrOutraInstancia,   // another attachment holds the row: pass it over
  rrLinhaAusente      // the row no longer exists
};

// The claim's statement: the three ids of one row (parameter
// INDENTIFICADORINTERNO), locked.
std::vector<std::string> SqlReservarTransacao();

class TReservaLinha {
 public:
  // `transacao`: the read-write transaction (its settings are the service's:
  // read committed, record versions, no wait); `query`: a statement on it,
  // whose text the claim sets (and keeps prepared while nothing else changes
  // it).
  TReservaLinha(TFbTransaction& transacao, TFbQuery& query);
  // Gives up a claim still held (its transaction is rolled back).
  ~TReservaLinha();
  TReservaLinha(const TReservaLinha&) = delete;
  TReservaLinha& operator=(const TReservaLinha&) = delete;

  // Starts the claim's transaction (committing first what the transaction
  // had open from look-ups) and locks the row. On rrReservada, `ids` holds
  // the row's ids. Raises on every other database failure.
  TResultadoReserva Reservar(std::int64_t idInterno, TIdsLinha& ids);
  bool Ativa() const { return FAtiva; }
  // Commits the claim's transaction: the step's update, run meanwhile on the
  // same transaction, is on disk and the row is free.
  void Confirmar();
  // Rolls the claim back (nothing when none is held); never raises.
  void Liberar() noexcept;

 private:
  TFbTransaction& FTransacao;
  TFbQuery& FQuery;
  bool FAtiva = false;
};

}  // namespace pagvigia
