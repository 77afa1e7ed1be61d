/*
 * orin/plugin.h: the C interface between the Orin script server and its
 * plug-in libraries.
 *
 * A plug-in is a shared library that the server loads at run time. It
 * exports one descriptor symbol for its kind (see "Descriptor tables") and
 * calls back into the server through the functions declared here, which the
 * `orin` executable exports under these exact names.
 *
 * Building a plug-in needs only this header:
 *
 *     cc -shared -fPIC -o libmyfuncs.so myfuncs.c $(pkg-config --cflags orin-plugin)
 *
 * Do not link against anything of the server: the calls resolve against the
 * running `orin` executable when the plug-in is loaded. A plug-in that
 * prefers to bind by name may instead export
 *
 *     void zeto_register_library(void *host);
 *
 * (or "ZetoRegisterLibrary"); it is called once after loading with the
 * host's module handle (dlopen(NULL)), on which dlsym() finds every function
 * below.
 *
 * The standard function library that ships with the server (liborin_std.so)
 * is registered by default, after the builtin libraries the settings name
 * (so a site's own library can stand in for one of its functions). The
 * server looks for it in <directory of the orin executable>/../lib/orin/
 * (the installed layout), then in <build tree>/lib/orin/.
 *
 * Conventions
 *  - Handles are opaque pointers to host objects, valid only during the call
 *    into the library that received them (or, for objects the library made,
 *    until it frees them). Never keep a ztProgram beyond one script run.
 *  - Texts are pointer + length. Where a length parameter is documented as
 *    accepting -1, the text is NUL-terminated and measured. NUL bytes are
 *    data otherwise. Old-family (zeto_...) functions take NUL-terminated
 *    texts only.
 *  - Returned texts are either BORROWED (pointer into a host object; valid
 *    until that object changes or is released; never free it) or ALLOCATED
 *    (release with ztProgram_Free; any program handle, or NULL, will do).
 *    Each function says which. Optional out-parameters may be NULL.
 *  - Current-family predicates return 1 or 0; look-ups return the object or
 *    NULL. Old-family file operations return 0 on success and -1 on failure.
 *  - ztVariable_Allocate / _Allocate_Copy / zeto_variable_new return a
 *    variable with one reference owned by the caller until it is stored or
 *    released (ztVariable_Free / zeto_variable_delete). Elements, members and
 *    scope entries returned by look-ups are borrowed from their container.
 *  - File areas: 0 data, 1 script, 2 temporary.
 *  - Functions are called on the thread running the calling script; objects
 *    of one run are never shared between threads, so entry points of a
 *    library must be reentrant but need no locks for host objects.
 *
 * Functions of the database family (ztDatabase*) are always exported; in a
 * server built without external databases they fail.
 */
#ifndef ORIN_PLUGIN_H_
#define ORIN_PLUGIN_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZT_EXPORT __attribute__((visibility("default")))
#else
#define ZT_EXPORT
#endif

/* ---- Handles ------------------------------------------------------------ */

typedef struct ztProgram ztProgram;           /* the running script */
typedef struct ztVariable ztVariable;         /* a script value */
typedef struct ztVariableList ztVariableList; /* ordered list with a cursor */
typedef struct ztVariableHash ztVariableHash; /* a scope (old name: tree) */
typedef struct ztLinkBuffer ztLinkBuffer;     /* growable byte string */
typedef struct ztFile ztFile;                 /* an open sandboxed file */
typedef struct ztNetworkConnection ztNetworkConnection;
typedef struct ztHTTPResponse ztHTTPResponse;
typedef struct ztDatabase ztDatabase;
typedef struct ztDatabaseView ztDatabaseView;
/* A database variable is a variable: it may be passed as a ztVariable*. */
typedef struct ztDatabaseVariable ztDatabaseVariable;
typedef struct ztConfig ztConfig; /* configuration being loaded */
typedef struct ztSystemLibrary ztSystemLibrary;
typedef struct ztSegment ztSegment; /* compiled dynamic expression */

/* ---- Codes -------------------------------------------------------------- */

/* Library types, as passed when a library is opened. */
#define ZT_LIBRARY_BUILTIN 0
#define ZT_LIBRARY_COMMERCE 1
#define ZT_LIBRARY_CONFIGURATION 2
#define ZT_LIBRARY_DATABASE 3
#define ZT_LIBRARY_SYSTEM 4

/* ztVariable_Type */
#define ZT_TYPE_OTHER (-1)
#define ZT_TYPE_NONE 0
#define ZT_TYPE_INTEGER 1
#define ZT_TYPE_DECIMAL 2
#define ZT_TYPE_TEXT 3
#define ZT_TYPE_STRUCTURE 4
#define ZT_TYPE_ARRAY 5

/* ztVariable_Aggregate_Type, zeto_variable_aggregate_type */
#define ZT_AGGREGATE_OTHER (-1)
#define ZT_AGGREGATE_SCALAR 0
#define ZT_AGGREGATE_ARRAY 1
#define ZT_AGGREGATE_STRUCTURE 2

/* Parameter flags in ztFunctionParameter.flags; must equal the script's
   declaration of the parameter. */
#define ZT_PARAMETER_BY_VALUE 0u
#define ZT_PARAMETER_BY_REFERENCE 1u

/* Configuration keys carry their kind in bits 24-27. */
#define ZT_SETTING_INTEGER 0x01000000u
#define ZT_SETTING_TEXT 0x02000000u
#define ZT_SETTING_KIND_MASK 0x0F000000u

/* File areas */
#define ZT_AREA_DATA 0
#define ZT_AREA_SCRIPT 1
#define ZT_AREA_TEMPORARY 2

/* ztFile_Open mode bits */
#define ZT_FILE_READ 1u
#define ZT_FILE_WRITE 2u
#define ZT_FILE_CREATE 4u
#define ZT_FILE_TRUNCATE 8u
#define ZT_FILE_APPEND 16u
#define ZT_FILE_CREATE_NEW 32u
#define ZT_FILE_UNMANAGED 64u
#define ZT_FILE_MUST_EXIST 128u

/* ztFile_LockFile results */
#define ZT_LOCK_ACQUIRED 0
#define ZT_LOCK_TIMED_OUT 1
#define ZT_LOCK_ERROR 2
#define ZT_LOCK_DEADLOCK 3

/* ztProgram_JSON_Encode options */
#define ZT_JSON_INDENT 1u
#define ZT_JSON_LITERALS 2u

/* ---- Descriptor tables -------------------------------------------------- */

/* Builtin function library: export
       const ztFunctionTable *zeto_function_table(void);
   The table and everything it points to must stay valid while loaded. */

/* Called with (program, parameter scope, result variable, address of the
   call's persistent data word). Parameters are the scope's entries 0, 1, ...
   in declaration order (ztVariableHash_Index). When the call site goes away
   and *data is not NULL, the entry is called once more with
   (NULL, NULL, NULL, data) so that it can free its data. */
typedef void (*ztFunctionEntryPoint)(ztProgram* program, ztVariableHash* parameters,
                                     ztVariable* result, void** data);

typedef struct ztFunctionParameter {
  uint8_t reserved[12]; /* not read */
  uint32_t flags;       /* ZT_PARAMETER_BY_VALUE or ZT_PARAMETER_BY_REFERENCE */
} ztFunctionParameter;

typedef struct ztFunctionEntry {
  const char* name; /* NULL ends the array; matched ignoring ASCII case */
  uint32_t name_length;
  uint32_t parameter_count;
  const ztFunctionParameter* parameters; /* parameter_count records */
  ztFunctionEntryPoint entry;
} ztFunctionEntry;

typedef struct ztFunctionTable {
  void* reserved; /* for the library; not read */
  const ztFunctionEntry* entries;
} ztFunctionTable;

/* Commerce library: export
       const ztCommerceTable *zeto_commerce_library(void);
   or the four functions zeto_commerce_init, zeto_commerce_loop,
   zeto_commerce_cleanup and zeto_commerce_error (all four).
   `context` points to a word, 0 at first, where the library keeps its own
   state for one ZtCOMMERCE block. method and action are NUL-terminated. */
typedef int (*ztCommerceInit)(ztProgram* program, void** context, const char* method,
                              const char* action, ztVariableList* fields, ztVariableHash* system);
/* Returns 0 to run the block body (again), 1 on failure, else ends the block.
   iteration is 0 on the first call, then 1, 2, ... */
typedef int (*ztCommerceLoop)(ztProgram* program, void** context, const char* method,
                              const char* action, ztVariableList* fields, ztVariableHash* system,
                              int32_t iteration);
typedef void (*ztCommerceCleanup)(ztProgram* program, void** context, const char* method,
                                  const char* action, ztVariableList* fields);
/* NUL-terminated, borrowed from the library. */
typedef const char* (*ztCommerceError)(ztProgram* program, void** context, const char* method,
                                       const char* action, ztVariableList* fields);

typedef struct ztCommerceTable {
  void* reserved;
  ztCommerceInit init;
  ztCommerceLoop loop;
  ztCommerceCleanup cleanup;
  ztCommerceError error;
} ztCommerceTable;

/* Configuration library: export
       const ztConfigTable *zeto_config_library(void);
   Every entry may be NULL. Texts are NUL-terminated. */
typedef struct ztConfigTable {
  int32_t version; /* 1 is the old interface; use 2 */
  int32_t padding;
  /* Opening arguments: the configuration file the server read (may be ""),
     the library's own path, and the library's option text (may be "").
     Returns 0 on success. */
  int (*init)(ztConfig* config, void* context, const char* config_path, const char* library_path,
              const char* options);
  void* old_script_load; /* version 1 only; must be NULL */
  /* Return 0 when the key is supplied. */
  int (*get_integer)(ztConfig* config, void* context, uint32_t key, int32_t* value);
  /* The text stays the library's; the host copies it at once. */
  int (*get_text)(ztConfig* config, void* context, uint32_t key, const char** bytes,
                  int32_t* length, int32_t* capacity);
  const char* (*error)(ztConfig* config, void* context);
  void (*cleanup)(ztConfig* config, void* context);
  /* Per-script load: the script path (relative to the script area) and its
     length. Returns 0 on success. */
  int (*script_load)(ztConfig* config, void* context, const char* script_path,
                     int32_t script_path_length);
} ztConfigTable;

/* Database library: export
       const ztDatabaseTable *zeto_database_library(void);
   The table serves the database type the library is registered under
   (a database type name chosen in ZtOPEN / ZtCREATE). Every function entry
   may be NULL: the operation is then reported as unsupported (commit,
   rollback and transact succeed without it). Functions returning int give
   1 on success and 0 on failure, the failure's text coming from `error` or
   `view_error`. Texts are pointer + length (not NUL-terminated).

   The library builds its views with ztDatabase_AddView and their field
   variables with ztDatabaseView_AddVariable. A field variable asks for its
   value through `fetch` whenever the view was marked dirty
   (ztDatabaseView_SetDirty, after navigation); `fetch` stores the text with
   ztVariable_SetValue (or leaves it empty for NULL). Values the script
   assigns are kept by the host until the library calls
   ztDatabaseView_Commit (in add and update), which hands each changed
   variable to `store` once. System library: any symbols, found through
   ztSystemLibrary_GetFunction. */
#define ZT_DATABASE_TABLE_VERSION 6

typedef struct ztDatabaseTable {
  int32_t version; /* ZT_DATABASE_TABLE_VERSION */
  int32_t padding;
  /* ZtCREATE: file, database name, field specification. */
  int (*create)(ztDatabase* db, const char* file, int32_t file_length, const char* name,
                int32_t name_length, const char* fields, int32_t fields_length);
  /* ZtOPEN (version 3 and later): file, database name, texts 1 to 3. */
  int (*open)(ztDatabase* db, const char* file, int32_t file_length, const char* name,
              int32_t name_length, const char* text1, int32_t text1_length, const char* text2,
              int32_t text2_length, const char* text3, int32_t text3_length);
  int (*close)(ztDatabase* db);
  /* ZtOPENVIEW: its three texts. */
  int (*open_view)(ztDatabase* db, const char* text1, int32_t text1_length, const char* text2,
                   int32_t text2_length, const char* text3, int32_t text3_length);
  /* ZtQUERY: its two texts. */
  int (*query)(ztDatabase* db, const char* text1, int32_t text1_length, const char* text2,
               int32_t text2_length);
  int (*pack)(ztDatabase* db);
  /* ZtPRIMARY with INDEXES. */
  int (*select_main_index)(ztDatabase* db, const char* index, int32_t index_length);
  /* ZtMAKEINDEX: file name, expression, flags. */
  int (*make_index)(ztDatabase* db, const char* file, int32_t file_length, const char* expression,
                    int32_t expression_length, const char* flags, int32_t flags_length);
  /* ZtOPEN with INDEXES, ZtSETINDEX. */
  int (*set_indexes)(ztDatabase* db, const char* list, int32_t list_length);
  int (*reindex)(ztDatabase* db);
  /* Borrowed from the library, NUL-terminated. */
  const char* (*error)(ztDatabase* db);
  /* Closes one view (ZtCLOSEVIEW, and each view when its database closes). */
  int (*view_close)(ztDatabaseView* view);
  int (*skip)(ztDatabaseView* view, int32_t count);
  /* Row -1 is "top", -2 "bottom", else a record number. */
  int (*go)(ztDatabaseView* view, int64_t row);
  int (*add)(ztDatabaseView* view);
  int (*remove)(ztDatabaseView* view); /* ZtDELETE */
  int (*undelete)(ztDatabaseView* view);
  int (*update)(ztDatabaseView* view);
  int (*filter)(ztDatabaseView* view, const char* expression, int32_t expression_length);
  int (*find)(ztDatabaseView* view, const char* value, int32_t value_length, int exact);
  int (*reveal_to_file)(ztDatabaseView* view, const char* file, int32_t file_length);
  /* Fills `target` with an array of structures FIELD_NAME, FIELD_TYPE,
     FIELD_LEN, FIELD_DEC. */
  int (*reveal_to_variable)(ztDatabaseView* view, ztVariable* target);
  /* Borrowed from the library, NUL-terminated. */
  const char* (*view_error)(ztDatabaseView* view);
  /* Field variables. */
  void (*fetch)(ztDatabaseVariable* variable);
  /* A value the script assigned, handed over by ztDatabaseView_Commit. */
  void (*store)(ztDatabaseVariable* variable, const char* value, int32_t value_length);
  void* reserved_variable[4];
  /* The field variable is being destroyed: release its data. */
  void (*variable_free)(ztDatabaseVariable* variable);
  int (*commit)(ztDatabase* db);   /* version 2 and later */
  int (*rollback)(ztDatabase* db); /* version 2 and later */
  void* reserved;
  int (*transact)(ztDatabase* db); /* version 5 and later */
  /* ZtDBCOMMAND: its two texts (version 5 and later). */
  int (*command)(ztDatabase* db, const char* text1, int32_t text1_length, const char* text2,
                 int32_t text2_length);
  /* The database is destroyed and holds data (version 6 and later). */
  void (*release)(ztDatabase* db);
} ztDatabaseTable;

/* Optional registration symbol (see the top of this file). */
typedef void (*ztRegisterLibrary)(void* host);

/* ======================================================================== */
/* Current family                                                           */
/* ======================================================================== */

/* ---- Variables ---------------------------------------------------------- */

/* New text variable; lengths accept -1. Caller owns one reference. */
ZT_EXPORT ztVariable* ztVariable_Allocate(const char* name, int32_t name_length, const char* value,
                                          int32_t value_length);
/* Deep copy of name and value. Caller owns one reference. */
ZT_EXPORT ztVariable* ztVariable_Allocate_Copy(ztVariable* v);
/* Drops one reference. */
ZT_EXPORT void ztVariable_Free(ztVariable* v);
/* Borrowed name. */
ZT_EXPORT const char* ztVariable_Name(ztVariable* v, int32_t* length);
/* Borrowed text of the value (never NULL). */
ZT_EXPORT const char* ztVariable_Value(ztVariable* v, int32_t* length);
ZT_EXPORT int32_t ztVariable_Value_Integer(ztVariable* v);
ZT_EXPORT double ztVariable_Value_Double(ztVariable* v);
/* Allocated decimal text. */
ZT_EXPORT char* ztVariable_Value_Decimal_String(ztVariable* v, int32_t* length, int32_t* capacity);
/* 1 with digits before and after the point, 0 when not a number. */
ZT_EXPORT int ztVariable_Value_Decimal_Size(ztVariable* v, int32_t* digits, int32_t* places);
/* Allocated copy of the text without its NUL bytes. */
ZT_EXPORT char* ztVariable_Value_NS(ztVariable* v, int32_t* length, int32_t* capacity);
/* Text assignment; length accepts -1. */
ZT_EXPORT void ztVariable_SetValue(ztVariable* v, const char* bytes, int32_t length);
/* Takes ownership of `bytes`, which must come from ztProgram_Allocate. */
ZT_EXPORT void ztVariable_SetValue_Nocopy(ztVariable* v, char* bytes, int32_t length,
                                          int32_t capacity);
ZT_EXPORT void ztVariable_SetValue_Integer(ztVariable* v, int32_t value);
ZT_EXPORT void ztVariable_SetValue_Double(ztVariable* v, double value);
/* Length accepts -1. Returns 1, or 0 when the text is not a number. */
ZT_EXPORT int ztVariable_SetValue_Decimal_String(ztVariable* v, const char* bytes, int32_t length);
/* Assignment (copy) of `source` to `v`. */
ZT_EXPORT void ztVariable_SetValue_Variable(ztVariable* v, ztVariable* source);
/* ZT_TYPE_... */
ZT_EXPORT int ztVariable_Type(ztVariable* v);
/* ZT_AGGREGATE_... */
ZT_EXPORT int ztVariable_Aggregate_Type(ztVariable* v);
ZT_EXPORT int ztVariable_IsTrue(ztVariable* v);
ZT_EXPORT int ztVariable_IsNULL(ztVariable* v);
/* Borrowed element / member, created when `create` is non-zero, else NULL
   when absent. Note the index or name comes first. */
ZT_EXPORT ztVariable* ztVariable_Array_Element(int32_t index, ztVariable* v, int create);
ZT_EXPORT ztVariable* ztVariable_Struct_Member(const char* name, int32_t name_length, ztVariable* v,
                                               int create);
/* Stores `element` itself (shared, the container adds a reference). */
ZT_EXPORT int ztVariable_Set_Array_Element(int32_t index, ztVariable* element, ztVariable* v);
ZT_EXPORT int ztVariable_Set_Struct_Member(const char* name, int32_t name_length,
                                           ztVariable* element, ztVariable* v);
/* Inserts before `index`, renumbering the elements after it. */
ZT_EXPORT int ztVariable_Insert_Array_Element(int32_t index, ztVariable* element, ztVariable* v);
ZT_EXPORT int ztVariable_Delete_Array_Elements(int32_t index, int32_t count, int renumber,
                                               ztVariable* v);
ZT_EXPORT int ztVariable_Delete_Struct_Member(const char* name, int32_t name_length, ztVariable* v);
/* Copies `count` elements of `source` from `start` into `target` at
   `position`; `copy` non-zero copies values, zero shares the elements.
   Merge renumbers the target's later elements instead of replacing them. */
ZT_EXPORT int ztVariable_Array_Copy(ztVariable* source, int32_t start, int32_t count,
                                    ztVariable* target, int32_t position, int copy);
ZT_EXPORT int ztVariable_Array_Merge(ztVariable* source, int32_t start, int32_t count,
                                     ztVariable* target, int32_t position, int copy);
/* Renumbers the elements 1..n keeping their order. */
ZT_EXPORT int ztVariable_Array_Collapse(ztVariable* v);
/* Smallest / largest index, 0 when there are no elements. */
ZT_EXPORT int32_t ztVariable_Array_Min(ztVariable* v);
ZT_EXPORT int32_t ztVariable_Array_Max(ztVariable* v);
/* The next / previous used index after / before `index`, 0 when none. */
ZT_EXPORT int32_t ztVariable_Array_Next(ztVariable* v, int32_t index);
ZT_EXPORT int32_t ztVariable_Array_Previous(ztVariable* v, int32_t index);
/* Number of elements or members. */
ZT_EXPORT int32_t ztVariable_ElementsUsed(ztVariable* v);
/* Empties `list`, then appends for each element in key order a reference
   named by its key text ("[3]", ":name"). Returns the count. */
ZT_EXPORT int32_t ztVariable_Aggregate_List(ztVariable* v, ztVariableList* list);
/* Makes `v` a reference to `target`. */
ZT_EXPORT int ztVariable_Make_Reference(ztVariable* v, ztVariable* target);
/* Makes `v` a structure whose missing members the named script function
   supplies (called with the member name and `data`). */
ZT_EXPORT int ztVariable_Make_CallbackStruct(ztVariable* v, ztProgram* program,
                                             const char* function, int32_t function_length,
                                             ztVariable* data);
/* One step along a reference chain / its end; `v` itself when no reference. */
ZT_EXPORT ztVariable* ztVariable_NextIdentity(ztVariable* v);
ZT_EXPORT ztVariable* ztVariable_RealIdentity(ztVariable* v);

/* ---- Variable lists ----------------------------------------------------- */

ZT_EXPORT ztVariableList* ztVariableList_Allocate(void);
/* Releases the entries and the list. */
ZT_EXPORT void ztVariableList_Free(ztVariableList* list);
/* Appends; the list takes its own reference. */
ZT_EXPORT int ztVariableList_Insert(ztVariableList* list, ztVariable* v);
ZT_EXPORT int32_t ztVariableList_Entries(ztVariableList* list);
/* Cursor walk; borrowed, NULL at the end. */
ZT_EXPORT ztVariable* ztVariableList_First(ztVariableList* list);
ZT_EXPORT ztVariable* ztVariableList_Next(ztVariableList* list);
ZT_EXPORT ztVariable* ztVariableList_Current(ztVariableList* list);
/* First variable of that name (ASCII case ignored); length accepts -1. */
ZT_EXPORT ztVariable* ztVariableList_Find(ztVariableList* list, const char* name,
                                          int32_t name_length);
/* The existing variable of that name unchanged, else a new text variable
   appended. Borrowed. Lengths accept -1. */
ZT_EXPORT ztVariable* ztVariableList_SetVariable(ztVariableList* list, const char* name,
                                                 int32_t name_length, const char* value,
                                                 int32_t value_length);
/* Releases every entry; the list stays. */
ZT_EXPORT void ztVariableList_Dump(ztVariableList* list);

/* ---- Scopes ------------------------------------------------------------- */

ZT_EXPORT ztVariableHash* ztVariableHash_Allocate(void);
ZT_EXPORT void ztVariableHash_Free(ztVariableHash* hash);
/* Adds `v` under its name (the scope takes its own reference); returns the
   entry number or -1 when the name is taken. */
ZT_EXPORT int32_t ztVariableHash_Insert(ztVariableHash* hash, ztVariable* v);
/* The entry of that name, its variable created on demand; NULL when the
   name is not in the scope. Length accepts -1. Borrowed. */
ZT_EXPORT ztVariable* ztVariableHash_Find(ztVariableHash* hash, const char* name,
                                          int32_t name_length);
/* Entry number `entry` without creating its variable; NULL when empty. */
ZT_EXPORT ztVariable* ztVariableHash_Index(ztVariableHash* hash, int32_t entry);
ZT_EXPORT int32_t ztVariableHash_Entries(ztVariableHash* hash);
/* Puts `v` in place of the entry of the same name (added when absent). */
ZT_EXPORT int ztVariableHash_ReplaceVariable(ztVariableHash* hash, ztVariable* v);
/* Assigns the text to the entry of that name, creating it. Borrowed. */
ZT_EXPORT ztVariable* ztVariableHash_SetVariable(ztVariableHash* hash, const char* name,
                                                 int32_t name_length, const char* value,
                                                 int32_t value_length);
/* Releases every entry's variable. */
ZT_EXPORT void ztVariableHash_Dump(ztVariableHash* hash);

/* ---- Link buffers ------------------------------------------------------- */

/* Sizes of the first block and of later blocks (0: defaults). */
ZT_EXPORT ztLinkBuffer* ztLinkBuffer_Allocate(int32_t first_size, int32_t growth_size);
ZT_EXPORT void ztLinkBuffer_Free(ztLinkBuffer* buffer);
/* Hands the contents over as an ALLOCATED, NUL-terminated text; the buffer
   becomes empty and reusable. */
ZT_EXPORT char *ztLinkBuffer_Release(ztLinkBuffer *buffer, int32_t *length, int32_t *capacity);
ZT_EXPORT void ztLinkBuffer_Concat_Char(ztLinkBuffer* buffer, char c);
ZT_EXPORT void ztLinkBuffer_Concat_Double(ztLinkBuffer* buffer, double value);
/* Two upper-case hex digits. */
ZT_EXPORT void ztLinkBuffer_Concat_HexChar(ztLinkBuffer* buffer, unsigned char byte);
ZT_EXPORT void ztLinkBuffer_Concat_Int(ztLinkBuffer* buffer, int32_t value);
/* Length accepts -1. */
ZT_EXPORT void ztLinkBuffer_Concat_String(ztLinkBuffer* buffer, const char* bytes, int32_t length);
/* Takes ownership of `bytes` (from ztProgram_Allocate). */
ZT_EXPORT void ztLinkBuffer_Concat_String_Nocopy(ztLinkBuffer* buffer, char* bytes, int32_t length,
                                                 int32_t capacity);
ZT_EXPORT void ztLinkBuffer_Concat_Variable(ztLinkBuffer* buffer, ztVariable* v);
/* Borrowed, flattened, NUL-terminated contents. */
ZT_EXPORT const char* ztLinkBuffer_Data(ztLinkBuffer* buffer, int32_t* length);

/* ---- Files -------------------------------------------------------------- */
/* Paths are relative to the area; lengths accept -1. Errors:
   ztFile_Error(program, file or NULL). */

ZT_EXPORT ztFile* ztFile_Open(ztProgram* program, int32_t area, const char* path,
                              int32_t path_length, uint32_t mode);
ZT_EXPORT int ztFile_Close(ztFile* file);
/* Bytes read / written, or -1. */
ZT_EXPORT int64_t ztFile_Read(ztFile* file, void* buffer, int64_t count);
ZT_EXPORT int64_t ztFile_Write(ztFile* file, const void* buffer, int64_t count);
/* whence: 0 start, 1 current, 2 end. New position or -1. */
ZT_EXPORT int64_t ztFile_Seek(ztFile* file, int64_t offset, int whence);
ZT_EXPORT int64_t ztFile_Tell(ztFile* file);
/* Length of the open file, or -1. */
ZT_EXPORT int64_t ztFile_Length(ztFile* file);
/* Byte-range lock on the open file: exclusive non-zero, wait non-zero. */
ZT_EXPORT int ztFile_Lock(ztFile* file, int64_t offset, int64_t length, int exclusive, int wait);
ZT_EXPORT int ztFile_Release(ztFile* file, int64_t offset, int64_t length);
/* User / group id that owns the open file, or -1 (see ztFile_Error). */
ZT_EXPORT int64_t ztFile_OwnerID(ztFile* file);
ZT_EXPORT int64_t ztFile_GroupID(ztFile* file);
/* Borrowed error text of `file`, or of the program's file manager when
   `file` is NULL; never NULL. */
ZT_EXPORT const char* ztFile_Error(ztProgram* program, ztFile* file, int32_t* length);
ZT_EXPORT int ztFile_Exists(ztProgram* program, int32_t area, const char* path,
                            int32_t path_length);
ZT_EXPORT int ztFile_IsDirectory(ztProgram* program, int32_t area, const char* path,
                                 int32_t path_length);
/* Size in bytes, or -1. */
ZT_EXPORT int64_t ztFile_Size(ztProgram* program, int32_t area, const char* path,
                              int32_t path_length);
/* Permission bits, or -1. */
ZT_EXPORT int32_t ztFile_Mode(ztProgram* program, int32_t area, const char* path,
                              int32_t path_length);
ZT_EXPORT int ztFile_Change_Mode(ztProgram* program, int32_t area, const char* path,
                                 int32_t path_length, uint32_t mode);
/* Modification time in seconds since 1970. */
ZT_EXPORT int ztFile_Time(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                          int64_t* seconds);
ZT_EXPORT int ztFile_SetTime(ztProgram* program, int32_t area, const char* path,
                             int32_t path_length, int64_t seconds);
/* Sets the modification time to now, creating an empty file if needed. */
ZT_EXPORT int ztFile_TouchFile(ztProgram* program, int32_t area, const char* path,
                               int32_t path_length);
ZT_EXPORT int ztFile_Delete(ztProgram* program, int32_t area, const char* path,
                            int32_t path_length);
ZT_EXPORT int ztFile_Copy(ztProgram* program, int32_t area, const char* source,
                          int32_t source_length, const char* destination,
                          int32_t destination_length);
ZT_EXPORT int ztFile_Rename(ztProgram* program, int32_t area, const char* source,
                            int32_t source_length, const char* destination,
                            int32_t destination_length);
ZT_EXPORT int ztFile_MakeDirectory(ztProgram* program, int32_t area, const char* path,
                                   int32_t path_length);
ZT_EXPORT int ztFile_RemoveDirectory(ztProgram* program, int32_t area, const char* path,
                                     int32_t path_length);
ZT_EXPORT int ztFile_MakeSymbolicLink(ztProgram* program, int32_t area, const char* target,
                                      int32_t target_length, const char* link, int32_t link_length);
/* Creates prefix.0, prefix.1, ... (hex) in `directory`; the new file's
   path relative to the area is stored, allocated, in *path. */
ZT_EXPORT ztFile* ztFile_MakeTemporary(ztProgram* program, int32_t area, const char* directory,
                                       int32_t directory_length, const char* prefix,
                                       int32_t prefix_length, uint32_t mode, char** path,
                                       int32_t* path_length);
/* Lock file at `path`: ZT_LOCK_... */
ZT_EXPORT int ztFile_LockFile(ztProgram* program, int32_t area, const char* path,
                              int32_t path_length);
/* 1 while the lock file at `path` is held by this thread. */
ZT_EXPORT int ztFile_LockFile_Valid(ztProgram* program, int32_t area, const char* path,
                                    int32_t path_length);
/* Allocated normalised path ("." and ".." folded, "/" separators). */
ZT_EXPORT char* ztFile_NormalizePath(ztProgram* program, const char* path, int32_t path_length,
                                     int32_t* length);
/* Allocated absolute path inside the area, or NULL when it escapes. */
ZT_EXPORT char* ztFile_Resolve(ztProgram* program, int32_t area, const char* path,
                               int32_t path_length, int32_t* length);
ZT_EXPORT char ztFile_Path_Separator(void);
/* Appends a text variable per entry name ("." and ".." included) to `list`;
   returns the count or -1. */
ZT_EXPORT int32_t ztDirectory_Listing(ztProgram* program, int32_t area, const char* path,
                                      int32_t path_length, ztVariableList* list);

/* ---- Network ------------------------------------------------------------ */

/* timeout in seconds (0: the "globaltimeout" setting); lengths accept -1.
   Connections belong to the caller until ztNetwork_Close, which frees
   them; close them before the script run ends. NULL on failure, with the
   text in ztNetwork_Error(program, NULL). */
ZT_EXPORT ztNetworkConnection* ztNetwork_Connect(ztProgram* program, const char* host,
                                                 int32_t host_length, int32_t port,
                                                 int32_t timeout);
/* With TLS. A non-zero `verify` forces server verification and the host
   name check even where the "securityoptions" setting turns them off. */
ZT_EXPORT ztNetworkConnection* ztNetwork_Connect_SSL(ztProgram* program, const char* host,
                                                     int32_t host_length, int32_t port,
                                                     int32_t timeout, int verify);
/* Connects to the URL's host and port (TLS for https). */
ZT_EXPORT ztNetworkConnection* ztNetwork_Open_URL(ztProgram* program, const char* url,
                                                  int32_t url_length, int32_t timeout);
ZT_EXPORT void ztNetwork_Close(ztNetworkConnection* connection);
/* Bytes read (0 at end), or -1. */
ZT_EXPORT int32_t ztNetwork_Read(ztNetworkConnection* connection, char* buffer, int32_t size,
                                 int32_t timeout);
/* Reads one line (line feed kept) into `line`, replacing its value;
   returns its length or -1. */
ZT_EXPORT int32_t ztNetwork_Read_Line(ztNetworkConnection* connection, ztVariable* line,
                                      int32_t timeout);
/* Bytes written, or -1. Length accepts -1. */
ZT_EXPORT int32_t ztNetwork_Write(ztNetworkConnection* connection, const char* bytes,
                                  int32_t length, int32_t timeout);
/* Borrowed error text of `connection`, or the program's last network error
   when NULL; never NULL. */
ZT_EXPORT const char* ztNetwork_Error(ztProgram* program, ztNetworkConnection* connection,
                                      int32_t* length);
/* Numeric address text of `host` into `buffer` (NUL-terminated, at most
   size - 1 bytes); returns 0 on success, else -1 (see ztNetwork_Error). */
ZT_EXPORT int ztNetwork_Get_Host_Address(ztProgram* program, const char* host, int32_t host_length,
                                         char* buffer, int32_t size);
ZT_EXPORT int ztNetwork_Is_IP_Address(const char* text, int32_t length);
ZT_EXPORT int ztNetwork_Is_IPv4_Address(const char* text, int32_t length);
ZT_EXPORT int ztNetwork_Is_IPv6_Address(const char* text, int32_t length);
/* Canonical text of an address into `buffer`; its length, or -1 when the
   text is no address or does not fit. */
ZT_EXPORT int32_t ztNetwork_Normalize_IP_Address(const char* text, int32_t length, char* buffer,
                                                 int32_t size);
/* Sends a request (an empty method is GET) and reads the response head;
   `headers` (may be NULL) become "name: value" lines, a Content-Type entry
   the body's type ("text/plain" by default). NULL on failure, with the text
   in ztHTTPResponse_Error(program, NULL); else a response the caller frees
   with ztHTTPResponse_Close. */
ZT_EXPORT ztHTTPResponse* ztNetwork_HTTP_Request(ztProgram* program, const char* method,
                                                 int32_t method_length, const char* url,
                                                 int32_t url_length, ztVariableList* headers,
                                                 const char* body, int32_t body_length,
                                                 int32_t timeout);
ZT_EXPORT int32_t ztHTTPResponse_Status_Code(ztHTTPResponse* response);
/* -1 when unknown. */
ZT_EXPORT int64_t ztHTTPResponse_Content_Length(ztHTTPResponse* response);
/* Body bytes read (0 at end), or -1. */
ZT_EXPORT int32_t ztHTTPResponse_Read(ztHTTPResponse* response, char* buffer, int32_t size);
ZT_EXPORT const char* ztHTTPResponse_Error(ztProgram* program, ztHTTPResponse* response,
                                           int32_t* length);
ZT_EXPORT void ztHTTPResponse_Close(ztHTTPResponse* response);

/* ---- Databases (for database libraries) --------------------------------- */

ZT_EXPORT ztProgram* ztDatabase_Program(ztDatabase* database);
ZT_EXPORT void* ztDatabase_data(ztDatabase* database);
ZT_EXPORT void ztDatabase_SetData(ztDatabase* database, void* data);
/* New view of that name holding the library's `data`; NULL on failure. */
ZT_EXPORT ztDatabaseView* ztDatabase_AddView(ztDatabase* database, const char* name,
                                             int32_t name_length, void* data);
ZT_EXPORT int ztDatabase_SetPrimaryView(ztDatabase* database, ztDatabaseView* view);
ZT_EXPORT ztDatabase* ztDatabaseView_Database(ztDatabaseView* view);
ZT_EXPORT ztProgram* ztDatabaseView_Program(ztDatabaseView* view);
ZT_EXPORT void* ztDatabaseView_data(ztDatabaseView* view);
ZT_EXPORT void ztDatabaseView_SetData(ztDatabaseView* view, void* data);
/* Marks every field variable of the view as needing a fresh value. */
ZT_EXPORT void ztDatabaseView_SetDirty(ztDatabaseView* view);
/* Empties every field variable of the view. */
ZT_EXPORT void ztDatabaseView_Clear(ztDatabaseView* view);
/* Writes the changed field values back through the library. */
ZT_EXPORT int ztDatabaseView_Commit(ztDatabaseView* view);
/* New field variable of the view holding the library's `data`. */
ZT_EXPORT ztDatabaseVariable* ztDatabaseView_AddVariable(ztDatabaseView* view, const char* name,
                                                         int32_t name_length, void* data);
ZT_EXPORT ztDatabaseView* ztDatabaseVariable_DatabaseView(ztDatabaseVariable* variable);
ZT_EXPORT void* ztDatabaseVariable_data(ztDatabaseVariable* variable);
ZT_EXPORT void ztDatabaseVariable_SetData(ztDatabaseVariable* variable, void* data);
ZT_EXPORT void ztDatabaseVariable_SetDirty(ztDatabaseVariable* variable, int dirty);

/* ---- Configuration (for the configuration library) ---------------------- */
/* Names and paths accept -1 lengths. Register functions return 0. */

ZT_EXPORT int ztConfig_Register_Library_Builtin(ztConfig* config, const char* name,
                                                int32_t name_length, const char* path,
                                                int32_t path_length);
ZT_EXPORT int ztConfig_Register_Library_Commerce(ztConfig* config, const char* method,
                                                 int32_t method_length, const char* path,
                                                 int32_t path_length);
ZT_EXPORT int ztConfig_Register_Library_Database(ztConfig* config, const char* type,
                                                 int32_t type_length, const char* path,
                                                 int32_t path_length);
ZT_EXPORT int ztConfig_Register_Library_System(ztConfig* config, const char* name,
                                               int32_t name_length, const char* path,
                                               int32_t path_length);
/* 1 on success, 0 on failure. The text is copied. */
ZT_EXPORT int ztConfig_SetValue(ztConfig* config, uint32_t key, const char* bytes, int32_t length,
                                int32_t capacity);
ZT_EXPORT int ztConfig_SetValue_Integer(ztConfig* config, uint32_t key, int32_t value);
/* Queue a text variable for the global / (read-only) system scope. */
ZT_EXPORT void ztConfig_SetVariable_Global(ztConfig* config, const char* name, int32_t name_length,
                                           const char* value, int32_t value_length);
ZT_EXPORT void ztConfig_SetVariable_System(ztConfig* config, const char* name, int32_t name_length,
                                           const char* value, int32_t value_length);
/* Default error setting of a tag by name; 1 when the tag is known. */
ZT_EXPORT int ztConfig_Set_DefaultErrorSetting(ztConfig* config, const char* tag,
                                               int32_t tag_length, int32_t setting);

/* ---- System libraries --------------------------------------------------- */

/* The library's symbol, or NULL with the library's error text set. */
ZT_EXPORT void* ztSystemLibrary_GetFunction(ztSystemLibrary* library, const char* symbol);
/* Borrowed error text of `library`, or of the registry when NULL. */
ZT_EXPORT const char* ztSystemLibrary_Error(ztProgram* program, ztSystemLibrary* library,
                                            int32_t* length);

/* ---- Program services --------------------------------------------------- */

/* Host memory for ALLOCATED texts; NULL when the allocation fails. */
ZT_EXPORT void* ztProgram_Allocate(ztProgram* program, size_t size);
ZT_EXPORT void ztProgram_Free(ztProgram* program, void* memory);

/* Output of the script; lengths accept -1. 1 on success. */
ZT_EXPORT int ztProgram_Output(ztProgram* program, const char* bytes, int32_t length);
ZT_EXPORT int ztProgram_Output_Flush(ztProgram* program);
ZT_EXPORT int ztProgram_Output_Header(ztProgram* program, const char* name, int32_t name_length,
                                      const char* value, int32_t value_length);
/* Raises a fatal runtime error with `message`; the script stops once the
   library function returns. */
ZT_EXPORT void ztProgram_FatalError(ztProgram* program, const char* message, int32_t length);

/* Compiles an expression into the program; on failure NULL and an
   allocated message in *error. The segment lives as long as the run. */
ZT_EXPORT ztSegment* ztProgram_Compile_Dynamic_Expression(ztProgram* program, const char* text,
                                                          int32_t length, char** error,
                                                          int32_t* error_length);
/* Runs it with `locals` (or NULL) as local scope; 1 and the value in
   `result` when it ran and left a value, else 0. */
ZT_EXPORT int ztProgram_Execute_Dynamic_Expression(ztProgram* program, ztSegment* segment,
                                                   ztVariableHash* locals, ztVariable* result);
ZT_EXPORT int ztProgram_Execute_Dynamic_Expression_Boolean(ztProgram* program, ztSegment* segment,
                                                           ztVariableHash* locals, int32_t* value);

/* The builtin function entry of that name in the loaded libraries. */
ZT_EXPORT const ztFunctionEntry* ztProgram_Lookup_ExternalFunction(ztProgram* program,
                                                                   const char* name,
                                                                   int32_t name_length);
/* Calls the script function of that name with `arguments` (may be NULL)
   in order; its value goes to `result` (may be NULL). 1 when it ran. */
ZT_EXPORT int ztProgram_RunFunction(ztProgram* program, const char* name, int32_t name_length,
                                    ztVariableList* arguments, ztVariable* result);

/* JSON of `v` appended to `out`; options ZT_JSON_... 1 on success. */
ZT_EXPORT int ztProgram_JSON_Encode(ztProgram* program, ztVariable* v, uint32_t options,
                                    ztLinkBuffer* out);
/* Decodes into `target` (cleared first); 0 and an allocated message on
   failure. */
ZT_EXPORT int ztProgram_JSON_Decode(ztProgram* program, const char* text, int32_t length,
                                    ztVariable* target, char** error, int32_t* error_length,
                                    int32_t* error_capacity);

/* Data kept by name (ASCII case ignored): process-wide, or for this run
   only (Local). Registering a name again destroys the earlier data with its
   `destroy` (may be NULL). Look-ups return the data or NULL. */
ZT_EXPORT int ztProgram_Register_Persistent(ztProgram* program, const char* name,
                                            int32_t name_length, void* data,
                                            void (*destroy)(void* data));
ZT_EXPORT void* ztProgram_Lookup_Persistent(ztProgram* program, const char* name,
                                            int32_t name_length);
ZT_EXPORT int ztProgram_Register_Local_Persistent(ztProgram* program, const char* name,
                                                  int32_t name_length, void* data,
                                                  void (*destroy)(void* data));
ZT_EXPORT void* ztProgram_Lookup_Local_Persistent(ztProgram* program, const char* name,
                                                  int32_t name_length);

/* Milliseconds; 0 when the run timed out meanwhile. */
ZT_EXPORT int ztProgram_Sleep(ztProgram* program, int32_t milliseconds);
/* Also ends when one of the run's asynchronous tasks ends (2); at most the
   "asyncsleeptimeout" setting, which a negative time waits for; 1 when the
   time passed, 0 when the run timed out. */
ZT_EXPORT int ztProgram_Asynchronous_Sleep(ztProgram* program, int32_t milliseconds);
/* Restarts the run's global time-out. */
ZT_EXPORT void ztProgram_ResetGlobalTimeout(ztProgram* program);

/* Text encoders: allocated results, input lengths accept -1. */
ZT_EXPORT char* ztProgram_Entity_Encode(ztProgram* program, const char* text, int32_t length,
                                        int32_t* result_length);
ZT_EXPORT char* ztProgram_Entity_Decode(ztProgram* program, const char* text, int32_t length,
                                        int32_t* result_length);
ZT_EXPORT char* ztProgram_Attribute_Encode(ztProgram* program, const char* text, int32_t length,
                                           int32_t* result_length);
ZT_EXPORT char* ztProgram_Attribute_Decode(ztProgram* program, const char* text, int32_t length,
                                           int32_t* result_length);
ZT_EXPORT char* ztProgram_JavaScriptString_Encode(ztProgram* program, const char* text,
                                                  int32_t length, int32_t* result_length);

/* Character set and language of the run. GetCharacterSet is borrowed. */
ZT_EXPORT const char* ztProgram_GetCharacterSet(ztProgram* program, int32_t* length);
ZT_EXPORT int ztProgram_SetCharacterSet(ztProgram* program, const char* name, int32_t length);
ZT_EXPORT int ztProgram_CharacterSetIsUTF8(ztProgram* program);
ZT_EXPORT int ztProgram_SetLanguage(ztProgram* program, const char* name, int32_t length);
ZT_EXPORT int ztProgram_SetDefaultLanguage(ztProgram* program, const char* name, int32_t length);
ZT_EXPORT int ztProgram_SetDefaultDatabase(ztProgram* program, const char* name, int32_t length);
ZT_EXPORT int ztProgram_SetProcessName(ztProgram* program, const char* name, int32_t length);
/* Allocated new session identifier. */
ZT_EXPORT char* ztProgram_MakeSessionID(ztProgram* program, int32_t* length);
/* A function of the run's TLS library (OpenSSL, loaded on first use) by
   name, or NULL. */
ZT_EXPORT void* ztProgram_SSL_Function(ztProgram* program, const char* name);
ZT_EXPORT int ztProgram_Deprecated_Enabled(ztProgram* program);

/* Scopes of the run (borrowed) and lists of their variables (appended to
   `list`; the count is returned). */
ZT_EXPORT ztVariableHash* ztProgram_Global_VariableHash(ztProgram* program);
ZT_EXPORT ztVariableHash* ztProgram_System_VariableHash(ztProgram* program);
ZT_EXPORT int32_t ztProgram_Global_Variables(ztProgram* program, ztVariableList* list);
ZT_EXPORT int32_t ztProgram_Local_Variables(ztProgram* program, ztVariableList* list);
ZT_EXPORT int32_t ztProgram_System_Variables(ztProgram* program, ztVariableList* list);
/* Resolves a dynamic variable name (scope prefixes allowed). Borrowed. */
ZT_EXPORT ztVariable* ztProgram_Lookup_Variable(ztProgram* program, const char* name,
                                                int32_t length);
/* <0, 0, >0 as the script's comparison operators see a and b. */
ZT_EXPORT int ztProgram_Compare(ztProgram* program, ztVariable* a, ztVariable* b);

ZT_EXPORT ztSystemLibrary* ztProgram_SystemLibrary(ztProgram* program, const char* name,
                                                   int32_t length);
ZT_EXPORT int ztProgram_SystemLibrary_IsRegistered(ztProgram* program, const char* name,
                                                   int32_t length);

/* ======================================================================== */
/* Old family: NUL-terminated texts, C runtime memory                        */
/* ======================================================================== */

/* malloc / realloc / free. */
ZT_EXPORT void* zeto_alloc(int32_t size);
ZT_EXPORT void* zeto_realloc(void* memory, int32_t size);
ZT_EXPORT void zeto_free(void* memory);

/* Files: location 1 is the script area, anything else the data area.
   0 on success, -1 on failure. */
ZT_EXPORT ztFile* zeto_file_open(ztProgram* program, int location, const char* path, uint32_t mode);
ZT_EXPORT int zeto_file_close(ztProgram* program, ztFile* file);
/* Bytes, or -1. */
ZT_EXPORT int32_t zeto_file_read(ztProgram* program, ztFile* file, void* buffer, int32_t count);
ZT_EXPORT int32_t zeto_file_write(ztProgram* program, ztFile* file, const void* buffer,
                                  int32_t count);
/* Position, or -1. */
ZT_EXPORT int64_t zeto_file_seek(ztProgram* program, ztFile* file, int64_t offset, int whence);
ZT_EXPORT int64_t zeto_file_tell(ztProgram* program, ztFile* file);
ZT_EXPORT int64_t zeto_file_length(ztProgram* program, ztFile* file);
/* Borrowed, never NULL: the file's error, or the file manager's. */
ZT_EXPORT const char* zeto_file_error(ztProgram* program, ztFile* file);
ZT_EXPORT int zeto_file_exists(ztProgram* program, int location, const char* path);
ZT_EXPORT int zeto_file_isdirectory(ztProgram* program, int location, const char* path);
/* Size / permission bits, or -1. */
ZT_EXPORT int64_t zeto_file_size(ztProgram* program, int location, const char* path);
ZT_EXPORT int32_t zeto_file_mode(ztProgram* program, int location, const char* path);
ZT_EXPORT int zeto_file_changemode(ztProgram* program, int location, const char* path,
                                   uint32_t mode);
ZT_EXPORT int zeto_file_delete(ztProgram* program, int location, const char* path);
ZT_EXPORT int zeto_file_rename(ztProgram* program, int location, const char* source,
                               const char* destination);
ZT_EXPORT int zeto_file_makedirectory(ztProgram* program, int location, const char* path);
ZT_EXPORT int zeto_file_removedirectory(ztProgram* program, int location, const char* path);
/* Lock file at `path` (waits like ZtLOCKFILE) / removes it. */
ZT_EXPORT int zeto_file_lock(ztProgram* program, int location, const char* path);
ZT_EXPORT int zeto_file_release(ztProgram* program, int location, const char* path);
/* No longer supported: always 0, with an error text. */
ZT_EXPORT int zeto_file_resolve(ztProgram* program, int location, const char* path, char* buffer,
                                int32_t size);
ZT_EXPORT int zeto_file_pathseparator(void);

/* Network */
ZT_EXPORT ztNetworkConnection* zeto_network_connect(ztProgram* program, const char* host,
                                                    int32_t port, int32_t timeout);
ZT_EXPORT ztNetworkConnection* zeto_network_openurl(ztProgram* program, const char* url,
                                                    int32_t timeout);
ZT_EXPORT void zeto_network_close(ztNetworkConnection* connection);
ZT_EXPORT int32_t zeto_network_read(ztNetworkConnection* connection, char* buffer, int32_t size,
                                    int32_t timeout);
/* Copies at most size - 1 bytes of one line, NUL-terminated; returns the
   copied length or -1. */
ZT_EXPORT int32_t zeto_network_readline(ztNetworkConnection* connection, char* buffer, int32_t size,
                                        int32_t timeout);
ZT_EXPORT int32_t zeto_network_write(ztNetworkConnection* connection, const char* text,
                                     int32_t timeout);
/* Borrowed, never NULL. */
ZT_EXPORT const char* zeto_network_error(ztProgram* program, ztNetworkConnection* connection);
ZT_EXPORT int zeto_network_gethostaddress(ztProgram* program, const char* host, char* buffer,
                                          int32_t size);
ZT_EXPORT int zeto_network_isipaddress(const char* text);

/* Variables */
ZT_EXPORT ztVariable* zeto_variable_new(const char* name, const char* value);
ZT_EXPORT void zeto_variable_delete(ztVariable* v);
/* Borrowed, never NULL (empty text when unset). */
ZT_EXPORT const char* zeto_variable_name(ztVariable* v);
ZT_EXPORT const char* zeto_variable_value(ztVariable* v);
ZT_EXPORT void zeto_variable_setvalue(ztVariable* v, const char* text);
ZT_EXPORT ztVariable* zeto_variable_array_element(ztVariable* v, int32_t index, int create);
ZT_EXPORT ztVariable* zeto_variable_structure_member(ztVariable* v, const char* name, int create);
ZT_EXPORT ztVariable* zeto_variable_set_array_element_value(ztVariable* v, int32_t index,
                                                            const char* text);
ZT_EXPORT ztVariable* zeto_variable_set_structure_member_value(ztVariable* v, const char* name,
                                                               const char* text);
ZT_EXPORT int32_t zeto_variable_array_min(ztVariable* v);
ZT_EXPORT int32_t zeto_variable_array_max(ztVariable* v);
ZT_EXPORT int32_t zeto_variable_array_elements(ztVariable* v);
ZT_EXPORT int zeto_variable_aggregate_type(ztVariable* v);
/* New list (free with zeto_variablelist_delete) of the element variables
   themselves, each renamed to its key text. */
ZT_EXPORT ztVariableList* zeto_variable_aggregate_list(ztVariable* v);

/* Lists */
ZT_EXPORT ztVariableList* zeto_variablelist_new(void);
ZT_EXPORT void zeto_variablelist_delete(ztVariableList* list);
ZT_EXPORT ztVariable* zeto_variablelist_first(ztVariableList* list);
ZT_EXPORT ztVariable* zeto_variablelist_next(ztVariableList* list);
ZT_EXPORT ztVariable* zeto_variablelist_current(ztVariableList* list);
ZT_EXPORT void zeto_variablelist_dump(ztVariableList* list);
ZT_EXPORT ztVariable* zeto_variablelist_find(ztVariableList* list, const char* name);
/* Assigns to the variable of that name, else appends a new one. */
ZT_EXPORT ztVariable* zeto_variablelist_setvariable(ztVariableList* list, const char* name,
                                                    const char* value);
/* malloc'ed "url?name=value&..." (or "&" after an existing query). */
ZT_EXPORT char* zeto_variablelist_to_url(const char* url, ztVariableList* list);

/* Trees (scopes) */
ZT_EXPORT ztVariableHash* zeto_variabletree_new(void);
ZT_EXPORT void zeto_variabletree_delete(ztVariableHash* tree);
/* No creation; NULL when absent. */
ZT_EXPORT ztVariable* zeto_variabletree_find(ztVariableHash* tree, const char* name);
ZT_EXPORT int zeto_variabletree_insert(ztVariableHash* tree, ztVariable* v);
/* Puts `v` under `name` in place of any earlier entry. */
ZT_EXPORT int zeto_variabletree_setvariable(ztVariableHash* tree, const char* name, ztVariable* v);
ZT_EXPORT void zeto_variabletree_dump(ztVariableHash* tree);

#ifdef __cplusplus
}
#endif

#endif /* ORIN_PLUGIN_H_ */
