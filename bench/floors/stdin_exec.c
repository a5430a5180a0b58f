/* Starts a command with a request body on standard input, for hyperfine,
 * which gives the commands it times no input of their own:
 *   stdin_exec <body file> [<program> [arguments...]]
 * opens the body file as standard input, declares its size in
 * CONTENT_LENGTH and replaces itself with the program. Without a program it
 * does the same and exits: timed in the same run, that is the launcher's
 * own cost, which scripts/bench subtracts from the commands it started. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 2) {
    fputs("usage: stdin_exec <body file> [<program> [arguments...]]\n", stderr);
    return 2;
  }
  const int body = open(argv[1], O_RDONLY);
  struct stat status;
  if (body < 0 || fstat(body, &status) != 0 || dup2(body, STDIN_FILENO) < 0) {
    perror(argv[1]);
    return 2;
  }
  if (body != STDIN_FILENO) {
    close(body);
  }
  char length[32];
  snprintf(length, sizeof length, "%lld", (long long)status.st_size);
  setenv("CONTENT_LENGTH", length, 1);
  if (argc == 2) {
    return 0;
  }
  execv(argv[2], argv + 2);
  perror(argv[2]);
  return 127;
}
