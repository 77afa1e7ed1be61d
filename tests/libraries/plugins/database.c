/* A database library with one view of one field: open makes the view
   "rows" (primary) with the variable "value"; each fetch counts, so a test
   can see when the host asks again; store keeps the last committed text;
   add commits and echoes what it got. Everything else is left out, so the
   host must call it unsupported. DATABASE_VERSION picks the descriptor
   version (default the current one). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orin/plugin.h"

#ifndef DATABASE_VERSION
#define DATABASE_VERSION ZT_DATABASE_TABLE_VERSION
#endif

typedef struct {
  int fetches;
  char stored[64];
  char error[128];
  char opened[256];
} State;

static State* state_of(ztDatabase* db) {
  State* s = (State*)ztDatabase_data(db);
  if (s == NULL) {
    s = (State*)calloc(1, sizeof(State));
    ztDatabase_SetData(db, s);
  }
  return s;
}

static int make_view(ztDatabase* db) {
  ztDatabaseView* view = ztDatabase_AddView(db, "rows", -1, db);
  if (view == NULL) return 0;
  if (ztDatabaseView_AddVariable(view, "value", -1, NULL) == NULL) return 0;
  return ztDatabase_SetPrimaryView(db, view);
}

#if DATABASE_VERSION >= 3
/* Version 3 and later: file, name, texts 1 to 3. */
static int open3(ztDatabase* db, const char* file, int32_t file_length, const char* name,
                 int32_t name_length, const char* t1, int32_t l1, const char* t2, int32_t l2,
                 const char* t3, int32_t l3) {
  State* s = state_of(db);
  snprintf(s->opened, sizeof s->opened, "%.*s|%.*s|%.*s|%.*s|%.*s", (int)file_length, file,
           (int)name_length, name, (int)l1, t1, (int)l2, t2, (int)l3, t3);
  if (file_length == 4 && memcmp(file, "fail", 4) == 0) {
    strcpy(s->error, "the library refused");
    return 0;
  }
  return make_view(db);
}

#else
/* Version 1: file, texts 1 and 2. */
static int open1(ztDatabase* db, const char* file, int32_t file_length, const char* t1,
                 int32_t l1, const char* t2, int32_t l2) {
  State* s = state_of(db);
  snprintf(s->opened, sizeof s->opened, "%.*s|%.*s|%.*s", (int)file_length, file, (int)l1, t1,
           (int)l2, t2);
  return make_view(db);
}
#endif

static int close_db(ztDatabase* db) {
#if DATABASE_VERSION < 6
  /* Before version 6 the host has no release call: close gives it back. */
  free(ztDatabase_data(db));
  ztDatabase_SetData(db, NULL);
#else
  (void)db;
#endif
  return 1;
}

static const char* error(ztDatabase* db) {
  return state_of(db)->error;
}

static int add(ztDatabaseView* view) {
  State* s = state_of(ztDatabaseView_Database(view));
  s->stored[0] = 0;
  ztDatabaseView_Commit(view);
  if (strcmp(s->stored, "bad") == 0) {
    strcpy(s->error, "the view refused");
    return 0;
  }
  ztDatabaseView_SetDirty(view);
  return 1;
}

static const char* view_error(ztDatabaseView* view) {
  return state_of(ztDatabaseView_Database(view))->error;
}

static void fetch(ztDatabaseVariable* v) {
  ztDatabase* db = ztDatabaseView_Database(ztDatabaseVariable_DatabaseView(v));
  State* s = state_of(db);
  char text[400];
  s->fetches++;
  snprintf(text, sizeof text, "fetch %d [%s] {%s}", s->fetches, s->stored, s->opened);
  ztVariable_SetValue((ztVariable*)v, text, -1);
}

static void store(ztDatabaseVariable* v, const char* value, int32_t length) {
  State* s = state_of(ztDatabaseView_Database(ztDatabaseVariable_DatabaseView(v)));
  snprintf(s->stored, sizeof s->stored, "%.*s", (int)length, value);
}

static void release(ztDatabase* db) {
  free(ztDatabase_data(db));
  ztDatabase_SetData(db, NULL);
}

static ztDatabaseTable table;

const ztDatabaseTable* zeto_database_library(void) {
  table.version = DATABASE_VERSION;
#if DATABASE_VERSION >= 3
  table.open = open3;
#else
  table.open = (int (*)(ztDatabase*, const char*, int32_t, const char*, int32_t, const char*,
                        int32_t, const char*, int32_t, const char*, int32_t))(void (*)(void))open1;
#endif
  table.close = close_db;
  table.error = error;
  table.add = add;
  table.view_error = view_error;
  table.fetch = fetch;
  table.store = store;
  table.release = release;
  return &table;
}
