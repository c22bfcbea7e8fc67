// The exceptions of the database layer. EFbError is the base of the layer's
// own errors (misuse, wrong state); EFbISCError carries an error status that
// the client library returned, with the server's messages.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagvigia {

class TFbComponent;

class EFbError : public std::runtime_error {
 public:
  explicit EFbError(const std::string& message) : std::runtime_error(message) {}
};

// Connection settings and state.
class EFbConnectionError : public EFbError {
 public:
  using EFbError::EFbError;
};

// Transaction state.
class EFbTransactionError : public EFbError {
 public:
  using EFbError::EFbError;
};

// Statements, fields and parameters.
class EFbStatementError : public EFbError {
 public:
  using EFbError::EFbError;
};

// Cursor navigation.
class EFbDatasetError : public EFbError {
 public:
  using EFbError::EFbError;
};

// The number of entries of the client's status vector.
inline constexpr std::size_t kFbStatusLength = 20;

// An error status returned by the client library. Its codes are the client's
// numbers, held as 64-bit integers whatever the client's own width.
class EFbISCError : public EFbError {
 public:
  EFbISCError(const std::string& message, TFbComponent* sender, std::int64_t errCode, int sqlCode,
              const std::array<std::int64_t, kFbStatusLength>& status, std::vector<std::string> errorMessage,
              std::vector<std::string> sqlMessage, std::vector<std::int64_t> errorCodes)
      : EFbError(message),
        Sender(sender),
        ErrCode(errCode),
        SQLCode(sqlCode),
        Status(status),
        ErrorMessage(std::move(errorMessage)),
        SQLMessage(std::move(sqlMessage)),
        ErrorCodes(std::move(errorCodes)) {}

  // The connection, transaction or statement whose call failed (may be gone
  // by the time the exception is looked at: compare, do not dereference).
  TFbComponent* Sender;
  // The first error code of the status vector.
  std::int64_t ErrCode;
  int SQLCode;
  // The status vector as returned (its string arguments were addresses in
  // the client library and are not valid after the call).
  std::array<std::int64_t, kFbStatusLength> Status;
  // "ISC ERROR CODE:<n>", "", "ISC ERROR MESSAGE:", the server's lines.
  std::vector<std::string> ErrorMessage;
  // "SQL ERROR CODE:<n>", "", "SQL ERROR MESSAGE:", the SQL text (or empty).
  std::vector<std::string> SQLMessage;
  // Every error code of the status vector, in order.
  std::vector<std::int64_t> ErrorCodes;

  // True when the error means that the connection to the server is gone.
  bool IsLostConnection() const;
  // True when a row could not be locked or changed because another
  // transaction holds it (in a transaction that does not wait for locks).
  bool IsLockConflict() const;
  // The server's messages (the lines after "ISC ERROR MESSAGE:") on one
  // line, joined with "; "; the whole message on one line when there are
  // none. For a person to read, in a log line or a report.
  std::string ServerMessageLine() const;
};

// The error codes that mean a lost connection to the server.
bool IsLostConnectionCode(std::int64_t code);

}  // namespace pagvigia
