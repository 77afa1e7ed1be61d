// Exported interface: databases supplied by database libraries
// (ztDatabase*). External databases are not part of this build: no
// database, view or field variable of a library can exist, so every
// function answers as for a missing object.
#include "libraries/exports.h"

extern "C" {

ztProgram* ztDatabase_Program(ztDatabase*) {
  return nullptr;
}

void* ztDatabase_data(ztDatabase*) {
  return nullptr;
}

void ztDatabase_SetData(ztDatabase*, void*) {}

ztDatabaseView* ztDatabase_AddView(ztDatabase*, const char*, int32_t, void*) {
  return nullptr;
}

int ztDatabase_SetPrimaryView(ztDatabase*, ztDatabaseView*) {
  return 0;
}

ztDatabase* ztDatabaseView_Database(ztDatabaseView*) {
  return nullptr;
}

ztProgram* ztDatabaseView_Program(ztDatabaseView*) {
  return nullptr;
}

void* ztDatabaseView_data(ztDatabaseView*) {
  return nullptr;
}

void ztDatabaseView_SetData(ztDatabaseView*, void*) {}

void ztDatabaseView_SetDirty(ztDatabaseView*) {}

void ztDatabaseView_Clear(ztDatabaseView*) {}

int ztDatabaseView_Commit(ztDatabaseView*) {
  return 0;
}

ztDatabaseVariable* ztDatabaseView_AddVariable(ztDatabaseView*, const char*, int32_t, void*) {
  return nullptr;
}

ztDatabaseView* ztDatabaseVariable_DatabaseView(ztDatabaseVariable*) {
  return nullptr;
}

void* ztDatabaseVariable_data(ztDatabaseVariable*) {
  return nullptr;
}

void ztDatabaseVariable_SetData(ztDatabaseVariable*, void*) {}

void ztDatabaseVariable_SetDirty(ztDatabaseVariable*, int) {}

}  // extern "C"
