#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A throw-away card: card/ (the sandboxed program's card root), www/includes/
// (each fragment its own marker), www/cgi-bin/ (the working directory) and
// records/, where stand-ins (the reboot command, the refresh) note their runs.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path WorkDir() const { return root_ / "www" / "cgi-bin"; }
  std::filesystem::path IncludePath(std::string_view name) const { return root_ / "www" / "includes" / name; }
  std::filesystem::path CardPath(std::string_view card_absolute_path) const;
  std::filesystem::path ErrorLog() const { return CardPath("/tmp/wwwError.txt"); }
  std::filesystem::path RecordLog() const { return root_ / "records" / "log"; }

  void WriteFile(const std::filesystem::path& path, std::string_view content, unsigned mode = 0644) const;
  void WriteCardFile(std::string_view card_path, std::string_view content) const { WriteFile(CardPath(card_path), content); }
  std::string ReadFile(const std::filesystem::path& path) const;
  bool Exists(const std::filesystem::path& path) const { return std::filesystem::exists(path); }

  // An executable that appends "<label> [argv0] [argv1] ..." to the record log, then runs `extra_shell`.
  void InstallRecorder(const std::filesystem::path& path, std::string_view label,
                       std::string_view extra_shell = "") const;
  // The record log's lines, once it holds `count` of them or `timeout` has passed.
  std::vector<std::string> Records(std::size_t count = 0,
                                   std::chrono::milliseconds timeout = std::chrono::milliseconds(0)) const;

 private:
  std::filesystem::path root_;
};

// One parameter of a test card (its value file holds "<oid>=<value>").
struct TestParam {
  std::string oid, name, type;
  std::string access = "1";  // empty: no <access> element
  std::string value = "";
  bool in_menu = true;       // listed in menu "0"
  std::string extra = "";    // further elements of the record
};

// A sandbox with a card of parameters whose change program records
// "change [<program>] [<oid>] [<value>]".
class SetCard : public Sandbox {
 public:
  explicit SetCard(const std::vector<TestParam>& params);
  std::string ChangeProgram() const { return (Root() / "bin" / "change").string(); }
  std::string ChangeRecord(const std::string& oid, const std::string& value) const;
  std::vector<std::string> Changes() const;  // the change programs' records, in order
};

inline constexpr const char* kRefreshRecord = "refresh [../../card/brix/etc/refreshparams.sh]";

}  // namespace testing_support
