#include "e2e/harness/cgi_run.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <thread>

namespace testing_support {
constexpr int kValgrindErrorStatus = 99;

#ifdef MEROVANE_TEST_EMULATOR
bool UnderMemcheck() { return false; }  // memcheck is for the build host only
#define MEROVANE_MEMCHECK_PROGRAM MEROVANE_SANDBOXED_PROGRAM
#else
bool UnderMemcheck() {
  return std::getenv("MEROVANE_TEST_VALGRIND") != nullptr &&
         *std::getenv("MEROVANE_TEST_VALGRIND") != '\0';
}
#endif

CgiRun RunCgi(const Sandbox& sandbox, const CgiEnvironment& environment, std::string_view body,
              const CgiRunOptions& options) {
  ::signal(SIGPIPE, SIG_IGN);  // the program may leave part of its input unread
  const bool checked = UnderMemcheck();
  const std::string program = !options.program.empty() ? options.program
                              : checked                ? MEROVANE_MEMCHECK_PROGRAM
                                                       : MEROVANE_SANDBOXED_PROGRAM;
  const std::string work_dir = sandbox.WorkDir().string(),
                    valgrind_log = (sandbox.Root() / "records" / "valgrind.%p.log").string();
  std::vector<std::string> env_strings, args = {"Merovane"};
  for (const auto& [name, value] : environment) env_strings.push_back(name + "=" + value);
  if (checked) {
    args = {std::getenv("MEROVANE_TEST_VALGRIND"), "--log-file=" + valgrind_log,
            "--error-exitcode=" + std::to_string(kValgrindErrorStatus)};
    for (const char* option : {"--quiet", "--leak-check=full", "--vgdb=no",
                               "--show-leak-kinds=definite,indirect,possible",
                               "--errors-for-leak-kinds=definite,indirect,possible",
                               "--child-silent-after-fork=yes", program.c_str()})
      args.emplace_back(option);
  }
#ifdef MEROVANE_TEST_EMULATOR
  args = {MEROVANE_TEST_EMULATOR, "-0", "Merovane",
          program};  // its emulator gives it the same argv[0]
#endif
  std::vector<char*> envp, argv;
  for (auto [strings, pointers] : {std::pair{&env_strings, &envp}, {&args, &argv}}) {
    for (std::string& text : *strings) pointers->push_back(text.data());
    pointers->push_back(nullptr);
  }

  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
    return {};
  if (options.leave_after == "")
    ::close(std::exchange(out[0], -1));  // gone before the program can write
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::signal(SIGPIPE, SIG_DFL);  // as a web server starts it
    for (const auto& [from, to] : {std::pair{in[0], 0}, {out[1], 1}, {err[1], 2}}) ::dup2(from, to);
    ::close_range(3, ~0U, 0);
    ::dup2(::open("/dev/null", O_RDONLY), 7), ::close(3);  // (the open takes 3)
    if (options.closed_stream >= 0) ::close(options.closed_stream);
    if (::chdir(work_dir.c_str()) == 0)
      ::execve((args.size() > 1 ? args[0] : program).c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  for (const int fd : {out[1], err[1]}) ::close(fd);  // in[0] kept: what is left in it is told
  std::thread writer([fd = in[1], body, open = options.input_left_open]() mutable {
    for (ssize_t put = 0; !body.empty() && (put = ::write(fd, body.data(), body.size())) > 0;)
      body.remove_prefix(static_cast<std::size_t>(put));
    if (!open) ::close(fd);
  });

  CgiRun run;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  std::array<pollfd, 2> fds = {pollfd{out[0], POLLIN, 0}, pollfd{err[0], POLLIN, 0}};
  std::array<char, 65536> buffer;
  for (bool exited = false; fds[0].fd >= 0 || fds[1].fd >= 0 || !exited;) {
    int status = 0;
    if (!exited && (exited = ::waitpid(pid, &status, WNOHANG) == pid)) {
      run.exited = std::chrono::steady_clock::now();
      run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid, SIGKILL), ::waitpid(pid, nullptr, 0);
      ADD_FAILURE() << "the program did not finish within " << options.timeout.count() << " s";
      break;
    }
    const bool leaving = options.leave_after && fds[0].fd >= 0 &&
                         run.out.find(*options.leave_after) != std::string::npos;
    if (leaving && options.terminate_on_leave && !exited) ::kill(pid, SIGTERM);
    ::poll(fds.data(), fds.size(), leaving ? 0 : 20);
    for (std::size_t stream = 0; stream < 2; ++stream) {
      if (fds[stream].fd < 0 || (fds[stream].revents == 0 && !(leaving && stream == 0))) continue;
      const ssize_t got =
          leaving && stream == 0 ? 0 : ::read(fds[stream].fd, buffer.data(), buffer.size());
      if (got > 0 && (stream == 0 ? run.out : run.err)
                         .append(buffer.data(), static_cast<std::size_t>(got))
                         .size())
        continue;
      ::close(std::exchange(fds[stream].fd, -1));
      if (stream == 0) run.output_closed = std::chrono::steady_clock::now();
    }
  }
  for (const pollfd& fd : fds) ::close(fd.fd);
  int unread = 0;
  ::ioctl(in[0], FIONREAD, &unread);
  run.unread_input = static_cast<std::size_t>(unread);
  ::close(in[0]);  // a writer held by a full pipe ends
  writer.join();
  if (options.input_left_open) ::close(in[1]);
  const std::string report =
      sandbox.ReadFile(sandbox.Root() / "records" / ("valgrind." + std::to_string(pid) + ".log"));
  if (checked && (run.exit_status == kValgrindErrorStatus || !report.empty()))
    ADD_FAILURE() << "memcheck found faults:\n" << report;
  return run;
}

}  // namespace testing_support
