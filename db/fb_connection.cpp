#include "db/fb_connection.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <set>

#include "db/fb_private.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "platform/codepage.h"

namespace pagvigia {

namespace {

// Attach and detach calls are serialised process-wide.
std::mutex& AttachMutex() {
  static std::mutex mu;
  return mu;
}

// Logical connection names in use, and the connections that exist.
struct Registry {
  std::mutex Mutex;
  std::set<std::string> Names;
  std::vector<TFbConnection*> Connections;
};
Registry& TheRegistry() {
  static Registry* r = new Registry();
  return *r;
}

bool IsIdentifier(const std::string& s) {
  if (s.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(s[0])) return false;
  return std::all_of(s.begin(), s.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

// The code page of the text that crosses the client library; Ansi (0) is
// the system's default, used while not attached.
enum class CodePage { Ansi = 0, Cp1252, Utf8 };

// ISO8859_1 is read and written as Windows-1252, its superset: the two
// differ only in 0x80-0x9F, which ISO 8859-1 gives to control characters that
// no text holds, and which the shops' Windows programs fill with their
// characters (’, €, Œ...) when they store their own bytes. So those bytes
// come back as the characters those programs meant, and such characters go
// back as the same bytes instead of "?".
CodePage CodePageOf(const std::string& charset) {
  const std::string cs = UpperCase(charset);
  if (cs == "ISO8859_1" || cs == "LATIN1" || cs == "WIN1252") return CodePage::Cp1252;
  if (cs == "UTF8" || cs == "UNICODE_FSS" || cs == "UTF-8") return CodePage::Utf8;
  // NONE and anything else: the system's default code page.
  return CodePage::Ansi;
}

std::string Encode(CodePage cp, std::string_view utf8) {
  switch (cp) {
    case CodePage::Cp1252: return platform::Utf8ToCp1252(utf8);
    case CodePage::Utf8: return std::string(utf8);
    case CodePage::Ansi: break;
  }
  return platform::Utf8ToAnsi(utf8);
}

std::string Decode(CodePage cp, std::string_view bytes) {
  switch (cp) {
    case CodePage::Cp1252: return platform::Cp1252ToUtf8(bytes);
    case CodePage::Utf8: return std::string(bytes);
    case CodePage::Ansi: break;
  }
  return platform::AnsiToUtf8(bytes);
}

struct CharSetEntry {
  const char* Name;
  int Id;
};
constexpr CharSetEntry kCharSets[] = {
    {"NONE", 0},       {"OCTETS", 1},     {"ASCII", 2},      {"UNICODE_FSS", 3}, {"UTF8", 4},
    {"SJIS_0208", 5},  {"EUCJ_0208", 6},  {"DOS437", 10},    {"DOS850", 11},     {"DOS865", 12},
    {"ISO8859_1", 21}, {"ISO8859_2", 22}, {"ISO8859_15", 39}, {"WIN1250", 51},   {"WIN1251", 52},
    {"WIN1252", 53},   {"WIN1253", 54},   {"WIN1254", 55},
};

int CharSetIdOf(const std::string& name) {
  for (const auto& e : kCharSets)
    if (SameText(name, e.Name)) return e.Id;
  return 0;
}

std::string EnvOr(const std::string& value, const char* var) {
  if (!value.empty()) return value;
  const char* v = std::getenv(var);
  return v ? v : "";
}

}  // namespace

bool IsLostConnectionCode(std::int64_t code) {
  switch (code) {
    case 335544528:  // shutdown
    case 335544648:  // conn_lost
    case 335544721:  // network_error
    case 335544722:
    case 335544723:
    case 335544724:
    case 335544725:
    case 335544726:  // net_read_err
    case 335544727:
    case 335544741:  // lost_db_connection
    case 335544856:  // att_shutdown
      return true;
    default:
      return false;
  }
}

bool EFbISCError::IsLostConnection() const {
  for (const std::int64_t c : ErrorCodes)
    if (IsLostConnectionCode(c)) return true;
  return IsLostConnectionCode(ErrCode);
}

std::string EFbISCError::ServerMessageLine() const {
  std::string text;
  bool inMessage = false;
  for (const std::string& line : ErrorMessage) {
    if (line == "ISC ERROR MESSAGE:") {
      inMessage = true;
      continue;
    }
    if (!inMessage || line.empty()) continue;
    if (!text.empty()) text += "; ";
    text += line;
  }
  if (text.empty()) text = what();
  // Line breaks and runs of blanks become one blank.
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool EFbISCError::IsLockConflict() const {
  for (const std::int64_t c : ErrorCodes)
    if (c == isc_lock_conflict || c == isc_deadlock || c == isc_update_conflict) return true;
  return false;
}

TFbConnection::TFbConnection(const std::string& name) : TFbComponent(name) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.Mutex);
  r.Connections.push_back(this);
}

TFbConnection::~TFbConnection() {
  if (FHandle) {
    try {
      Disconnect();
    } catch (...) {
      // A failing transaction close keeps the connection attached; on
      // destruction it is released anyway.
      for (auto* t : std::vector<TFbTransaction*>(FTransactions)) t->ReleaseAfterFailure();
      for (auto* s : std::vector<TFbStatement*>(FStatements)) s->ReleaseHandle();
      std::lock_guard lock(AttachMutex());
      TFbStatusVector st;
      ClientLib->Api().isc_detach_database(st, &FHandle);
      FHandle = 0;
    }
  }
  for (auto* t : std::vector<TFbTransaction*>(FTransactions)) t->ConnectionDestroyed(this);
  for (auto* s : std::vector<TFbStatement*>(FStatements)) s->ConnectionDestroyed(this);
  if (DefaultTransaction) DefaultTransaction = nullptr;
  auto& r = TheRegistry();
  std::lock_guard lock(r.Mutex);
  r.Connections.erase(std::remove(r.Connections.begin(), r.Connections.end(), this), r.Connections.end());
  if (!FDatabaseName.empty()) r.Names.erase(FDatabaseName);
}

TFbConnection* TFbConnection::OnlyConnection() {
  auto& r = TheRegistry();
  std::lock_guard lock(r.Mutex);
  return r.Connections.size() == 1 ? r.Connections[0] : nullptr;
}

void TFbConnection::SetParam(const std::string& name, const std::string& value) {
  if (Connected()) throw EFbConnectionError("Cannot change while connected");
  Params.SetValue(name, value);
}

std::string TFbConnection::SQLRole() {
  std::string v = Params.Value("ROLE NAME");
  if (v.empty()) {
    for (const char* old : {"ROLE", "SQL ROLE NAME"}) {
      std::string o = Params.Value(old);
      if (!o.empty()) {
        v = o;
        break;
      }
    }
    if (!v.empty() && !Connected()) {
      Params.SetValue("ROLE", "");
      Params.SetValue("SQL ROLE NAME", "");
      Params.SetValue("ROLE NAME", v);
    }
  }
  return v;
}

void TFbConnection::SetSQLRole(const std::string& v) {
  SetParam("ROLE NAME", v);
  Params.SetValue("ROLE", "");
  Params.SetValue("SQL ROLE NAME", "");
}

std::string TFbConnection::CharSet() const {
  if (Connected()) return FAttachedCharSet;
  return UpperCase(Params.Value("CHARACTER SET"));
}

std::string TFbConnection::Password() const {
  const char* line = "PASSWORD";
  if (Protocol() == cpLocal && !Params.Value("LOCAL PASSWORD").empty()) line = "LOCAL PASSWORD";
  if (FPassword.empty() || PasswordStorage == psParams) {
    std::string v = Params.Value(line);
    if (!v.empty() || PasswordStorage == psParams) return v;
  }
  return FPassword;
}

void TFbConnection::SetPassword(const std::string& v) {
  if (Connected()) throw EFbConnectionError("Cannot change while connected");
  FPassword = v;
  const char* line = "PASSWORD";
  if (Protocol() == cpLocal && !Params.Value("LOCAL PASSWORD").empty()) line = "LOCAL PASSWORD";
  Params.SetValue(line, PasswordStorage == psParams ? v : "");
}

TFbProtocol TFbConnection::Protocol() const {
  const std::string p = UpperCase(Params.Value("PROTOCOL"));
  if (p == "NETBEUI") return cpNetBEUI;
  if (p == "TCP/IP") return cpTCP_IP;
  if (p == "NOVELL") return cpNovell;
  return cpLocal;
}

int TFbConnection::SQLDialect() const {
  if (Connected()) return FAttachedDialect;
  const std::string v = Trim(Params.Value("SQL DIALECT"));
  char* end = nullptr;
  long d = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || d <= 0 || d > 3) return 3;
  return static_cast<int>(d);
}

std::string TFbConnection::DatabaseString() const {
  const std::string path = Path();
  const std::string server = Server();
  if (path.empty()) return "";
  // Without a server the path alone is the database string (a local or
  // "host:path" value given as the path).
  if (server.empty()) return path;
  switch (Protocol()) {
    case cpTCP_IP: return server + ":" + path;
    case cpNetBEUI: return "\\\\" + server + "\\" + path;
    case cpNovell: return server + "@" + path;
    case cpLocal: break;
  }
  return path;
}

void TFbConnection::SetDatabaseName(const std::string& v) {
  if (v.find_first_of(".\\:@") != std::string::npos) {
    if (Connected()) throw EFbConnectionError("Cannot change while connected");
    std::string server, path = v, protocol;
    if (v.rfind("\\\\", 0) == 0) {
      std::size_t sep = v.find('\\', 2);
      if (sep != std::string::npos) {
        server = v.substr(2, sep - 2);
        path = v.substr(sep + 1);
        protocol = "NETBEUI";
      }
    } else if (std::size_t colon = v.find(':'); colon != std::string::npos && colon > 1) {
      server = v.substr(0, colon);
      path = v.substr(colon + 1);
      protocol = "TCP/IP";
    } else if (std::size_t at = v.find('@'); at != std::string::npos && at > 0) {
      server = v.substr(0, at);
      path = v.substr(at + 1);
      protocol = "NOVELL";
    }
    Params.SetValue("SERVER", server);
    Params.SetValue("PATH", path);
    Params.SetValue("PROTOCOL", protocol);
    return;
  }
  if (!v.empty() && !IsIdentifier(v)) throw EFbConnectionError("\"" + v + "\" is not a valid component name");
  auto& r = TheRegistry();
  std::lock_guard lock(r.Mutex);
  if (!FDatabaseName.empty()) r.Names.erase(FDatabaseName);
  std::string name = v;
  for (int n = 1; !name.empty() && r.Names.count(name); ++n) name = v + "_" + std::to_string(n);
  if (!name.empty()) r.Names.insert(name);
  FDatabaseName = name;
}

std::string TFbConnection::ToServer(std::string_view utf8) const {
  return Encode(static_cast<CodePage>(FCodePage), utf8);
}

std::string TFbConnection::FromServer(std::string_view bytes) const {
  return Decode(static_cast<CodePage>(FCodePage), bytes);
}

std::string TFbConnection::BuildDPB() const { return BuildDPB(UpperCase(Params.Value("CHARACTER SET"))); }

std::string TFbConnection::BuildDPB(const std::string& charset) const {
  const std::string user = EnvOr(Trim(Username()), "ISC_USER");
  const std::string password = EnvOr(Password(), "ISC_PASSWORD");
  std::string role = Params.Value("ROLE NAME");
  if (role.empty()) role = Params.Value("ROLE");
  if (role.empty()) role = Params.Value("SQL ROLE NAME");
  role = EnvOr(role, "ISC_ROLE");

  // Grows as needed: a block can never overrun its buffer.
  std::string dpb;
  dpb.reserve(1024);
  dpb += static_cast<char>(isc_dpb_version1);
  // The database path and every text of the block are UTF-8: the client
  // library takes them as such with isc_dpb_utf8_filename, whatever the
  // system's code page or locale, so that a folder named "Integração" is
  // reached on Windows and on POSIX alike.
  dpb += static_cast<char>(isc_dpb_utf8_filename);
  dpb += '\0';
  auto str = [&](int item, const std::string& value) {
    std::string bytes = value;
    if (bytes.empty()) bytes.assign(1, '\0');
    if (bytes.size() > 255) throw EFbConnectionError("Invalid DPB: Contents over 255 characters");
    dpb += static_cast<char>(item);
    dpb += static_cast<char>(bytes.size());
    dpb += bytes;
  };
  str(isc_dpb_user_name, user);
  str(isc_dpb_password, password);
  if (!role.empty()) str(isc_dpb_sql_role_name, role);
  const std::string buffers = Trim(Params.Value("BUFFERS"));
  if (!buffers.empty() && buffers != "<default>") {
    char* end = nullptr;
    long long n = std::strtoll(buffers.c_str(), &end, 10);
    if (*end != '\0' || n < 1 || n > 0x7FFFFFFF)
      throw std::runtime_error("Invalid cache buffers declaration: " + buffers);
    dpb += static_cast<char>(isc_dpb_num_buffers);
    if (n < 256) {
      dpb += '\1';
      dpb += static_cast<char>(n);
    } else {
      dpb += '\4';
      for (int i = 0; i < 4; ++i) dpb += static_cast<char>((n >> (8 * i)) & 0xFF);
    }
  }
  const std::string nogarbage = Params.Value("NOGARBAGE");
  if (!nogarbage.empty() && (nogarbage[0] == 'T' || nogarbage[0] == 't')) {
    dpb += static_cast<char>(isc_dpb_no_garbage_collect);
    dpb += '\1';
    dpb += '\1';
  }
  if (!charset.empty()) str(isc_dpb_lc_ctype, charset);
  // Seconds the client waits for the server to answer the attach.
  if (const std::string v = Trim(Params.Value("CONNECT TIMEOUT")); !v.empty()) {
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, 10);
    if (*end != '\0' || n < 1 || n > 0x7FFFFFFF) throw std::runtime_error("Invalid connect timeout: " + v);
    dpb += static_cast<char>(isc_dpb_connect_timeout);
    dpb += '\4';
    for (int i = 0; i < 4; ++i) dpb += static_cast<char>((n >> (8 * i)) & 0xFF);
  }
  if (const std::string v = Params.Value("SYSDBA"); !v.empty()) str(isc_dpb_sys_user_name, v);
  if (const std::string v = Params.Value("MESSAGE FILE"); !v.empty()) str(isc_dpb_lc_messages, v);
  return dpb;
}

void TFbConnection::CheckNotLost() const {
  if (ConnectionLost && FHandle) throw EFbConnectionError(LostMessage);
}

void TFbConnection::Connect(bool /*AllowAutoCreate*/) {
  if (FHandle) return;
  ConnectionLost = false;
  FStatus = csConnectPending;
  if (BeforeConnect) BeforeConnect(*this);
  std::string db = Trim(Params.Value("FORCED_DATABASE"));
  if (db.empty()) db = DatabaseString();
  if (db.empty()) db = Trim(Params.Value("SERVER NAME"));
  db = EnvOr(db, "ISC_DATABASE");
  if (db.empty()) throw EFbConnectionError("DatabaseName cannot be blank");
  const std::string path = Path();
  if (std::size_t colon = path.find(':'); colon != std::string::npos && colon + 1 < path.size()) {
    if (path[colon + 1] != '/' && path[colon + 1] != '\\') throw EFbConnectionError("Invalid connection path");
  }
  ClientLib->Open();
  const std::string configured = UpperCase(Params.Value("CHARACTER SET"));
  std::string charset = configured;
  const bool followDatabase = !configured.empty() && !DatabaseCharSetsUsed.empty();
  if (followDatabase && db == FSettledDatabase) charset = FSettledCharSet;
  std::string dpb = BuildDPB(charset);
  Attach(db, dpb);

  if (configured.empty()) {
    // No character set configured: use the database's default, or the
    // "DEFAULT CHARSET" line when the database has none.
    std::string dflt = QueryDefaultCharSet();
    if (dflt.empty() || dflt == "NONE") dflt = UpperCase(Trim(Params.Value("DEFAULT CHARSET")));
    if (dflt.empty()) dflt = "NONE";
    if (dflt != "NONE") {
      Detach();
      dpb += static_cast<char>(isc_dpb_lc_ctype);
      dpb += static_cast<char>(dflt.size());
      dpb += dflt;
      Attach(db, dpb);
    }
    charset = dflt;
  } else if (followDatabase) {
    // The database's default decides between it and the configured set; an
    // attachment made with the wrong one is made again.
    const std::string dflt = QueryDefaultCharSet();
    const bool used = std::any_of(DatabaseCharSetsUsed.begin(), DatabaseCharSetsUsed.end(),
                                  [&](const std::string& cs) { return SameText(cs, dflt); });
    const std::string wanted = used ? dflt : configured;
    if (wanted != charset) {
      Detach();
      Attach(db, BuildDPB(wanted));
      charset = wanted;
    }
    FSettledDatabase = db;
    FSettledCharSet = charset;
  }
  FAttachedCharSet = charset;
  FCharSetId = CharSetIdOf(charset);
  FCodePage = static_cast<int>(CodePageOf(charset));
  ReadDatabaseInfo();
  ConnectionLost = false;
  FStatus = csConnected;
  if (AfterConnect) AfterConnect(*this);
}

void TFbConnection::Detach() {
  std::lock_guard lock(AttachMutex());
  TFbStatusVector st;
  ClientLib->Api().isc_detach_database(st, &FHandle);
  FHandle = 0;
}

void TFbConnection::Attach(const std::string& dbString, const std::string& dpb) {
  // UTF-8, as the block's isc_dpb_utf8_filename says.
  const std::string& bytes = dbString;
  TFbStatusVector st;
  {
    std::lock_guard lock(AttachMutex());
    ClientLib->Api().isc_attach_database(st, static_cast<short>(bytes.size()), bytes.data(), &FHandle,
                                   static_cast<short>(dpb.size()), dpb.data());
  }
  if (st.Failed()) {
    FHandle = 0;
    CheckStatus(st, this);
  }
}

void TFbConnection::ReadDatabaseInfo() {
  const char items[] = {static_cast<char>(isc_info_db_sql_dialect), static_cast<char>(isc_info_db_read_only),
                        static_cast<char>(isc_info_end)};
  char buf[64] = {};
  TFbStatusVector st;
  FAttachedDialect = 3;
  FReadOnlyDatabase = false;
  if (ClientLib->Api().isc_database_info(st, &FHandle, sizeof items, items, sizeof buf, buf) != 0) return;
  for (std::size_t p = 0; p + 3 <= sizeof buf && buf[p] != isc_info_end;) {
    const char item = buf[p];
    const int len = static_cast<int>(ClientLib->Api().isc_vax_integer(buf + p + 1, 2));
    if (p + 3 + static_cast<std::size_t>(len) > sizeof buf) break;
    const int value = static_cast<int>(ClientLib->Api().isc_vax_integer(buf + p + 3, static_cast<short>(len)));
    if (item == isc_info_db_sql_dialect) FAttachedDialect = value;
    if (item == isc_info_db_read_only) FReadOnlyDatabase = value != 0;
    p += 3 + static_cast<std::size_t>(len);
  }
}

std::string TFbConnection::QueryDefaultCharSet() {
  // A small read of RDB$DATABASE on a transaction of its own.
  const TFbClientApi& lib = ClientLib->Api();
  TFbStatusVector st;
  isc_tr_handle tr = 0;
  const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait};
  TFbTransactionExistenceBlock teb{&FHandle, static_cast<int>(sizeof tpb), tpb};
  if (lib.isc_start_multiple(st, &tr, 1, &teb) != 0) return "";
  std::string result;
  isc_stmt_handle stmt = 0;
  if (lib.isc_dsql_allocate_statement(st, &FHandle, &stmt) == 0) {
    alignas(XSQLDA) char daBuf[XSQLDA_LENGTH(1)] = {};
    auto* da = reinterpret_cast<XSQLDA*>(daBuf);
    da->version = SQLDA_VERSION1;
    da->sqln = 1;
    static const char sql[] = "SELECT CAST(RDB$CHARACTER_SET_NAME AS VARCHAR(63) CHARACTER SET OCTETS) FROM RDB$DATABASE";
    if (lib.isc_dsql_prepare(st, &tr, &stmt, 0, sql, 3, da) == 0 && da->sqld == 1) {
      char data[2 + 64] = {};
      short ind = 0;
      da->sqlvar[0].sqldata = data;
      da->sqlvar[0].sqlind = &ind;
      if (lib.isc_dsql_execute(st, &tr, &stmt, 3, nullptr) == 0 && lib.isc_dsql_fetch(st, &stmt, 3, da) == 0 &&
          ind == 0) {
        unsigned short len = 0;
        std::memcpy(&len, data, 2);
        result = UpperCase(Trim(std::string(data + 2, std::min<unsigned short>(len, 63))));
      }
    }
    lib.isc_dsql_free_statement(st, &stmt, DSQL_drop);
  }
  lib.isc_commit_transaction(st, &tr);
  return result;
}

void TFbConnection::Disconnect() {
  if (!FHandle) return;
  FStatus = csDisconnectPending;
  try {
    if (BeforeDisconnect) BeforeDisconnect(*this);
  } catch (...) {
    FStatus = csConnected;
    throw;
  }
  // A transaction that can neither commit nor roll back still lets the
  // attachment go: the server ends its transactions with it. The first such
  // error is raised once the attachment is released.
  std::exception_ptr closeError;
  for (auto* t : std::vector<TFbTransaction*>(FTransactions)) {
    try {
      t->Close();
    } catch (...) {
      if (!closeError) closeError = std::current_exception();
      t->ReleaseAfterFailure();
    }
  }
  for (auto* s : std::vector<TFbStatement*>(FStatements)) {
    try {
      s->ReleaseHandle();
    } catch (...) {
      if (!closeError) closeError = std::current_exception();
    }
  }
  TFbStatusVector st;
  {
    std::lock_guard lock(AttachMutex());
    ClientLib->Api().isc_detach_database(st, &FHandle);
  }
  FHandle = 0;
  if (st.Failed()) CheckStatus(st, this, false);
  FCharSetId = -1;
  FCodePage = 0;
  FAttachedCharSet.clear();
  ConnectionLost = false;
  FStatus = csDisconnected;
  if (AfterDisconnect) AfterDisconnect(*this);
  if (closeError) std::rethrow_exception(closeError);
}

void TFbConnection::AddTransaction(TFbTransaction* t) {
  if (std::find(FTransactions.begin(), FTransactions.end(), t) == FTransactions.end()) FTransactions.push_back(t);
}
void TFbConnection::RemoveTransaction(TFbTransaction* t) {
  FTransactions.erase(std::remove(FTransactions.begin(), FTransactions.end(), t), FTransactions.end());
  if (DefaultTransaction == t) DefaultTransaction = nullptr;
}
void TFbConnection::AddStatement(TFbStatement* s) {
  if (std::find(FStatements.begin(), FStatements.end(), s) == FStatements.end()) FStatements.push_back(s);
}
void TFbConnection::RemoveStatement(TFbStatement* s) {
  FStatements.erase(std::remove(FStatements.begin(), FStatements.end(), s), FStatements.end());
}

void TFbConnection::CheckStatus(const TFbStatusVector& statusVector, TFbComponent* sender, bool raise) {
  if (!statusVector.Failed()) return;
  const ISC_STATUS* status = statusVector;
  const TFbClientApi& lib = ClientLib->Api();
  std::array<ISC_STATUS, ISC_STATUS_LENGTH> vec{};
  std::copy(status, status + ISC_STATUS_LENGTH, vec.begin());
  const ISC_STATUS errCode = status[1];

  std::vector<std::string> lines{"ISC ERROR CODE:" + std::to_string(errCode), "", "ISC ERROR MESSAGE:"};
  std::string last;
  char buf[4096];
  if (lib.fb_interpret) {
    const ISC_STATUS* p = status;
    for (int guard = 0; guard < 64; ++guard) {
      std::memset(buf, 0, sizeof buf);
      const ISC_LONG n = lib.fb_interpret(buf, sizeof buf, &p);
      std::string text = FromServer(std::string_view(buf, ::strnlen(buf, sizeof buf)));
      if (text != last) {
        lines.push_back(text);
        last = text;
      }
      if (n == 0) break;
    }
  } else {
    // The older interpreter walks the vector to its end marker: the copy it
    // walks always has one after the last word, so it stays within.
    std::array<ISC_STATUS, ISC_STATUS_LENGTH + 2> copy{};
    std::copy(vec.begin(), vec.end(), copy.begin());
    ISC_STATUS* p = copy.data();
    for (int guard = 0; guard < 64; ++guard) {
      std::memset(buf, 0, sizeof buf);
      const ISC_LONG n = lib.isc_interprete(buf, &p);
      std::string text = FromServer(std::string_view(buf, ::strnlen(buf, sizeof buf)));
      if (text != last) {
        lines.push_back(text);
        last = text;
      }
      if (n == 0) break;
    }
  }

  const int sqlCode = static_cast<int>(lib.isc_sqlcode(status));
  std::vector<std::string> sqlLines;
  if (sqlCode != 0 && sqlCode != -999) {
    std::memset(buf, 0, sizeof buf);
    lib.isc_sql_interprete(static_cast<short>(sqlCode), buf, static_cast<short>(sizeof buf));
    std::string text = Trim(FromServer(std::string_view(buf, ::strnlen(buf, sizeof buf))));
    if (!text.empty()) sqlLines = {"SQL ERROR CODE:" + std::to_string(sqlCode), "", "SQL ERROR MESSAGE:", text};
  }

  // Every error code of the vector, walking its clusters.
  std::vector<std::int64_t> codes;
  bool lost = false;
  for (std::size_t i = 0; i < ISC_STATUS_LENGTH && vec[i] != isc_arg_end;) {
    const ISC_STATUS kind = vec[i];
    if (kind == isc_arg_gds || kind == isc_arg_warning) {
      if (i + 1 >= ISC_STATUS_LENGTH) break;
      if (kind == isc_arg_gds && vec[i + 1] != 0) {
        codes.push_back(vec[i + 1]);
        lost = lost || IsLostConnectionCode(vec[i + 1]);
      }
      i += 2;
    } else if (kind == isc_arg_cstring) {
      i += 3;
    } else {
      i += 2;
    }
  }
  std::string message;
  for (const auto& l : lines) message += l + "\r\n";
  if (sqlCode == -836 && lines.size() > 2) {
    const std::size_t idx = lines.size() < 6 ? 4 : 5;
    if (idx < lines.size() && !lines[idx].empty()) message = lines[idx];
  }
  LastErrorMessage = message;
  if (lost && FHandle) {
    ConnectionLost = true;
    LostMessage = message;
  }
  if (!raise) return;
  std::array<std::int64_t, kFbStatusLength> status64{};
  std::copy(vec.begin(), vec.end(), status64.begin());
  throw EFbISCError(message, sender, errCode, sqlCode, status64, lines, sqlLines, codes);
}

}  // namespace pagvigia
