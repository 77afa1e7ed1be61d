#include "vm/run_databases.h"

namespace orin {

namespace {
RunDatabasesFactory g_factory = nullptr;
}  // namespace

void SetRunDatabasesFactory(RunDatabasesFactory factory) {
  g_factory = factory;
}

RunDatabasesFactory GetRunDatabasesFactory() {
  return g_factory;
}

}  // namespace orin
