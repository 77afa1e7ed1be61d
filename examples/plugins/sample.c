/* A sample builtin library for Orin: two functions a script can call.
 *
 *   sample_reverse(text)   the text with its bytes in reverse order
 *   sample_visits()        how many times this server process has run it
 *
 * Build:  cc -shared -fPIC -o libsample.so sample.c $(pkg-config --cflags orin-plugin)
 */
#include <orin/plugin.h>
#include <stdatomic.h>
#include <stdlib.h>

static atomic_int visits;

static void reverse(ztProgram *program, ztVariableHash *parameters, ztVariable *result,
                    void **data) {
  int32_t length = 0;
  const char *text;
  char *reversed;
  (void)data;
  if (program == NULL) return; /* the host's last call, to free *data */
  text = ztVariable_Value(ztVariableHash_Index(parameters, 0), &length);
  reversed = ztProgram_Allocate(program, (size_t)length + 1);
  if (reversed == NULL) {
    ztProgram_FatalError(program, "sample_reverse: out of memory", -1);
    return;
  }
  for (int32_t i = 0; i < length; ++i)
    reversed[i] = text[length - 1 - i];
  reversed[length] = '\0';
  /* The variable takes the buffer over. */
  ztVariable_SetValue_Nocopy(result, reversed, length, length + 1);
}

static void count_visit(ztProgram *program, ztVariableHash *parameters, ztVariable *result,
                        void **data) {
  (void)parameters;
  (void)data;
  if (program == NULL) return;
  ztVariable_SetValue_Integer(result, atomic_fetch_add(&visits, 1) + 1);
}

static const ztFunctionParameter one_by_value[] = {{{0}, ZT_PARAMETER_BY_VALUE}};

static const ztFunctionEntry functions[] = {
    {"sample_reverse", 14, 1, one_by_value, reverse},
    {"sample_visits", 13, 0, NULL, count_visit},
    {NULL, 0, 0, NULL, NULL},
};

static const ztFunctionTable table = {NULL, functions};

const ztFunctionTable *zeto_function_table(void) {
  return &table;
}
