/* A library without any descriptor symbol. */
int no_descriptor_here(void) {
  return 1;
}
