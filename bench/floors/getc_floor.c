/* The floor of reading a request body byte by byte through stdio: every byte
 * of standard input passes getc_unlocked once and is looked at, as a
 * line-oriented parser must at least do. */
#include <stdio.h>

int main(void) {
  unsigned long bytes = 0;
  unsigned long lines = 0;
  int c;
  while ((c = getc_unlocked(stdin)) != EOF) {
    ++bytes;
    lines += c == '\n';
  }
  /* Printed so that the loop cannot be dropped; the output is discarded. */
  printf("%lu bytes, %lu lines\n", bytes, lines);
  return 0;
}
