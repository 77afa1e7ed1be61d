// Exported interface: what database libraries call to build their views
// and field variables (ztDatabase*). Handles are the host's
// ExternalDatabase, ExternalDatabaseView and ExternalDatabaseVariable.
#include "database/external_database.h"
#include "libraries/exports.h"
#include "util/byte_string.h"

using namespace orin;

namespace {

ExternalDatabase* Db(ztDatabase* d) {
  return ExternalDatabase::Host(d);
}
ExternalDatabaseView* View(ztDatabaseView* v) {
  return ExternalDatabaseView::Host(v);
}
ExternalDatabaseVariable* Field(ztDatabaseVariable* v) {
  return ExternalDatabaseVariable::Host(v);
}

}  // namespace

extern "C" {

ztProgram* ztDatabase_Program(ztDatabase* database) {
  return database == nullptr ? nullptr : Handle(Db(database)->machine());
}

void* ztDatabase_data(ztDatabase* database) {
  return database == nullptr ? nullptr : Db(database)->data();
}

void ztDatabase_SetData(ztDatabase* database, void* data) {
  if (database != nullptr) Db(database)->set_data(data);
}

ztDatabaseView* ztDatabase_AddView(ztDatabase* database, const char* name, int32_t name_length,
                                   void* data) {
  if (database == nullptr || name == nullptr) return nullptr;
  ExternalDatabaseView* view = Db(database)->NewView(MeasuredText(name, name_length), data);
  return view == nullptr ? nullptr : view->Handle();
}

int ztDatabase_SetPrimaryView(ztDatabase* database, ztDatabaseView* view) {
  if (database == nullptr || view == nullptr) return 0;
  if (View(view)->database() != Db(database)) return 0;
  Db(database)->MakePrimaryView(View(view));
  return 1;
}

ztDatabase* ztDatabaseView_Database(ztDatabaseView* view) {
  return view == nullptr ? nullptr : View(view)->external_database()->Handle();
}

ztProgram* ztDatabaseView_Program(ztDatabaseView* view) {
  return view == nullptr ? nullptr : Handle(View(view)->machine());
}

void* ztDatabaseView_data(ztDatabaseView* view) {
  return view == nullptr ? nullptr : View(view)->data();
}

void ztDatabaseView_SetData(ztDatabaseView* view, void* data) {
  if (view != nullptr) View(view)->set_data(data);
}

void ztDatabaseView_SetDirty(ztDatabaseView* view) {
  if (view != nullptr) View(view)->MarkDirty();
}

void ztDatabaseView_Clear(ztDatabaseView* view) {
  if (view != nullptr) View(view)->EmptyVariables();
}

int ztDatabaseView_Commit(ztDatabaseView* view) {
  if (view == nullptr) return 0;
  View(view)->CommitVariables();
  return 1;
}

ztDatabaseVariable* ztDatabaseView_AddVariable(ztDatabaseView* view, const char* name,
                                               int32_t name_length, void* data) {
  if (view == nullptr || name == nullptr) return nullptr;
  ExternalDatabaseVariable* variable =
      View(view)->AddVariable(MeasuredText(name, name_length), data);
  return variable == nullptr ? nullptr : variable->Handle();
}

ztDatabaseView* ztDatabaseVariable_DatabaseView(ztDatabaseVariable* variable) {
  if (variable == nullptr || Field(variable)->view() == nullptr) return nullptr;
  return Field(variable)->view()->Handle();
}

void* ztDatabaseVariable_data(ztDatabaseVariable* variable) {
  return variable == nullptr ? nullptr : Field(variable)->data();
}

void ztDatabaseVariable_SetData(ztDatabaseVariable* variable, void* data) {
  if (variable != nullptr) Field(variable)->set_data(data);
}

void ztDatabaseVariable_SetDirty(ztDatabaseVariable* variable, int dirty) {
  if (variable == nullptr) return;
  if (dirty != 0) {
    Field(variable)->Forget();
  } else {
    Field(variable)->MarkCurrent();
  }
}

}  // extern "C"
