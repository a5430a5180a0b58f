#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A throw-away card installation in a fresh temporary directory:
//   card/            the card root of the sandboxed program (brix/etc, tmp, sbin)
//   www/includes/    the page fragments, each a distinct marker by default
//   www/cgi-bin/     the program's working directory
//   records/         where the stand-in programs note that they ran
// Everything is readable by the program's effective user 1006 when the tests
// run as root. The stand-in reboot command and refresh script only record.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path WorkDir() const { return root_ / "www" / "cgi-bin"; }
  // Where a card path such as "/brix/etc/param.xml" lies in this sandbox.
  std::filesystem::path CardPath(std::string_view card_absolute_path) const;

  // Writes a file (parents created, readable by everyone).
  void WriteFile(const std::filesystem::path& path, std::string_view content, unsigned mode = 0644) const;
  void WriteCardFile(std::string_view card_absolute_path, std::string_view content) const;
  void WriteInclude(std::string_view name, std::string_view content) const;
  std::string ReadFile(const std::filesystem::path& path) const;
  bool Exists(const std::filesystem::path& path) const;

  // The default fragment text for an include name, e.g. "<!--pageHeader.html-->\n".
  static std::string IncludeMarker(std::string_view name);

  // Installs an executable stand-in at `path` that appends one line to the
  // record log when it runs: "<label> <argv0> <argv1> ...", each argument in
  // brackets. `extra_shell` runs after the record (e.g. "echo hi"). Just
  // before the record it notes the time it ran (see RecordTimes).
  void InstallRecorder(const std::filesystem::path& path, std::string_view label,
                       std::string_view extra_shell = "") const;
  // The lines of the record log, in the order the stand-ins ran.
  std::vector<std::string> Records() const;
  std::filesystem::path RecordLog() const { return root_ / "records" / "log"; }
  // Records() once it holds at least `count` lines, or when `timeout` has
  // passed (for stand-ins that a detached child starts later).
  std::vector<std::string> WaitForRecords(std::size_t count, std::chrono::milliseconds timeout) const;
  // The wall-clock times at which the stand-ins with `label` ran, in order.
  std::vector<std::chrono::system_clock::time_point> RecordTimes(std::string_view label) const;

 private:
  std::filesystem::path root_;
};

}  // namespace testing_support
