// Exported interface: variable lists (ztVariableList_*).
#include "libraries/exports.h"
#include "variables/variable.h"
#include "variables/variable_list.h"

using namespace orin;

extern "C" {

ztVariableList* ztVariableList_Allocate(void) {
  return Handle(new VariableList());
}

void ztVariableList_Free(ztVariableList* list) {
  delete Host(list);
}

int ztVariableList_Insert(ztVariableList* list, ztVariable* v) {
  if (list == nullptr || v == nullptr) return 0;
  Host(list)->Insert(Host(v));
  return 1;
}

int32_t ztVariableList_Entries(ztVariableList* list) {
  return static_cast<int32_t>(Host(list)->Entries());
}

ztVariable* ztVariableList_First(ztVariableList* list) {
  return Handle(Host(list)->First());
}

ztVariable* ztVariableList_Next(ztVariableList* list) {
  return Handle(Host(list)->Next());
}

ztVariable* ztVariableList_Current(ztVariableList* list) {
  return Handle(Host(list)->Current());
}

ztVariable* ztVariableList_Find(ztVariableList* list, const char* name, int32_t name_length) {
  return Handle(Host(list)->Find(MeasuredText(name, name_length)));
}

ztVariable* ztVariableList_SetVariable(ztVariableList* list, const char* name, int32_t name_length,
                                       const char* value, int32_t value_length) {
  return Handle(
      Host(list)->SetVariable(MeasuredText(name, name_length), MeasuredText(value, value_length)));
}

void ztVariableList_Dump(ztVariableList* list) {
  Host(list)->Dump();
}

}  // extern "C"
