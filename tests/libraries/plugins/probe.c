/* A builtin library that calls every function of the plug-in interface and
   reports what each returned, one line each, as the result of probe_run.
   Built against the public header only, as any plug-in is. */
#include <orin/plugin.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static _Thread_local ztLinkBuffer *report;

static void say(const char *format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  ztLinkBuffer_Concat_String(report, line, -1);
  ztLinkBuffer_Concat_Char(report, '\n');
}

/* Bytes with anything unprintable as \xNN. */
static const char *shown(const char *bytes, int32_t length) {
  static _Thread_local char text[4][512];
  static _Thread_local int next;
  char *out = text[next++ & 3];
  size_t n = 0;
  if (bytes == NULL) return "(null)";
  if (length < 0) length = (int32_t)strlen(bytes);
  for (int32_t i = 0; i < length && n < 500; ++i) {
    unsigned char c = (unsigned char)bytes[i];
    if (c >= 32 && c < 127) {
      out[n++] = (char)c;
    } else {
      n += (size_t)snprintf(out + n, 8, "\\x%02x", c);
    }
  }
  out[n] = 0;
  return out;
}

static const char *value_of(ztVariable *v) {
  int32_t n = 0;
  const char *p;
  if (v == NULL) return "(null)";
  p = ztVariable_Value(v, &n);
  return shown(p, n);
}

static int destroyed;
static void count_destroy(void *data) {
  destroyed += (int)(size_t)data;
}

static void variables(void) {
  int32_t n = 0, cap = 0, digits = 0, places = 0;
  int r;
  char *text;
  ztVariable *v = ztVariable_Allocate("Name", -1, "abc", 3);
  ztVariable *copy, *arr, *s, *e, *target, *ref, *list_var;
  ztVariableList *list;
  const char *name = ztVariable_Name(v, &n);
  say("Name %s %d", shown(name, n), n);
  say("Value %s type %d aggregate %d", value_of(v), ztVariable_Type(v),
      ztVariable_Aggregate_Type(v));
  say("Decimal_Size abc %d", ztVariable_Value_Decimal_Size(v, &digits, &places));
  ztVariable_SetValue(v, "-12.500", -1);
  r = ztVariable_Value_Decimal_Size(v, &digits, &places);
  say("Decimal_Size -12.500 %d %d %d", r, digits, places);
  text = ztVariable_Value_Decimal_String(v, &n, &cap);
  say("Decimal_String %s %d", shown(text, n), n);
  ztProgram_Free(NULL, text);
  say("Value_Integer %d Value_Double %.3f", ztVariable_Value_Integer(v),
      ztVariable_Value_Double(v));
  ztVariable_SetValue(v, "a\0b", -1);
  ztVariable_Value(v, &n);
  say("SetValue -1 length %d", n);
  ztVariable_SetValue(v, "a\0b", 3);
  say("SetValue 3 %s", value_of(v));
  text = ztVariable_Value_NS(v, &n, &cap);
  say("Value_NS %s %d", shown(text, n), n);
  ztProgram_Free(NULL, text);
  text = ztProgram_Allocate(NULL, 8);
  memcpy(text, "owned", 6);
  ztVariable_SetValue_Nocopy(v, text, 5, 8);
  say("SetValue_Nocopy %s", value_of(v));
  ztVariable_SetValue_Integer(v, 7);
  say("SetValue_Integer %s type %d", value_of(v), ztVariable_Type(v));
  ztVariable_SetValue_Double(v, 0.25);
  say("SetValue_Double %s type %d", value_of(v), ztVariable_Type(v));
  r = ztVariable_SetValue_Decimal_String(v, "1e3", -1);
  say("SetValue_Decimal_String 1e3 %d %s", r, value_of(v));
  r = ztVariable_SetValue_Decimal_String(v, "x", -1);
  say("SetValue_Decimal_String x %d %s", r, value_of(v));
  say("IsTrue %d IsNULL %d", ztVariable_IsTrue(v), ztVariable_IsNULL(v));
  ztVariable_SetValue(v, "", 0);
  say("empty IsTrue %d IsNULL %d", ztVariable_IsTrue(v), ztVariable_IsNULL(v));

  arr = ztVariable_Allocate("arr", -1, NULL, 0);
  ztVariable_SetValue(ztVariable_Array_Element(1, arr, 1), "one", -1);
  ztVariable_SetValue(ztVariable_Array_Element(3, arr, 1), "three", -1);
  say("Array type %d aggregate %d", ztVariable_Type(arr), ztVariable_Aggregate_Type(arr));
  say("Array_Element 2 no create %s", value_of(ztVariable_Array_Element(2, arr, 0)));
  e = ztVariable_Allocate(NULL, 0, "five", -1);
  say("Set_Array_Element %d", ztVariable_Set_Array_Element(5, e, arr));
  ztVariable_Free(e);
  e = ztVariable_Allocate(NULL, 0, "zero", -1);
  say("Insert_Array_Element %d", ztVariable_Insert_Array_Element(1, e, arr));
  ztVariable_Free(e);
  say("Min %d Max %d Next(2) %d Previous(4) %d Used %d", ztVariable_Array_Min(arr),
      ztVariable_Array_Max(arr), ztVariable_Array_Next(arr, 2), ztVariable_Array_Previous(arr, 4),
      ztVariable_ElementsUsed(arr));
  list = ztVariableList_Allocate();
  say("Aggregate_List %d", ztVariable_Aggregate_List(arr, list));
  for (list_var = ztVariableList_First(list); list_var != NULL;
       list_var = ztVariableList_Next(list)) {
    say("  %s = %s", shown(ztVariable_Name(list_var, NULL), -1), value_of(list_var));
  }
  say("Delete_Array_Elements %d", ztVariable_Delete_Array_Elements(1, 1, 1, arr));
  r = ztVariable_Array_Collapse(arr);
  say("Array_Collapse %d first %s", r, value_of(ztVariable_Array_Element(1, arr, 0)));
  copy = ztVariable_Allocate_Copy(arr);
  ztVariable_SetValue(ztVariable_Array_Element(1, copy, 0), "changed", -1);
  say("Allocate_Copy deep: original %s copy %s name %s",
      value_of(ztVariable_Array_Element(1, arr, 0)),
      value_of(ztVariable_Array_Element(1, copy, 0)), shown(ztVariable_Name(copy, NULL), -1));
  target = ztVariable_Allocate("t", -1, NULL, 0);
  ztVariable_SetValue(ztVariable_Array_Element(1, target, 1), "t1", -1);
  ztVariable_SetValue(ztVariable_Array_Element(2, target, 1), "t2", -1);
  say("Array_Merge %d", ztVariable_Array_Merge(arr, 1, 2, target, 2, 1));
  say("  after merge %s %s %s %s", value_of(ztVariable_Array_Element(1, target, 0)),
      value_of(ztVariable_Array_Element(2, target, 0)),
      value_of(ztVariable_Array_Element(3, target, 0)),
      value_of(ztVariable_Array_Element(4, target, 0)));
  say("Array_Copy %d", ztVariable_Array_Copy(copy, 1, 1, target, 1, 1));
  say("  after copy %s used %d", value_of(ztVariable_Array_Element(1, target, 0)),
      ztVariable_ElementsUsed(target));
  ztVariable_SetValue_Variable(v, arr);
  say("SetValue_Variable type %d used %d", ztVariable_Type(v), ztVariable_ElementsUsed(v));

  s = ztVariable_Allocate("s", -1, NULL, 0);
  ztVariable_SetValue(ztVariable_Struct_Member("Key", -1, s, 1), "value", -1);
  say("Struct type %d member KEY %s", ztVariable_Type(s),
      value_of(ztVariable_Struct_Member("KEY", 3, s, 0)));
  e = ztVariable_Allocate(NULL, 0, "shared", -1);
  say("Set_Struct_Member %d", ztVariable_Set_Struct_Member("other", -1, e, s));
  ztVariable_SetValue(e, "shared later", -1);
  say("  shared element %s", value_of(ztVariable_Struct_Member("other", -1, s, 0)));
  ztVariable_Free(e);
  ztVariableList_Dump(list);
  ztVariable_Aggregate_List(s, list);
  for (list_var = ztVariableList_First(list); list_var != NULL;
       list_var = ztVariableList_Next(list)) {
    say("  %s = %s", shown(ztVariable_Name(list_var, NULL), -1), value_of(list_var));
  }
  r = ztVariable_Delete_Struct_Member("key", -1, s);
  say("Delete_Struct_Member %d then %s", r, value_of(ztVariable_Struct_Member("key", -1, s, 0)));

  ztVariable_Free(target);
  ref = ztVariable_Allocate("r", -1, NULL, 0);
  target = ztVariable_Allocate("target", -1, "before", -1);
  say("Make_Reference %d", ztVariable_Make_Reference(ref, target));
  ztVariable_SetValue(ref, "through", -1);
  say("  target %s NextIdentity %d RealIdentity %d", value_of(target),
      ztVariable_NextIdentity(ref) == target, ztVariable_RealIdentity(ref) == target);
  say("  plain NextIdentity self %d", ztVariable_NextIdentity(target) == target);
  ztVariable_Free(ref);
  ztVariable_Free(target);
  ztVariableList_Free(list);
  ztVariable_Free(s);
  ztVariable_Free(copy);
  ztVariable_Free(arr);
  ztVariable_Free(v);
}

static void callbacks(ztProgram *p) {
  ztVariable *s = ztVariable_Allocate("cbs", -1, NULL, 0);
  ztVariable *data = ztVariable_Allocate("data", -1, "D", -1);
  say("Make_CallbackStruct %d", ztVariable_Make_CallbackStruct(s, p, "supply", -1, data));
  say("  member abc %s", value_of(ztVariable_Struct_Member("abc", -1, s, 0)));
  ztVariable_Free(data);
  ztVariable_Free(s);
}

static void lists(void) {
  int r;
  ztVariableList *list = ztVariableList_Allocate();
  ztVariable *a = ztVariable_Allocate("A", -1, "1", -1);
  r = ztVariableList_Insert(list, a);
  say("List Insert %d Entries %d", r, ztVariableList_Entries(list));
  ztVariable_Free(a);
  say("List SetVariable new %s", value_of(ztVariableList_SetVariable(list, "b", -1, "2", -1)));
  say("List SetVariable existing %s",
      value_of(ztVariableList_SetVariable(list, "B", -1, "ignored", -1)));
  say("List Find a %s missing %s", value_of(ztVariableList_Find(list, "a", 1)),
      value_of(ztVariableList_Find(list, "c", -1)));
  say("List First %s", value_of(ztVariableList_First(list)));
  say("List Next %s", value_of(ztVariableList_Next(list)));
  say("List Current %s", value_of(ztVariableList_Current(list)));
  say("List Next %s", value_of(ztVariableList_Next(list)));
  ztVariableList_Dump(list);
  say("List Dump Entries %d", ztVariableList_Entries(list));
  ztVariableList_Free(list);
}

static void scopes(void) {
  int r;
  ztVariableHash *h = ztVariableHash_Allocate();
  ztVariable *x = ztVariable_Allocate("x", -1, "10", -1);
  ztVariable *y;
  r = ztVariableHash_Insert(h, x);
  say("Hash Insert %d", r);
  r = ztVariableHash_Insert(h, x);
  say("Hash Insert again %d Entries %d", r, ztVariableHash_Entries(h));
  ztVariable_Free(x);
  say("Hash SetVariable %s", value_of(ztVariableHash_SetVariable(h, "Y", -1, "20", -1)));
  say("Hash Find X %s missing %s", value_of(ztVariableHash_Find(h, "X", 1)),
      value_of(ztVariableHash_Find(h, "nope", -1)));
  say("Hash Index 1 %s 9 %s", value_of(ztVariableHash_Index(h, 1)),
      value_of(ztVariableHash_Index(h, 9)));
  y = ztVariable_Allocate("y", -1, "replaced", -1);
  r = ztVariableHash_ReplaceVariable(h, y);
  say("Hash ReplaceVariable %d %s", r, value_of(ztVariableHash_Find(h, "y", -1)));
  ztVariable_Free(y);
  ztVariableHash_Dump(h);
  say("Hash Dump Entries %d Index 0 %s", ztVariableHash_Entries(h),
      value_of(ztVariableHash_Index(h, 0)));
  ztVariableHash_Free(h);
}

static void link_buffers(void) {
  ztLinkBuffer *b = ztLinkBuffer_Allocate(0, 0);
  ztVariable *v = ztVariable_Allocate(NULL, 0, "var", -1);
  char *owned = ztProgram_Allocate(NULL, 4);
  int32_t n = 0, cap = 0;
  char *text;
  memcpy(owned, "own", 4);
  ztLinkBuffer_Concat_Char(b, '<');
  ztLinkBuffer_Concat_Int(b, -42);
  ztLinkBuffer_Concat_Double(b, 1.5);
  ztLinkBuffer_Concat_HexChar(b, 0xAB);
  ztLinkBuffer_Concat_String(b, "str", -1);
  ztLinkBuffer_Concat_String_Nocopy(b, owned, 3, 4);
  ztLinkBuffer_Concat_Variable(b, v);
  text = (char *)ztLinkBuffer_Data(b, &n);
  say("LinkBuffer Data %s", shown(text, n));
  text = ztLinkBuffer_Release(b, &n, &cap);
  say("LinkBuffer Release %s %d", shown(text, n), n);
  say("LinkBuffer Data after Release %s", shown(ztLinkBuffer_Data(b, NULL), -1));
  ztProgram_Free(NULL, text);
  ztVariable_Free(v);
  ztLinkBuffer_Free(b);
}

static int compare_names(const void *a, const void *b) {
  return strcmp(*(const char *const *)a, *(const char *const *)b);
}

static void files(ztProgram *p) {
  char buffer[64];
  int64_t seconds = 0, a;
  char *text, *temp_path = NULL;
  int32_t n = 0;
  int r, r2, r3, r4, r5;
  ztFile *f, *t;
  ztVariableList *names;
  ztVariable *entry;
  const char *sorted[16];
  int count = 0;
  say("File MakeDirectory %d", ztFile_MakeDirectory(p, ZT_AREA_DATA, "d", -1));
  f = ztFile_Open(p, ZT_AREA_DATA, "d/f.txt", -1, ZT_FILE_READ | ZT_FILE_WRITE | ZT_FILE_CREATE);
  say("File Open %d", f != NULL);
  say("File Write %lld", (long long)ztFile_Write(f, "hello file", 10));
  a = ztFile_Seek(f, 6, 0);
  say("File Seek %lld Tell %lld", (long long)a, (long long)ztFile_Tell(f));
  memset(buffer, 0, sizeof buffer);
  a = ztFile_Read(f, buffer, 20);
  say("File Read %lld %s", (long long)a, buffer);
  say("File Length %lld", (long long)ztFile_Length(f));
  r = ztFile_Lock(f, 0, 4, 1, 0);
  say("File Lock %d Release %d", r, ztFile_Release(f, 0, 4));
  /* The file was made by this process: its owner is us. */
  a = ztFile_OwnerID(f);
  say("File OwnerID is ours %d", a == (long long)geteuid());
  a = ztFile_GroupID(f);
  say("File GroupID is ours %d", a == (long long)getegid());
  say("File Close %d", ztFile_Close(f));
  say("File Exists %d missing %d IsDirectory d %d file %d", ztFile_Exists(p, 0, "d/f.txt", -1),
      ztFile_Exists(p, 0, "d/none", -1), ztFile_IsDirectory(p, 0, "d", 1),
      ztFile_IsDirectory(p, 0, "d/f.txt", -1));
  a = ztFile_Size(p, 0, "d/f.txt", -1);
  say("File Size %lld missing %lld", (long long)a, (long long)ztFile_Size(p, 0, "d/none", -1));
  say("File Mode %d dir %d missing %d", ztFile_Mode(p, 0, "d/f.txt", -1), ztFile_Mode(p, 0, "d", -1),
      ztFile_Mode(p, 0, "d/none", -1));
  r = ztFile_Change_Mode(p, 0, "d/f.txt", -1, 1);
  say("File Change_Mode read-only %d Mode %d", r, ztFile_Mode(p, 0, "d/f.txt", -1));
  r = ztFile_Change_Mode(p, 0, "d/f.txt", -1, 0);
  say("File Change_Mode writable %d Mode %d", r, ztFile_Mode(p, 0, "d/f.txt", -1));
  r = ztFile_SetTime(p, 0, "d/f.txt", -1, 1000000000);
  r2 = ztFile_Time(p, 0, "d/f.txt", -1, &seconds);
  say("File SetTime %d Time %d %lld", r, r2, (long long)seconds);
  r = ztFile_TouchFile(p, 0, "d/f.txt", -1);
  r2 = ztFile_Time(p, 0, "d/f.txt", -1, &seconds);
  say("File TouchFile %d newer %d", r, r2 && seconds > 1000000000);
  r = ztFile_Copy(p, 0, "d/f.txt", -1, "d/g.txt", -1);
  r2 = ztFile_Rename(p, 0, "d/g.txt", -1, "d/h.txt", -1);
  say("File Copy %d Rename %d", r, r2);
  r = ztFile_MakeSymbolicLink(p, 0, "f.txt", -1, "d/link", -1);
  say("File MakeSymbolicLink %d Error %s", r, ztFile_Error(p, NULL, NULL));
  t = ztFile_MakeTemporary(p, 0, "d", -1, "tmp", -1, ZT_FILE_READ | ZT_FILE_WRITE, &temp_path,
                           &n);
  say("File MakeTemporary %d %s", t != NULL, shown(temp_path, n));
  ztFile_Close(t);
  ztProgram_Free(p, temp_path);
  r = ztFile_LockFile(p, 0, "d/lock", -1);
  say("File LockFile %d Valid %d", r, ztFile_LockFile_Valid(p, 0, "d/lock", -1));
  r = ztFile_Delete(p, 0, "d/lock", -1);
  say("File Delete lock %d Valid %d", r, ztFile_LockFile_Valid(p, 0, "d/lock", -1));
  names = ztVariableList_Allocate();
  say("Directory_Listing %d", ztDirectory_Listing(p, 0, "d", -1, names));
  for (entry = ztVariableList_First(names); entry != NULL && count < 16;
       entry = ztVariableList_Next(names)) {
    sorted[count++] = ztVariable_Value(entry, NULL);
  }
  qsort(sorted, (size_t)count, sizeof sorted[0], compare_names);
  for (int i = 0; i < count; ++i)
    say("  %s", sorted[i]);
  ztVariableList_Free(names);
  say("Directory_Listing missing %d", ztDirectory_Listing(p, 0, "nowhere", -1, NULL));
  text = ztFile_NormalizePath(p, "a/./b/../c", -1, &n);
  say("File NormalizePath %s %d", shown(text, n), n);
  ztProgram_Free(p, text);
  text = ztFile_Resolve(p, 0, "d/../d/f.txt", -1, &n);
  say("File Resolve ends with /d/f.txt %d",
      text != NULL && n > 8 && strcmp(text + n - 8, "/d/f.txt") == 0);
  ztProgram_Free(p, text);
  say("File Resolve escaping %s", ztFile_Resolve(p, 0, "../../x", -1, &n) == NULL ? "null" : "?");
  say("File Path_Separator %c", ztFile_Path_Separator());
  t = ztFile_Open(p, 0, "d/none", -1, ZT_FILE_READ);
  say("File Open missing %d Error %s", t != NULL, ztFile_Error(p, NULL, NULL));
  r = ztFile_Delete(p, 0, "d/f.txt", -1);
  r2 = ztFile_Delete(p, 0, "d/h.txt", -1);
  r3 = ztFile_Delete(p, 0, "d/tmp.0", -1);
  r4 = ztFile_Delete(p, 0, "d/link", -1);
  r5 = ztFile_RemoveDirectory(p, 0, "d", -1);
  say("File Delete %d %d %d %d RemoveDirectory %d", r, r2, r3, r4, r5);
}

static void old_files(ztProgram *p) {
  char buffer[32];
  ztFile *f;
  int r;
  int64_t a;
  say("zeto_file_makedirectory %d", zeto_file_makedirectory(p, 0, "o"));
  f = zeto_file_open(p, 0, "o/x.txt", ZT_FILE_READ | ZT_FILE_WRITE | ZT_FILE_CREATE);
  say("zeto_file_open %d", f != NULL);
  say("zeto_file_write %d", zeto_file_write(p, f, "old data", 8));
  a = zeto_file_seek(p, f, 4, 0);
  say("zeto_file_seek %lld tell %lld length %lld", (long long)a, (long long)zeto_file_tell(p, f),
      (long long)zeto_file_length(p, f));
  memset(buffer, 0, sizeof buffer);
  r = zeto_file_read(p, f, buffer, 10);
  say("zeto_file_read %d %s", r, buffer);
  say("zeto_file_close %d", zeto_file_close(p, f));
  say("zeto_file_exists %d missing %d isdirectory %d file %d", zeto_file_exists(p, 0, "o/x.txt"),
      zeto_file_exists(p, 0, "o/y"), zeto_file_isdirectory(p, 0, "o"),
      zeto_file_isdirectory(p, 0, "o/x.txt"));
  a = zeto_file_size(p, 0, "o/x.txt");
  say("zeto_file_size %lld missing %lld", (long long)a, (long long)zeto_file_size(p, 0, "o/y"));
  r = zeto_file_changemode(p, 0, "o/x.txt", 1);
  say("zeto_file_changemode %d mode %d", r, zeto_file_mode(p, 0, "o/x.txt"));
  zeto_file_changemode(p, 0, "o/x.txt", 0);
  say("zeto_file_rename %d", zeto_file_rename(p, 0, "o/x.txt", "o/z.txt"));
  r = zeto_file_lock(p, 0, "o/l");
  say("zeto_file_lock %d release %d", r, zeto_file_release(p, 0, "o/l"));
  r = zeto_file_resolve(p, 0, "o", buffer, sizeof buffer);
  say("zeto_file_resolve %d error %s", r, zeto_file_error(p, NULL));
  say("zeto_file_pathseparator %c", zeto_file_pathseparator());
  say("zeto_file_delete %d", zeto_file_delete(p, 0, "o/z.txt"));
  r = zeto_file_delete(p, 0, "o/z.txt");
  say("zeto_file_delete again %d error %s", r, zeto_file_error(p, NULL));
  say("zeto_file_removedirectory %d", zeto_file_removedirectory(p, 0, "o"));
}

static void old_variables(void) {
  ztVariable *v = zeto_variable_new("old", "value");
  ztVariable *e;
  ztVariableList *list;
  ztVariableHash *tree;
  char *url;
  int r;
  void *memory = zeto_alloc(4);
  memory = zeto_realloc(memory, 64);
  say("zeto_alloc/realloc %d", memory != NULL);
  zeto_free(memory);
  say("zeto_variable name %s value %s", zeto_variable_name(v), zeto_variable_value(v));
  zeto_variable_setvalue(v, "");
  say("zeto_variable empty value is text %d", zeto_variable_value(v) != NULL &&
                                                   zeto_variable_value(v)[0] == 0);
  zeto_variable_set_array_element_value(v, 2, "two");
  zeto_variable_set_array_element_value(v, 4, "four");
  say("zeto_variable array min %d max %d elements %d type %d element %s missing %s",
      zeto_variable_array_min(v), zeto_variable_array_max(v), zeto_variable_array_elements(v),
      zeto_variable_aggregate_type(v), zeto_variable_value(zeto_variable_array_element(v, 4, 0)),
      zeto_variable_array_element(v, 3, 0) == NULL ? "null" : "?");
  list = zeto_variable_aggregate_list(v);
  for (e = zeto_variablelist_first(list); e != NULL; e = zeto_variablelist_next(list))
    say("  %s = %s", zeto_variable_name(e), zeto_variable_value(e));
  say("  renamed element itself %s", zeto_variable_name(zeto_variable_array_element(v, 2, 0)));
  zeto_variablelist_delete(list);
  zeto_variable_delete(v);
  v = zeto_variable_new("st", "");
  zeto_variable_set_structure_member_value(v, "M", "member");
  say("zeto_variable structure type %d member %s", zeto_variable_aggregate_type(v),
      zeto_variable_value(zeto_variable_structure_member(v, "m", 0)));
  zeto_variable_delete(v);

  list = zeto_variablelist_new();
  zeto_variablelist_setvariable(list, "a b", "1&2");
  zeto_variablelist_setvariable(list, "c", "x");
  zeto_variablelist_setvariable(list, "C", "y");
  say("zeto_variablelist find %s", zeto_variable_value(zeto_variablelist_find(list, "c")));
  say("zeto_variablelist first %s", zeto_variable_value(zeto_variablelist_first(list)));
  say("zeto_variablelist next %s", zeto_variable_value(zeto_variablelist_next(list)));
  say("zeto_variablelist current %s", zeto_variable_value(zeto_variablelist_current(list)));
  url = zeto_variablelist_to_url("http://h/p", list);
  say("zeto_variablelist_to_url %s", url);
  free(url);
  url = zeto_variablelist_to_url("http://h/p?q=1", list);
  say("zeto_variablelist_to_url %s", url);
  free(url);
  zeto_variablelist_dump(list);
  say("zeto_variablelist dump first %s", zeto_variablelist_first(list) == NULL ? "null" : "?");
  zeto_variablelist_delete(list);

  tree = zeto_variabletree_new();
  v = zeto_variable_new("k", "1");
  r = zeto_variabletree_insert(tree, v);
  say("zeto_variabletree insert %d find %s missing %s", r,
      zeto_variable_value(zeto_variabletree_find(tree, "K")),
      zeto_variabletree_find(tree, "q") == NULL ? "null" : "?");
  zeto_variable_delete(v);
  v = zeto_variable_new("ignored", "2");
  r = zeto_variabletree_setvariable(tree, "k", v);
  say("zeto_variabletree setvariable %d find %s", r,
      zeto_variable_value(zeto_variabletree_find(tree, "k")));
  zeto_variable_delete(v);
  zeto_variabletree_dump(tree);
  zeto_variabletree_delete(tree);
}

static void program(ztProgram *p) {
  char *error = NULL, *text;
  int32_t n = 0, cap = 0, flag = -1;
  int r;
  ztSegment *segment;
  ztVariable *result = ztVariable_Allocate("r", -1, NULL, 0);
  ztVariable *json = ztVariable_Allocate("j", -1, NULL, 0);
  ztVariableList *args = ztVariableList_Allocate();
  ztVariableList *all = ztVariableList_Allocate();
  ztLinkBuffer *b = ztLinkBuffer_Allocate(0, 0);
  const ztFunctionEntry *entry;
  ztVariable *a, *bv;

  say("Output_Header %d", ztProgram_Output_Header(p, "X-Probe", -1, "yes", 3));
  segment = ztProgram_Compile_Dynamic_Expression(p, "1 + 2", -1, &error, &n);
  r = ztProgram_Execute_Dynamic_Expression(p, segment, NULL, result);
  say("Compile %d Execute %d %s", segment != NULL, r, value_of(result));
  r = ztProgram_Execute_Dynamic_Expression_Boolean(p, segment, NULL, &flag);
  say("Execute_Boolean %d %d", r, flag);
  segment = ztProgram_Compile_Dynamic_Expression(p, "1 +", -1, &error, &n);
  say("Compile bad %d error %s", segment != NULL, shown(error, n));
  ztProgram_Free(p, error);
  entry = ztProgram_Lookup_ExternalFunction(p, "PROBE_RUN", -1);
  say("Lookup_ExternalFunction %s %u missing %d", entry ? shown(entry->name, (int32_t)entry->name_length) : "null",
      entry ? entry->parameter_count : 0, ztProgram_Lookup_ExternalFunction(p, "none", -1) != NULL);
  ztVariableList_Insert(args, ztVariableList_SetVariable(all, "n", -1, "21", -1));
  r = ztProgram_RunFunction(p, "twice", -1, args, result);
  say("RunFunction %d %s", r, value_of(result));
  say("RunFunction missing %d", ztProgram_RunFunction(p, "nosuch", -1, NULL, NULL));
  ztVariableList_Dump(all);
  ztVariable_SetValue(ztVariable_Array_Element(1, json, 1), "true", -1);
  ztVariable_SetValue(ztVariable_Struct_Member("k", -1, ztVariable_Array_Element(2, json, 1), 1),
                      "v", -1);
  say("JSON_Encode %d", ztProgram_JSON_Encode(p, json, ZT_JSON_LITERALS, b));
  text = (char *)ztLinkBuffer_Data(b, &n);
  say("  %s", shown(text, n));
  ztProgram_Free(p, ztLinkBuffer_Release(b, NULL, NULL));
  ztProgram_JSON_Encode(p, json, ZT_JSON_INDENT, b);
  text = ztLinkBuffer_Release(b, &n, NULL);
  say("  indented %s", shown(text, n));
  ztProgram_Free(p, text);
  r = ztProgram_JSON_Decode(p, "{\"a\":[1,\"x\"]}", -1, json, &error, &n, &cap);
  say("JSON_Decode %d %s", r,
      value_of(ztVariable_Array_Element(2, ztVariable_Struct_Member("a", -1, json, 0), 0)));
  error = NULL;
  r = ztProgram_JSON_Decode(p, "[1,", -1, json, &error, &n, &cap);
  say("JSON_Decode bad %d %s", r, shown(error, n));
  ztProgram_Free(p, error);

  destroyed = 0;
  ztProgram_Register_Persistent(p, "probe.key", -1, (void *)1, count_destroy);
  ztProgram_Register_Persistent(p, "PROBE.KEY", -1, (void *)2, count_destroy);
  say("Register_Persistent twice: destroyed %d", destroyed);
  say("Lookup_Persistent %d missing %d",
      (int)(size_t)ztProgram_Lookup_Persistent(p, "probe.key", -1),
      ztProgram_Lookup_Persistent(p, "other", -1) != NULL);
  say("Lookup_Local_Persistent before %d", ztProgram_Lookup_Local_Persistent(p, "l", -1) != NULL);
  ztProgram_Register_Local_Persistent(p, "l", -1, (void *)3, NULL);
  say("Register_Local_Persistent Lookup %d",
      (int)(size_t)ztProgram_Lookup_Local_Persistent(p, "L", -1));
  r = ztProgram_Sleep(p, 1);
  say("Sleep %d Asynchronous_Sleep %d", r, ztProgram_Asynchronous_Sleep(p, 1));
  ztProgram_ResetGlobalTimeout(p);
  text = ztProgram_Entity_Encode(p, "<a href=\"x\">&'", -1, &n);
  say("Entity_Encode %s", shown(text, n));
  ztProgram_Free(p, text);
  text = ztProgram_Entity_Decode(p, "&lt;&amp;&#65;&#x263A;&bogus;&", -1, &n);
  say("Entity_Decode %s", shown(text, n));
  ztProgram_Free(p, text);
  text = ztProgram_Attribute_Encode(p, "a\"b\tc", -1, &n);
  say("Attribute_Encode %s", shown(text, n));
  ztProgram_Free(p, text);
  text = ztProgram_Attribute_Decode(p, "a&quot;b&#9;c", -1, &n);
  say("Attribute_Decode %s", shown(text, n));
  ztProgram_Free(p, text);
  text = ztProgram_JavaScriptString_Encode(p, "it's \"x\"\n</script>", -1, &n);
  say("JavaScriptString_Encode %s", shown(text, n));
  ztProgram_Free(p, text);
  r = ztProgram_SetCharacterSet(p, "utf-8", -1);
  say("SetCharacterSet %d GetCharacterSet %s UTF8 %d", r, ztProgram_GetCharacterSet(p, NULL),
      ztProgram_CharacterSetIsUTF8(p));
  say("SetLanguage %d SetDefaultLanguage %d SetDefaultDatabase %d SetProcessName %d",
      ztProgram_SetLanguage(p, "de", -1), ztProgram_SetDefaultLanguage(p, "en", -1),
      ztProgram_SetDefaultDatabase(p, "xbase3", -1), ztProgram_SetProcessName(p, "probe", -1));
  text = ztProgram_MakeSessionID(p, &n);
  error = ztProgram_MakeSessionID(p, NULL);
  say("MakeSessionID length %d differs %d", n, strcmp(text, error) != 0);
  ztProgram_Free(p, text);
  ztProgram_Free(p, error);
  say("SSL_Function SSL_new %s no_such_function %s Deprecated_Enabled %d",
      ztProgram_SSL_Function(p, "SSL_new") ? "found" : "null",
      ztProgram_SSL_Function(p, "no_such_function") ? "found" : "null", ztProgram_Deprecated_Enabled(p));
  say("Global_VariableHash g %s", value_of(ztVariableHash_Find(ztProgram_Global_VariableHash(p), "g", -1)));
  say("System_VariableHash request_method %s",
      value_of(ztVariableHash_Find(ztProgram_System_VariableHash(p), "request_method", -1)));
  ztVariableList_Dump(all);
  r = ztProgram_Global_Variables(p, all);
  say("Global_Variables has some %d same as list %d", r > 0, r == ztVariableList_Entries(all));
  say("Local_Variables has some %d", ztProgram_Local_Variables(p, all) > 0);
  say("System_Variables has some %d", ztProgram_System_Variables(p, all) > 0);
  say("Lookup_Variable g %s arr[2] %s", value_of(ztProgram_Lookup_Variable(p, "g", -1)),
      value_of(ztProgram_Lookup_Variable(p, "list[2]", -1)));
  a = ztVariable_Allocate(NULL, 0, "10", -1);
  bv = ztVariable_Allocate(NULL, 0, "9", -1);
  say("Compare 10 9 %d 9 10 %d same %d", ztProgram_Compare(p, a, bv) > 0,
      ztProgram_Compare(p, bv, a) < 0, ztProgram_Compare(p, a, a));
  r = ztProgram_Output(p, "", 0);
  say("Output %d Output_Flush %d", r, ztProgram_Output_Flush(p));
  ztVariable_Free(a);
  ztVariable_Free(bv);
  ztVariableList_Free(all);
  ztVariableList_Free(args);
  ztLinkBuffer_Free(b);
  ztVariable_Free(json);
  ztVariable_Free(result);
}

typedef int (*answer_function)(void);

static void system_libraries(ztProgram *p) {
  ztSystemLibrary *lib = ztProgram_SystemLibrary(p, "SYS", -1);
  answer_function answer;
  say("SystemLibrary_IsRegistered sys %d other %d", ztProgram_SystemLibrary_IsRegistered(p, "sys", -1),
      ztProgram_SystemLibrary_IsRegistered(p, "other", -1));
  answer = (answer_function)ztSystemLibrary_GetFunction(lib, "system_answer");
  say("SystemLibrary %d GetFunction %d answer %d", lib != NULL, answer != NULL, answer ? answer() : 0);
  answer = (answer_function)ztSystemLibrary_GetFunction(lib, "nothing_here");
  say("GetFunction missing %d Error %s", answer != NULL, ztSystemLibrary_Error(p, lib, NULL));
  lib = ztProgram_SystemLibrary(p, "other", -1);
  say("SystemLibrary other %d Error %s", lib != NULL, ztSystemLibrary_Error(p, NULL, NULL));
}

static void network(ztProgram* p) {
  int r;
  char buffer[32] = "x";
  ztVariable* line = ztVariable_Allocate(NULL, 0, NULL, 0);
  say("Is_IP_Address 10.0.0.1 %d ::1 %d host %d", ztNetwork_Is_IP_Address("10.0.0.1", -1),
      ztNetwork_Is_IP_Address("::1", -1), ztNetwork_Is_IP_Address("host", -1));
  say("Is_IPv4 256.1.1.1 %d 1.2.3.4 %d Is_IPv6 fe80::1:2 %d 1:2:3:4:5:6:7:8 %d 1::2::3 %d",
      ztNetwork_Is_IPv4_Address("256.1.1.1", -1), ztNetwork_Is_IPv4_Address("1.2.3.4", 7),
      ztNetwork_Is_IPv6_Address("fe80::1:2", -1), ztNetwork_Is_IPv6_Address("1:2:3:4:5:6:7:8", -1),
      ztNetwork_Is_IPv6_Address("1::2::3", -1));
  /* Connections to real peers are net.c's; here only what needs none. */
  say("Read %d Read_Line %d Write %d", ztNetwork_Read(NULL, buffer, 32, 1),
      ztNetwork_Read_Line(NULL, line, 1), ztNetwork_Write(NULL, "x", 1, 1));
  ztNetwork_Close(NULL);
  /* Arguments are evaluated in no fixed order: each call comes first. */
  r = ztNetwork_Open_URL(p, "ftp://host/", -1, 1) != NULL;
  say("Open_URL ftp %d Error %s", r, ztNetwork_Error(p, NULL, NULL));
  r = ztNetwork_Get_Host_Address(p, "127.0.0.1", -1, buffer, 32);
  say("Get_Host_Address %d [%s]", r, buffer);
  r = ztNetwork_Normalize_IP_Address("0:0::1", -1, buffer, 32);
  say("Normalize_IP_Address 0:0::1 %d [%s]", r, buffer);
  r = ztNetwork_Normalize_IP_Address("001.2.3.4", -1, buffer, 32);
  say("Normalize_IP_Address 001.2.3.4 %d", r);
  r = ztNetwork_Normalize_IP_Address("1.2.3.4", -1, buffer, 32);
  say("Normalize_IP_Address 1.2.3.4 %d [%s]", r, buffer);
  r = ztNetwork_Normalize_IP_Address("1.2.3.4", -1, buffer, 7);
  say("Normalize_IP_Address small buffer %d", r);
  r = ztNetwork_HTTP_Request(p, "GET", -1, "", -1, NULL, NULL, 0, 1) != NULL;
  say("HTTP_Request no URL %d Error %s", r, ztHTTPResponse_Error(p, NULL, NULL));
  {
    ztVariableList* headers = ztVariableList_Allocate();
    ztVariableList_SetVariable(headers, "X-A", -1, "1\r\nX-Injected: 1", -1);
    r = ztNetwork_HTTP_Request(p, "GET", -1, "http://127.0.0.1:1/", -1, headers, NULL, 0, 1) !=
        NULL;
    say("HTTP_Request header with a line break %d Error %s", r,
        ztHTTPResponse_Error(p, NULL, NULL));
    ztVariableList_Dump(headers);
    ztVariableList_SetVariable(headers, "content-length", -1, "5", -1);
    r = ztNetwork_HTTP_Request(p, "GET", -1, "http://127.0.0.1:1/", -1, headers, NULL, 0, 1) !=
        NULL;
    say("HTTP_Request own Content-Length %d Error %s", r, ztHTTPResponse_Error(p, NULL, NULL));
    ztVariableList_Free(headers);
  }
  r = ztNetwork_Connect(p, "127.0.0.1", -1, 0, 1) != NULL;
  say("Connect port 0 %d Error %s", r, ztNetwork_Error(p, NULL, NULL));
  say("HTTPResponse Status_Code %d Content_Length %lld Read %d", ztHTTPResponse_Status_Code(NULL),
      (long long)ztHTTPResponse_Content_Length(NULL), ztHTTPResponse_Read(NULL, buffer, 32));
  ztHTTPResponse_Close(NULL);
  r = zeto_network_openurl(p, "nonsense", 1) != NULL;
  say("zeto_network openurl %d error %s", r, zeto_network_error(p, NULL));
  say("zeto_network read %d readline %d write %d", zeto_network_read(NULL, buffer, 32, 1),
      zeto_network_readline(NULL, buffer, 32, 1), zeto_network_write(NULL, "x", 1));
  zeto_network_close(NULL);
  r = zeto_network_gethostaddress(p, "::1", buffer, 32);
  say("zeto_network gethostaddress %d [%s] isipaddress %d", r, buffer,
      zeto_network_isipaddress("127.0.0.1"));
  ztVariable_Free(line);
}

static void databases(void) {
  say("Database Program %d data %d AddView %d SetPrimaryView %d", ztDatabase_Program(NULL) != NULL,
      ztDatabase_data(NULL) != NULL, ztDatabase_AddView(NULL, "v", -1, NULL) != NULL,
      ztDatabase_SetPrimaryView(NULL, NULL));
  ztDatabase_SetData(NULL, NULL);
  say("DatabaseView Database %d Program %d data %d Commit %d AddVariable %d",
      ztDatabaseView_Database(NULL) != NULL, ztDatabaseView_Program(NULL) != NULL,
      ztDatabaseView_data(NULL) != NULL, ztDatabaseView_Commit(NULL),
      ztDatabaseView_AddVariable(NULL, "f", -1, NULL) != NULL);
  ztDatabaseView_SetData(NULL, NULL);
  ztDatabaseView_SetDirty(NULL);
  ztDatabaseView_Clear(NULL);
  say("DatabaseVariable DatabaseView %d data %d", ztDatabaseVariable_DatabaseView(NULL) != NULL,
      ztDatabaseVariable_data(NULL) != NULL);
  ztDatabaseVariable_SetData(NULL, NULL);
  ztDatabaseVariable_SetDirty(NULL, 1);
}

static void probe_run(ztProgram *p, ztVariableHash *parameters, ztVariable *result, void **data) {
  char *text;
  int32_t n = 0, cap = 0;
  (void)parameters;
  if (p == NULL) return; /* the call that frees persistent data */
  if (*data == NULL) *data = (void *)1;
  report = ztLinkBuffer_Allocate(4096, 4096);
  variables();
  callbacks(p);
  lists();
  scopes();
  link_buffers();
  files(p);
  old_files(p);
  old_variables();
  program(p);
  system_libraries(p);
  network(p);
  databases();
  text = ztLinkBuffer_Release(report, &n, &cap);
  ztVariable_SetValue_Nocopy(result, text, n, cap);
  ztLinkBuffer_Free(report);
}

/* echo(text): the text back, for the concurrency test. */
static void echo(ztProgram *p, ztVariableHash *parameters, ztVariable *result, void **data) {
  int32_t n = 0;
  const char *text;
  (void)data;
  if (p == NULL) return;
  text = ztVariable_Value(ztVariableHash_Index(parameters, 0), &n);
  ztVariable_SetValue(result, text, n);
  ztVariable_SetValue(ztVariableHash_Index(parameters, 0), "seen", -1);
}

/* fatal(): stops the script. */
static void fatal(ztProgram *p, ztVariableHash *parameters, ztVariable *result, void **data) {
  (void)parameters;
  (void)result;
  (void)data;
  if (p != NULL) ztProgram_FatalError(p, "probe gave up", -1);
}

static const ztFunctionParameter by_reference[] = {{{0}, ZT_PARAMETER_BY_REFERENCE}};
static const ztFunctionEntry entries[] = {
    {"probe_run", 9, 0, NULL, probe_run},
    {"probe_echo", 10, 1, by_reference, echo},
    {"probe_fatal", 11, 0, NULL, fatal},
    {NULL, 0, 0, NULL, NULL},
};
static const ztFunctionTable table = {NULL, entries};

const ztFunctionTable *zeto_function_table(void) {
  return &table;
}
