/* The floor of a response: a statically linked program that only writes the
 * same bytes the CGI program answers with, from its own image. Built by
 * scripts/bench with -DFLOOR_PAGE="<file holding the bytes>". */
#include <unistd.h>

#ifndef FLOOR_PAGE
#error "FLOOR_PAGE names the file whose bytes the floor writes"
#endif

__asm__(
    ".section .rodata\n"
    ".global floor_page\nfloor_page:\n"
    ".incbin \"" FLOOR_PAGE
    "\"\n"
    ".global floor_page_end\nfloor_page_end:\n"
    ".previous\n");
extern const char floor_page[];
extern const char floor_page_end[];

int main(void) {
  const char *at = floor_page;
  while (at < floor_page_end) {
    const ssize_t written = write(STDOUT_FILENO, at, (size_t)(floor_page_end - at));
    if (written <= 0) {
      return 1;
    }
    at += written;
  }
  return 0;
}
