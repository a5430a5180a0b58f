#include "e2e/harness/cgi_run.hpp"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace testing_support {
namespace {

struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
      read_end = fds[0];
      write_end = fds[1];
    }
  }
};

// The exit status by which valgrind reports that it found faults.
constexpr int kValgrindErrorStatus = 99;

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

}  // namespace

CgiEnvironment GetRequest(std::string_view path_info) {
  return {{"PATH_INFO", std::string(path_info)},
          {"REQUEST_METHOD", "GET"},
          {"HTTP_HOST", kTestHost},
          {"SCRIPT_NAME", kTestScript}};
}

void SetVariable(CgiEnvironment& environment, std::string_view name, std::string_view value) {
  RemoveVariable(environment, name);
  environment.emplace_back(std::string(name), std::string(value));
}

void RemoveVariable(CgiEnvironment& environment, std::string_view name) {
  std::erase_if(environment, [&](const auto& variable) { return variable.first == name; });
}

CgiRun RunCgi(const Sandbox& sandbox, const CgiEnvironment& environment, std::string_view body,
              const CgiRunOptions& options) {
  // The program may leave part of its input unread; that must not kill us.
  ::signal(SIGPIPE, SIG_IGN);
#ifdef MEROVANE_TEST_EMULATOR
  // A program built for another processor runs under its emulator, which
  // gives it the same argv[0]; memcheck is for the build host only.
  const char* valgrind = nullptr;
  const bool checked = false;
  const bool emulated = true;
  const std::string program = !options.program.empty() ? options.program : MEROVANE_SANDBOXED_PROGRAM;
#else
  const char* valgrind = std::getenv("MEROVANE_TEST_VALGRIND");
  const bool checked = valgrind != nullptr && *valgrind != '\0';
  const bool emulated = false;
  const std::string program = !options.program.empty() ? options.program
                              : checked                ? MEROVANE_MEMCHECK_PROGRAM
                                                       : MEROVANE_SANDBOXED_PROGRAM;
#endif
  const std::string work_dir = sandbox.WorkDir().string();

  std::vector<std::string> env_strings;
  for (const auto& [name, value] : environment) {
    env_strings.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& entry : env_strings) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  std::vector<std::string> args = {"Merovane"};
  std::string executable = program;
  // The records directory is writable whoever the program runs as.
  const std::string valgrind_log = (sandbox.Root() / "records" / "valgrind.%p.log").string();
  if (checked) {
    executable = valgrind;
    args = {valgrind,
            "--quiet",
            "--tool=memcheck",
            "--leak-check=full",
            "--show-leak-kinds=definite,indirect,possible",
            "--errors-for-leak-kinds=definite,indirect,possible",
            "--error-exitcode=" + std::to_string(kValgrindErrorStatus),
            "--trace-children=no",
            "--child-silent-after-fork=yes",
            "--vgdb=no",
            "--log-file=" + valgrind_log,
            program};
  }
#ifdef MEROVANE_TEST_EMULATOR
  executable = MEROVANE_TEST_EMULATOR;
  args = {executable, "-0", "Merovane", program};
#endif
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  Pipe in, out, err;
  CgiRun run;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    // The program starts as a web server starts it: a write to a closed
    // response would kill it.
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(in.read_end, STDIN_FILENO);
    ::dup2(out.write_end, STDOUT_FILENO);
    ::dup2(err.write_end, STDERR_FILENO);
    // Nothing of the test process reaches the program but what is asked for.
    ::close_range(STDERR_FILENO + 1, ~0U, 0);
    if (options.closed_stream >= 0) {
      ::close(options.closed_stream);
    }
    if (options.inherited_descriptor >= 0) {
      const int null = ::open("/dev/null", O_RDONLY);
      ::dup2(null, options.inherited_descriptor);
      ::close(null);
    }
    if (options.address_space_limit != 0 && !checked && !emulated) {
      const rlimit limit{options.address_space_limit, options.address_space_limit};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    if (options.user && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(*options.user) != 0 || ::setuid(*options.user) != 0)) {
      ::_exit(125);
    }
    if (::chdir(work_dir.c_str()) != 0) {
      ::_exit(126);
    }
    ::execve(executable.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  CloseFd(in.read_end);
  CloseFd(out.write_end);
  CloseFd(err.write_end);
  ::fcntl(in.write_end, F_SETFL, O_NONBLOCK);
  if (body.empty()) {
    CloseFd(in.write_end);
  }

  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  const std::size_t first_piece =
      options.body_split > 0 && options.body_split < body.size() ? options.body_split : body.size();
  std::chrono::steady_clock::time_point rest_due{};
  std::size_t body_written = 0;
  bool exited = false;
  std::array<char, 65536> buffer;
  while (out.read_end >= 0 || err.read_end >= 0 || !exited) {
    if (!exited) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        exited = true;
        run.exited = std::chrono::steady_clock::now();
        run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      }
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      ADD_FAILURE() << "the program did not finish within " << options.timeout.count() << " s";
      break;
    }
    if (options.leave_after && out.read_end >= 0 && run.out.find(*options.leave_after) != std::string::npos) {
      if (options.terminate_on_leave && !exited) {
        ::kill(pid, SIGTERM);
      }
      CloseFd(out.read_end);
      run.output_closed = std::chrono::steady_clock::now();
    }
    const bool pausing = body_written == first_piece && std::chrono::steady_clock::now() < rest_due;
    std::array<pollfd, 3> fds = {pollfd{out.read_end, POLLIN, 0}, pollfd{err.read_end, POLLIN, 0},
                                 pollfd{pausing ? -1 : in.write_end, POLLOUT, 0}};
    ::poll(fds.data(), fds.size(), 20);
    for (int stream = 0; stream < 2; ++stream) {
      int& fd = stream == 0 ? out.read_end : err.read_end;
      if (fd < 0 || fds[stream].revents == 0) {
        continue;
      }
      const ssize_t got = ::read(fd, buffer.data(), buffer.size());
      if (got > 0) {
        (stream == 0 ? run.out : run.err).append(buffer.data(), static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        CloseFd(fd);
        if (stream == 0) {
          run.output_closed = std::chrono::steady_clock::now();
        }
      }
    }
    if (in.write_end >= 0 && fds[2].revents != 0) {
      const std::size_t piece_end = body_written < first_piece ? first_piece : body.size();
      const ssize_t put = ::write(in.write_end, body.data() + body_written,
                                  std::min<std::size_t>(piece_end - body_written, 1 << 16));
      if (put > 0) {
        body_written += static_cast<std::size_t>(put);
        if (body_written == first_piece) {
          rest_due = std::chrono::steady_clock::now() + options.body_pause;
        }
      }
      if ((put < 0 && errno != EAGAIN && errno != EINTR) || body_written == body.size()) {
        CloseFd(in.write_end);
      }
    }
  }
  CloseFd(in.write_end);
  CloseFd(out.read_end);
  CloseFd(err.read_end);
  if (checked) {
    std::string log_path = valgrind_log;
    log_path.replace(log_path.find("%p"), 2, std::to_string(pid));
    const std::string report = sandbox.ReadFile(log_path);
    if (run.exit_status == kValgrindErrorStatus || !report.empty()) {
      ADD_FAILURE() << "memcheck found faults in the request process:\n" << report;
    }
  }
  return run;
}

}  // namespace testing_support
