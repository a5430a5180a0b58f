/* Turns a floor into the floor of a request that starts programs: compiled
 * into it with -include, this starts, when the floor's main has returned,
 * every command of the file that FLOOR_PROGRAMS names, one a line, its
 * program and arguments separated by tabs, each in turn, and waits for it.
 * Exits with status 2 when one cannot be started. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

__attribute__((destructor)) static void start_programs(void) {
  const char *path = getenv("FLOOR_PROGRAMS");
  FILE *commands = path != NULL ? fopen(path, "r") : NULL;
  if (commands == NULL) {
    _exit(2);
  }
  static char line[1 << 12];
  while (fgets(line, sizeof line, commands) != NULL) {
    /* Split at every tab: an empty argument stays one. */
    line[strcspn(line, "\n")] = '\0';
    char *argv[16] = {line};
    int argc = 1;
    for (char *tab = strchr(line, '\t'); tab != NULL && argc < 15; tab = strchr(tab, '\t')) {
      *tab++ = '\0';
      argv[argc++] = tab;
    }
    argv[argc] = NULL;
    const pid_t child = fork();
    if (child == 0) {
      execv(argv[0], argv);
      _exit(127);
    }
    int status;
    if (child < 0 || waitpid(child, &status, 0) != child) {
      _exit(2);
    }
  }
  fclose(commands);
}
