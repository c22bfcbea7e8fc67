/* fbclient.dll for Wine, used by the tests of the Windows build only.
 *
 * No Windows Firebird client can be installed on the build machine, but Wine
 * loads a Linux library through a "winelib" DLL. This one exports the client
 * library's entry points that the database layer binds, each with the Windows
 * calling convention, and forwards every call to the Linux client
 * (libfbclient.so.2).
 *
 * The client's public header is not included: compiled for Wine it declares
 * the entry points with the Windows calling convention, which is exactly what
 * the Linux library does not use. The Linux side is declared here instead,
 * with the types that have the same size on both sides on x86_64: status
 * words and pointers 64 bits, handles and ISC_LONG 32 bits; the XSQLDA and
 * XSQLVAR structures have the same layout, so they pass through as they are.
 * The one exception is the transaction existence block of
 * isc_start_multiple, whose length field is a "long": 32 bits on Windows,
 * 64 bits on Linux. That array is copied with the length widened.
 *
 * The database string passes unchanged, so it names the server's own (Linux)
 * path of the database. */
#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#define LINUX __attribute__((sysv_abi))
#define WINAPI_ __attribute__((ms_abi))

typedef intptr_t status_t;      /* ISC_STATUS */
typedef unsigned int fb_handle; /* FB_API_HANDLE on 64-bit systems */
typedef int32_t isc_long_t;     /* ISC_LONG */
typedef struct xsqlda xsqlda_t; /* XSQLDA: same layout on both sides */
typedef struct isc_quad isc_quad_t;

/* The Linux client's entry points. */
LINUX status_t isc_attach_database(status_t*, short, const char*, fb_handle*, short, const char*);
LINUX status_t isc_detach_database(status_t*, fb_handle*);
LINUX status_t isc_database_info(status_t*, fb_handle*, short, const char*, short, char*);
LINUX status_t isc_start_multiple(status_t*, fb_handle*, short, void*);
LINUX status_t isc_commit_transaction(status_t*, fb_handle*);
LINUX status_t isc_commit_retaining(status_t*, fb_handle*);
LINUX status_t isc_rollback_transaction(status_t*, fb_handle*);
LINUX status_t isc_rollback_retaining(status_t*, fb_handle*);
LINUX status_t isc_dsql_allocate_statement(status_t*, fb_handle*, fb_handle*);
LINUX status_t isc_dsql_prepare(status_t*, fb_handle*, fb_handle*, unsigned short, const char*, unsigned short,
                                xsqlda_t*);
LINUX status_t isc_dsql_describe(status_t*, fb_handle*, unsigned short, xsqlda_t*);
LINUX status_t isc_dsql_describe_bind(status_t*, fb_handle*, unsigned short, xsqlda_t*);
LINUX status_t isc_dsql_execute(status_t*, fb_handle*, fb_handle*, unsigned short, const xsqlda_t*);
LINUX status_t isc_dsql_execute2(status_t*, fb_handle*, fb_handle*, unsigned short, const xsqlda_t*, const xsqlda_t*);
LINUX status_t isc_dsql_fetch(status_t*, fb_handle*, unsigned short, const xsqlda_t*);
LINUX status_t isc_dsql_free_statement(status_t*, fb_handle*, unsigned short);
LINUX status_t isc_dsql_sql_info(status_t*, fb_handle*, short, const char*, short, char*);
LINUX isc_long_t isc_vax_integer(const char*, short);
LINUX long long isc_portable_integer(const unsigned char*, short);
LINUX isc_long_t isc_interprete(char*, status_t**);
LINUX isc_long_t fb_interpret(char*, unsigned int, const status_t**);
LINUX isc_long_t isc_sqlcode(const status_t*);
LINUX void isc_sql_interprete(short, char*, short);
LINUX status_t isc_open_blob2(status_t*, fb_handle*, fb_handle*, fb_handle*, isc_quad_t*, unsigned short,
                              const unsigned char*);
LINUX status_t isc_create_blob2(status_t*, fb_handle*, fb_handle*, fb_handle*, isc_quad_t*, short, const char*);
LINUX status_t isc_get_segment(status_t*, fb_handle*, unsigned short*, unsigned short, char*);
LINUX status_t isc_put_segment(status_t*, fb_handle*, unsigned short, const char*);
LINUX status_t isc_close_blob(status_t*, fb_handle*);
LINUX status_t isc_cancel_blob(status_t*, fb_handle*);

/* The Linux client starts threads of its own (network and event work).
 * Wine's handlers of the asynchronous signals expect to run on a Wine thread:
 * a Ctrl+C (SIGINT) or a termination request that the kernel hands to one of
 * the client's threads would crash the process instead of reaching the
 * program's console handler. So every call runs with those signals blocked,
 * and the threads it starts inherit the mask; the calling thread gets its
 * own mask back afterwards (a signal that arrived meanwhile goes to another
 * thread or is delivered then).
 *
 * The client also installs handlers of its own for SIGINT and SIGTERM the
 * first time it is used (they shut its connections down before passing the
 * signal on). Under Wine those two signals are how a Ctrl+C and a stop reach
 * the program, and the program decides what to stop and when: the handlers
 * in place before each call are put back after it. */
static const int async_signals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
enum { async_count = sizeof async_signals / sizeof async_signals[0] };

struct saved_signals {
  sigset_t mask;
  struct sigaction actions[async_count];
};

static void block_async_signals(struct saved_signals* saved) {
  sigset_t set;
  sigemptyset(&set);
  for (int i = 0; i < async_count; ++i) sigaddset(&set, async_signals[i]);
  pthread_sigmask(SIG_BLOCK, &set, &saved->mask);
  for (int i = 0; i < async_count; ++i) sigaction(async_signals[i], NULL, &saved->actions[i]);
}
static void restore_signals(const struct saved_signals* saved) {
  for (int i = 0; i < async_count; ++i) sigaction(async_signals[i], &saved->actions[i], NULL);
  pthread_sigmask(SIG_SETMASK, &saved->mask, NULL);
}

/* Runs one forwarded call with the asynchronous signals blocked and their
 * handlers kept. */
#define FORWARD(type, call)       \
  do {                            \
    struct saved_signals saved_;  \
    block_async_signals(&saved_); \
    type result_ = call;          \
    restore_signals(&saved_);     \
    return result_;               \
  } while (0)

/* The exported side, named thunk_<entry point> (fbclient.def gives them the
 * client's names). The calls that only decode buffers or texts start no
 * threads and go straight through. */

WINAPI_ status_t thunk_isc_attach_database(status_t* st, short len, const char* name, fb_handle* db, short dpbLen,
                                           const char* dpb) {
  FORWARD(status_t, isc_attach_database(st, len, name, db, dpbLen, dpb));
}
WINAPI_ status_t thunk_isc_detach_database(status_t* st, fb_handle* db) {
  FORWARD(status_t, isc_detach_database(st, db));
}
WINAPI_ status_t thunk_isc_database_info(status_t* st, fb_handle* db, short itemLen, const char* items, short bufLen,
                                         char* buf) {
  FORWARD(status_t, isc_database_info(st, db, itemLen, items, bufLen, buf));
}

/* One transaction existence block as Windows lays it out (32-bit length)... */
struct win_teb {
  fb_handle* db;
  int32_t tpbLength;
  const char* tpb;
};
/* ...and as the Linux client reads it. */
struct linux_teb {
  fb_handle* db;
  long tpbLength;
  const char* tpb;
};
/* More databases than this in one transaction is refused by the client
 * itself long before; the program uses one. */
enum { kMaxTebs = 64 };

WINAPI_ status_t thunk_isc_start_multiple(status_t* st, fb_handle* tr, short count, void* vector) {
  struct linux_teb tebs[kMaxTebs];
  const struct win_teb* in = (const struct win_teb*)vector;
  if (count < 0 || count > kMaxTebs || (count > 0 && !in)) FORWARD(status_t, isc_start_multiple(st, tr, count, vector));
  for (short i = 0; i < count; ++i) {
    tebs[i].db = in[i].db;
    tebs[i].tpbLength = in[i].tpbLength;
    tebs[i].tpb = in[i].tpb;
  }
  FORWARD(status_t, isc_start_multiple(st, tr, count, count > 0 ? tebs : NULL));
}

WINAPI_ status_t thunk_isc_commit_transaction(status_t* st, fb_handle* tr) {
  FORWARD(status_t, isc_commit_transaction(st, tr));
}
WINAPI_ status_t thunk_isc_commit_retaining(status_t* st, fb_handle* tr) {
  FORWARD(status_t, isc_commit_retaining(st, tr));
}
WINAPI_ status_t thunk_isc_rollback_transaction(status_t* st, fb_handle* tr) {
  FORWARD(status_t, isc_rollback_transaction(st, tr));
}
WINAPI_ status_t thunk_isc_rollback_retaining(status_t* st, fb_handle* tr) {
  FORWARD(status_t, isc_rollback_retaining(st, tr));
}
WINAPI_ status_t thunk_isc_dsql_allocate_statement(status_t* st, fb_handle* db, fb_handle* stmt) {
  FORWARD(status_t, isc_dsql_allocate_statement(st, db, stmt));
}
WINAPI_ status_t thunk_isc_dsql_prepare(status_t* st, fb_handle* tr, fb_handle* stmt, unsigned short len,
                                        const char* sql, unsigned short dialect, xsqlda_t* out) {
  FORWARD(status_t, isc_dsql_prepare(st, tr, stmt, len, sql, dialect, out));
}
WINAPI_ status_t thunk_isc_dsql_describe(status_t* st, fb_handle* stmt, unsigned short version, xsqlda_t* out) {
  FORWARD(status_t, isc_dsql_describe(st, stmt, version, out));
}
WINAPI_ status_t thunk_isc_dsql_describe_bind(status_t* st, fb_handle* stmt, unsigned short version, xsqlda_t* in) {
  FORWARD(status_t, isc_dsql_describe_bind(st, stmt, version, in));
}
WINAPI_ status_t thunk_isc_dsql_execute(status_t* st, fb_handle* tr, fb_handle* stmt, unsigned short version,
                                        const xsqlda_t* in) {
  FORWARD(status_t, isc_dsql_execute(st, tr, stmt, version, in));
}
WINAPI_ status_t thunk_isc_dsql_execute2(status_t* st, fb_handle* tr, fb_handle* stmt, unsigned short version,
                                         const xsqlda_t* in, const xsqlda_t* out) {
  FORWARD(status_t, isc_dsql_execute2(st, tr, stmt, version, in, out));
}
WINAPI_ status_t thunk_isc_dsql_fetch(status_t* st, fb_handle* stmt, unsigned short version, const xsqlda_t* out) {
  FORWARD(status_t, isc_dsql_fetch(st, stmt, version, out));
}
WINAPI_ status_t thunk_isc_dsql_free_statement(status_t* st, fb_handle* stmt, unsigned short option) {
  FORWARD(status_t, isc_dsql_free_statement(st, stmt, option));
}
WINAPI_ status_t thunk_isc_dsql_sql_info(status_t* st, fb_handle* stmt, short itemLen, const char* items, short bufLen,
                                         char* buf) {
  FORWARD(status_t, isc_dsql_sql_info(st, stmt, itemLen, items, bufLen, buf));
}
WINAPI_ isc_long_t thunk_isc_vax_integer(const char* p, short len) { return isc_vax_integer(p, len); }
WINAPI_ long long thunk_isc_portable_integer(const unsigned char* p, short len) { return isc_portable_integer(p, len); }
WINAPI_ isc_long_t thunk_isc_interprete(char* buf, status_t** st) { return isc_interprete(buf, st); }
WINAPI_ isc_long_t thunk_fb_interpret(char* buf, unsigned int size, const status_t** st) {
  return fb_interpret(buf, size, st);
}
WINAPI_ isc_long_t thunk_isc_sqlcode(const status_t* st) { return isc_sqlcode(st); }
WINAPI_ void thunk_isc_sql_interprete(short code, char* buf, short len) { isc_sql_interprete(code, buf, len); }
WINAPI_ status_t thunk_isc_open_blob2(status_t* st, fb_handle* db, fb_handle* tr, fb_handle* blob, isc_quad_t* id,
                                      unsigned short bpbLen, const unsigned char* bpb) {
  FORWARD(status_t, isc_open_blob2(st, db, tr, blob, id, bpbLen, bpb));
}
WINAPI_ status_t thunk_isc_create_blob2(status_t* st, fb_handle* db, fb_handle* tr, fb_handle* blob, isc_quad_t* id,
                                        short bpbLen, const char* bpb) {
  FORWARD(status_t, isc_create_blob2(st, db, tr, blob, id, bpbLen, bpb));
}
WINAPI_ status_t thunk_isc_get_segment(status_t* st, fb_handle* blob, unsigned short* got, unsigned short size,
                                       char* buf) {
  FORWARD(status_t, isc_get_segment(st, blob, got, size, buf));
}
WINAPI_ status_t thunk_isc_put_segment(status_t* st, fb_handle* blob, unsigned short len, const char* buf) {
  FORWARD(status_t, isc_put_segment(st, blob, len, buf));
}
WINAPI_ status_t thunk_isc_close_blob(status_t* st, fb_handle* blob) { FORWARD(status_t, isc_close_blob(st, blob)); }
WINAPI_ status_t thunk_isc_cancel_blob(status_t* st, fb_handle* blob) { FORWARD(status_t, isc_cancel_blob(st, blob)); }
