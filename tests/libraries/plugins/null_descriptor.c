/* Descriptor symbols that return no table: as a builtin, commerce,
   database and configuration library. */
#include <orin/plugin.h>

const ztFunctionTable *zeto_function_table(void) {
  return NULL;
}
const ztCommerceTable *zeto_commerce_library(void) {
  return NULL;
}
const void *zeto_database_library(void) {
  return NULL;
}
const ztConfigTable *zeto_config_library(void) {
  return NULL;
}
