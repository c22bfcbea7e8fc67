/* A Windows program that proves fbclient.dll under Wine: it loads the client
 * library by its Windows name, attaches to a database, runs one statement in
 * a transaction, reads a one-column result and reads the error texts of a
 * failing statement through fb_interpret.
 *
 *   thunk_check.exe <database> <user> <password>
 *
 * Prints what it did, one line per step, and exits 0 when every step went as
 * expected; 1 otherwise. Built with MinGW for the tests of the thunk only. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

typedef intptr_t status_t;
typedef unsigned int fb_handle;

typedef struct {
  short sqltype, sqlscale, sqlsubtype, sqllen;
  char* sqldata;
  short* sqlind;
  short sqlname_length;
  char sqlname[32];
  short relname_length;
  char relname[32];
  short ownname_length;
  char ownname[32];
  short aliasname_length;
  char aliasname[32];
} xsqlvar_t;

typedef struct {
  short version;
  char sqldaid[8];
  int32_t sqldabc;
  short sqln, sqld;
  xsqlvar_t sqlvar[1];
} xsqlda_t;

typedef struct {
  fb_handle* db;
  long tpbLength; /* 32 bits on Windows */
  const char* tpb;
} teb_t;

typedef status_t(__stdcall* attach_fn)(status_t*, short, const char*, fb_handle*, short, const char*);
typedef status_t(__stdcall* handle_fn)(status_t*, fb_handle*);
typedef status_t(__stdcall* start_fn)(status_t*, fb_handle*, short, void*);
typedef status_t(__stdcall* alloc_fn)(status_t*, fb_handle*, fb_handle*);
typedef status_t(__stdcall* prepare_fn)(status_t*, fb_handle*, fb_handle*, unsigned short, const char*, unsigned short,
                                        xsqlda_t*);
typedef status_t(__stdcall* execute_fn)(status_t*, fb_handle*, fb_handle*, unsigned short, const xsqlda_t*);
typedef status_t(__stdcall* fetch_fn)(status_t*, fb_handle*, unsigned short, const xsqlda_t*);
typedef status_t(__stdcall* free_fn)(status_t*, fb_handle*, unsigned short);
typedef int32_t(__stdcall* interpret_fn)(char*, unsigned int, const status_t**);
typedef int32_t(__stdcall* sqlcode_fn)(const status_t*);

static HMODULE lib;
static void* need(const char* name) {
  void* p = (void*)GetProcAddress(lib, name);
  if (!p) {
    printf("missing entry point %s\n", name);
    exit(1);
  }
  return p;
}

static interpret_fn interpret;
static int failed(const char* what, const status_t* st) {
  if (st[0] != 1 || st[1] == 0) return 0;
  char buf[512];
  const status_t* p = st;
  printf("%s failed:", what);
  while (interpret(buf, sizeof buf, &p) > 0) printf(" [%s]", buf);
  printf("\n");
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    printf("usage: thunk_check <database> <user> <password>\n");
    return 2;
  }
  lib = LoadLibraryA("fbclient.dll");
  if (!lib) {
    printf("LoadLibrary fbclient.dll failed: %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  printf("loaded fbclient.dll\n");
  attach_fn attach = (attach_fn)need("isc_attach_database");
  handle_fn detach = (handle_fn)need("isc_detach_database");
  start_fn start = (start_fn)need("isc_start_multiple");
  handle_fn commit = (handle_fn)need("isc_commit_transaction");
  alloc_fn alloc = (alloc_fn)need("isc_dsql_allocate_statement");
  prepare_fn prepare = (prepare_fn)need("isc_dsql_prepare");
  execute_fn execute = (execute_fn)need("isc_dsql_execute");
  fetch_fn fetch = (fetch_fn)need("isc_dsql_fetch");
  free_fn release = (free_fn)need("isc_dsql_free_statement");
  sqlcode_fn sqlcode = (sqlcode_fn)need("isc_sqlcode");
  interpret = (interpret_fn)need("fb_interpret");

  /* Database parameter block: version 1, user name (28), password (29). */
  char dpb[256];
  int n = 0;
  dpb[n++] = 1;
  dpb[n++] = 28;
  dpb[n++] = (char)strlen(argv[2]);
  memcpy(dpb + n, argv[2], strlen(argv[2]));
  n += (int)strlen(argv[2]);
  dpb[n++] = 29;
  dpb[n++] = (char)strlen(argv[3]);
  memcpy(dpb + n, argv[3], strlen(argv[3]));
  n += (int)strlen(argv[3]);

  status_t st[20] = {0};
  fb_handle db = 0, tr = 0, stmt = 0;
  if (attach(st, 0, argv[1], &db, (short)n, dpb), failed("attach", st)) return 1;
  printf("attached\n");
  /* Transaction parameter block: version 3, write, read_committed, rec_version, nowait. */
  static const char tpb[] = {3, 9, 15, 17, 7};
  teb_t teb = {&db, sizeof tpb, tpb};
  if (start(st, &tr, 1, &teb), failed("start", st)) return 1;
  printf("transaction started\n");
  if (alloc(st, &db, &stmt), failed("allocate", st)) return 1;

  xsqlda_t out;
  memset(&out, 0, sizeof out);
  out.version = 1;
  out.sqln = 1;
  const char* sql = "SELECT CAST(6 * 7 AS INTEGER) FROM RDB$DATABASE";
  if (prepare(st, &tr, &stmt, 0, sql, 3, &out), failed("prepare", st)) return 1;
  int32_t value = 0;
  short ind = 0;
  out.sqlvar[0].sqldata = (char*)&value;
  out.sqlvar[0].sqlind = &ind;
  if (execute(st, &tr, &stmt, 1, NULL), failed("execute", st)) return 1;
  if (fetch(st, &stmt, 1, &out) != 0 && failed("fetch", st)) return 1;
  printf("result %d (columns %d, type %d)\n", (int)value, out.sqld, out.sqlvar[0].sqltype & ~1);
  if (release(st, &stmt, 2 /* DSQL_drop */), failed("free", st)) return 1;

  /* A failing statement: its texts come back through fb_interpret. */
  fb_handle bad = 0;
  if (alloc(st, &db, &bad), failed("allocate", st)) return 1;
  memset(&out, 0, sizeof out);
  out.version = 1;
  out.sqln = 1;
  prepare(st, &tr, &bad, 0, "SELECT NO_SUCH_COLUMN FROM RDB$DATABASE", 3, &out);
  int expected = failed("bad statement", st);
  printf("sqlcode %d\n", (int)sqlcode(st));
  release(st, &bad, 2);

  if (commit(st, &tr), failed("commit", st)) return 1;
  if (detach(st, &db), failed("detach", st)) return 1;
  printf("detached\n");
  return value == 42 && expected ? 0 : 1;
}
