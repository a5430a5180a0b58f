#include "e2e/harness/cgi_run.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

namespace testing_support {
namespace {

constexpr int kValgrindErrorStatus = 99;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

bool UnderMemcheck() {
  const char* valgrind = std::getenv("MEROVANE_TEST_VALGRIND");
  return valgrind != nullptr && *valgrind != '\0';
}

CgiEnvironment GetRequest(std::string_view path_info) {
  return {{"PATH_INFO", std::string(path_info)}, {"REQUEST_METHOD", "GET"}, {"HTTP_HOST", kTestHost},
          {"SCRIPT_NAME", kTestScript}};
}

CgiEnvironment PostRequest(std::string_view path_info, std::string_view body, std::string_view type) {
  CgiEnvironment env = GetRequest(path_info);
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_LENGTH", std::to_string(body.size()));
  if (!type.empty()) SetVariable(env, "CONTENT_TYPE", type);
  return env;
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
  ::signal(SIGPIPE, SIG_IGN);  // the program may leave part of its input unread
  const bool checked = UnderMemcheck();
  const std::string program = !options.program.empty() ? options.program
                              : checked                ? MEROVANE_MEMCHECK_PROGRAM
                                                       : MEROVANE_SANDBOXED_PROGRAM;
  const std::string work_dir = sandbox.WorkDir().string();
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : environment) env_strings.push_back(name + "=" + value);
  const std::string valgrind_log = (sandbox.Root() / "records" / "valgrind.%p.log").string();
  std::vector<std::string> args = {"Merovane"};
  if (checked) {
    args = {std::getenv("MEROVANE_TEST_VALGRIND"), "--quiet", "--tool=memcheck", "--leak-check=full",
            "--show-leak-kinds=definite,indirect,possible", "--errors-for-leak-kinds=definite,indirect,possible",
            "--error-exitcode=" + std::to_string(kValgrindErrorStatus), "--trace-children=no",
            "--child-silent-after-fork=yes", "--vgdb=no", "--log-file=" + valgrind_log, program};
  }
  const std::string executable = checked ? args[0] : program;
  std::vector<char*> envp = Pointers(env_strings), argv = Pointers(args);

  std::array<int, 2> in{}, out{}, err{};
  if (::pipe2(in.data(), O_CLOEXEC) != 0 || ::pipe2(out.data(), O_CLOEXEC) != 0 || ::pipe2(err.data(), O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes";
    return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::signal(SIGPIPE, SIG_DFL);  // as a web server starts it
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::close_range(STDERR_FILENO + 1, ~0U, 0);
    if (options.closed_stream >= 0) ::close(options.closed_stream);
    if (options.inherited_descriptor >= 0) {
      const int null = ::open("/dev/null", O_RDONLY);
      ::dup2(null, options.inherited_descriptor);
      ::close(null);
    }
    if (::chdir(work_dir.c_str()) != 0) ::_exit(126);
    ::execve(executable.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  CloseFd(in[0]);
  CloseFd(out[1]);
  CloseFd(err[1]);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  if (body.empty()) CloseFd(in[1]);

  CgiRun run;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  std::size_t written = 0;
  bool exited = false;
  std::array<char, 65536> buffer;
  while (out[0] >= 0 || err[0] >= 0 || !exited) {
    int status = 0;
    if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      run.exited = std::chrono::steady_clock::now();
      run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      ADD_FAILURE() << "the program did not finish within " << options.timeout.count() << " s";
      break;
    }
    if (options.leave_after && out[0] >= 0 && run.out.find(*options.leave_after) != std::string::npos) {
      if (options.terminate_on_leave && !exited) ::kill(pid, SIGTERM);
      CloseFd(out[0]);
      run.output_closed = std::chrono::steady_clock::now();
    }
    std::array<pollfd, 3> fds = {pollfd{out[0], POLLIN, 0}, pollfd{err[0], POLLIN, 0}, pollfd{in[1], POLLOUT, 0}};
    ::poll(fds.data(), fds.size(), 20);
    for (int stream = 0; stream < 2; ++stream) {
      int& fd = stream == 0 ? out[0] : err[0];
      if (fd < 0 || fds[stream].revents == 0) continue;
      const ssize_t got = ::read(fd, buffer.data(), buffer.size());
      if (got > 0) {
        (stream == 0 ? run.out : run.err).append(buffer.data(), static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        CloseFd(fd);
        if (stream == 0) run.output_closed = std::chrono::steady_clock::now();
      }
    }
    if (in[1] >= 0 && fds[2].revents != 0) {
      const ssize_t put = ::write(in[1], body.data() + written, std::min<std::size_t>(body.size() - written, 1 << 16));
      if (put > 0) written += static_cast<std::size_t>(put);
      if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == body.size()) CloseFd(in[1]);
    }
  }
  for (int* fd : {&in[1], &out[0], &err[0]}) CloseFd(*fd);
  if (checked) {
    std::string log_path = valgrind_log;
    const std::string report = sandbox.ReadFile(log_path.replace(log_path.find("%p"), 2, std::to_string(pid)));
    if (run.exit_status == kValgrindErrorStatus || !report.empty()) {
      ADD_FAILURE() << "memcheck found faults in the request process:\n" << report;
    }
  }
  return run;
}

}  // namespace testing_support
