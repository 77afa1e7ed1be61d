/* A configuration library: registers libraries, stores settings, queues
   variables and answers a setting itself. The option text "fail" makes
   init fail; a script path containing "refuse" fails its load. */
#include <orin/plugin.h>
#include <string.h>

static char error_text[64];

static int init(ztConfig *config, void *context, const char *config_path,
                const char *library_path, const char *options) {
  (void)context;
  (void)config_path;
  (void)library_path;
  if (strcmp(options, "fail") == 0) {
    strcpy(error_text, "the options say fail");
    return 1;
  }
  ztConfig_Register_Library_Builtin(config, "n/a", -1, "/lib/builtin.so", -1);
  ztConfig_Register_Library_Commerce(config, "pay", -1, "/lib/pay.so", -1);
  ztConfig_Register_Library_Database(config, "sql", 3, "/lib/sql.so", -1);
  ztConfig_Register_Library_System(config, "sys", -1, "/lib/sys.so", -1);
  ztConfig_SetValue(config, 0x02000001u, "/srv/site", -1, 0); /* zetoroot */
  ztConfig_SetValue_Integer(config, 0x01000005u, 77); /* loglevel */
  ztConfig_SetVariable_Global(config, "preset", -1, "global value", -1);
  ztConfig_SetVariable_System(config, "site_name", -1, "The Site", -1);
  ztConfig_Set_DefaultErrorSetting(config, "ztassign", -1, 0);
  return 0;
}

static int get_integer(ztConfig *config, void *context, uint32_t key, int32_t *value) {
  (void)config;
  (void)context;
  if (key != 0x01000007u) return 1; /* globaltimeout */
  *value = 4242;
  return 0;
}

static const char *error(ztConfig *config, void *context) {
  (void)config;
  (void)context;
  return error_text;
}

static int script_load(ztConfig *config, void *context, const char *path, int32_t length) {
  (void)config;
  (void)context;
  (void)length;
  if (strstr(path, "refuse") == NULL) return 0;
  strcpy(error_text, "script refused");
  return 1;
}

static const ztConfigTable table = {2, 0, init, NULL, get_integer, NULL, error, NULL, script_load};

const ztConfigTable *zeto_config_library(void) {
  return &table;
}
