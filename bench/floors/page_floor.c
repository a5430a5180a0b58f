/* The floor of a page that a request assembles from files on the card:
 *   page_floor <page> [<file>...]
 * reads every <file> whole, as the program must at least read what the page
 * is made of, then writes the bytes of <page> to standard output and exits.
 * Reading <page> itself is one open, read and close more than the program
 * needs (a few dozen instructions). */
#include <fcntl.h>
#include <unistd.h>

static char buffer[1 << 16];

/* The number of bytes of `path` left in `buffer` by its last read, or -1. */
static ssize_t read_whole(const char *path) {
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    return -1;
  }
  ssize_t total = 0;
  ssize_t got;
  while ((got = read(file, buffer + total, sizeof buffer - (size_t)total)) > 0) {
    total += got;
    if (total == (ssize_t)sizeof buffer) {
      total = 0; /* only the page must fit; other files are just read */
    }
  }
  close(file);
  return total;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    if (read_whole(argv[i]) < 0) {
      return 2;
    }
  }
  const ssize_t size = read_whole(argv[1]);
  for (ssize_t at = 0; at < size;) {
    const ssize_t written = write(STDOUT_FILENO, buffer + at, (size_t)(size - at));
    if (written <= 0) {
      return 1;
    }
    at += written;
  }
  return size < 0 ? 2 : 0;
}
