/* Counts its registrations (one per load) and has a system routine. */
#include <orin/plugin.h>

static int registrations;

void zeto_register_library(void *host) {
  if (host != 0) ++registrations;
}

int counted_registrations(void) {
  return registrations;
}

int system_answer(void) {
  return 42;
}
