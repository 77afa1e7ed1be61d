/* A commerce method with three results: the loop fills the field "item"
   and stops after the third. The action "fail-init" fails at init,
   "fail-loop" at the second loop. Built with COMMERCE_TABLE it exports the
   descriptor table, else the four named entry points (COMMERCE_THREE:
   only three of them). */
#include <orin/plugin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct state {
  int calls;
  char error[64];
};

static int init(ztProgram *p, void **context, const char *method, const char *action,
                ztVariableList *fields, ztVariableHash *system) {
  struct state *s = calloc(1, sizeof *s);
  (void)p;
  (void)method;
  (void)fields;
  (void)system;
  *context = s;
  if (strcmp(action, "fail-init") == 0) {
    snprintf(s->error, sizeof s->error, "init refused %s", method);
    return 1;
  }
  return 0;
}

static int loop(ztProgram *p, void **context, const char *method, const char *action,
                ztVariableList *fields, ztVariableHash *system, int32_t iteration) {
  struct state *s = *context;
  char text[32];
  ztVariable *item = ztVariableList_Find(fields, "item", -1);
  (void)p;
  (void)method;
  (void)system;
  ++s->calls;
  if (strcmp(action, "fail-loop") == 0 && iteration == 1) {
    snprintf(s->error, sizeof s->error, "loop failed at %d", iteration);
    return 1;
  }
  if (iteration >= 3) return 2;
  snprintf(text, sizeof text, "%s-%d", action, iteration);
  if (item != NULL) ztVariable_SetValue(item, text, -1);
  return 0;
}

static void cleanup(ztProgram *p, void **context, const char *method, const char *action,
                    ztVariableList *fields) {
  ztVariable *count = ztVariableList_Find(fields, "calls", -1);
  (void)p;
  (void)method;
  (void)action;
  if (count != NULL && *context != NULL) {
    ztVariable_SetValue_Integer(count, ((struct state *)*context)->calls);
  }
  free(*context);
  *context = NULL;
}

#ifndef COMMERCE_THREE
static const char *error(ztProgram *p, void **context, const char *method, const char *action,
                         ztVariableList *fields) {
  (void)p;
  (void)method;
  (void)action;
  (void)fields;
  return ((struct state *)*context)->error;
}
#endif

#ifdef COMMERCE_TABLE
static const ztCommerceTable table = {NULL, init, loop, cleanup, error};
const ztCommerceTable *zeto_commerce_library(void) {
  return &table;
}
#else
int zeto_commerce_init(ztProgram *p, void **c, const char *m, const char *a, ztVariableList *f,
                       ztVariableHash *s) {
  return init(p, c, m, a, f, s);
}
int zeto_commerce_loop(ztProgram *p, void **c, const char *m, const char *a, ztVariableList *f,
                       ztVariableHash *s, int32_t i) {
  return loop(p, c, m, a, f, s, i);
}
void zeto_commerce_cleanup(ztProgram *p, void **c, const char *m, const char *a,
                           ztVariableList *f) {
  cleanup(p, c, m, a, f);
}
#ifndef COMMERCE_THREE
const char *zeto_commerce_error(ztProgram *p, void **c, const char *m, const char *a,
                                ztVariableList *f) {
  return error(p, c, m, a, f);
}
#endif
#endif
