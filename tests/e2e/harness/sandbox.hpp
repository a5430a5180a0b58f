#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A throw-away card: card/ (the card root), www/includes/ (fragments: their markers), www/cgi-bin/
// (the working directory), records/ (the stand-ins' runs: reboot, refresh).
class Sandbox {
 public:
  Sandbox();
  ~Sandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path WorkDir() const { return root_ / "www" / "cgi-bin"; }
  std::filesystem::path IncludePath(std::string_view name) const {
    return root_ / "www" / "includes" / name;
  }
  std::filesystem::path CardPath(std::string_view path) const {
    return root_ / "card" / std::filesystem::path(path).relative_path();
  }
  std::filesystem::path ErrorLog() const { return CardPath("/tmp/wwwError.txt"); }
  std::filesystem::path RecordLog() const { return root_ / "records" / "log"; }
  void WriteFile(const std::filesystem::path& path, std::string_view content,
                 unsigned mode = 0644) const;
  std::string ReadFile(const std::filesystem::path& path) const;  // "" when missing
  // The file's content once it holds `part`, or as it is after kPatience.
  std::string AwaitFile(const std::filesystem::path& path, std::string_view part) const;
  void WriteCardFile(std::string_view path, std::string_view content) const {
    WriteFile(CardPath(path), content);
  }
  // An executable that appends "<label> [argv0] [argv1] ..." to the record log, runs `extra_shell`,
  // then lists the descriptors it holds for HeldDescriptors.
  void InstallRecorder(const std::filesystem::path& path, std::string_view label,
                       std::string_view extra_shell = "") const;
  // The descriptors the recorder of `label` last held but its own, "<number>><target> " each
  // (target "" for pipes and sockets); awaits the list.
  std::string HeldDescriptors(std::string_view label) const;
  // The record log's lines once it holds `count` of them or `timeout` has passed.
  std::vector<std::string> Records(std::size_t count = 0,
                                   std::chrono::milliseconds timeout = {}) const;

 private:
  std::filesystem::path root_;
};

// One parameter of a test card (its value file holds "<oid>=<value>").
struct TestParam {
  std::string oid, name, type;
  std::string access = "1", value = "";  // access empty: no <access> element
  bool in_menu = true;                   // listed in menu "0"
  std::string extra = "";                // further elements of the record
  std::string prog = "";                 // "": the recording change program
};

// A sandbox with a card of parameters whose change program is a recorder ("change").
class SetCard : public Sandbox {
 public:
  explicit SetCard(const std::vector<TestParam>& params);
  std::string ChangeProgram() const { return (Root() / "bin" / "change").string(); }
  std::string ChangeRecord(const std::string& oid, const std::string& value) const {
    return "change [" + ChangeProgram() + "] [" + oid + "] [" + value + "]";
  }
  // The records of `runs`, apart by blanks: "<oid>=<value>" a change, "refresh" the refresh.
  std::vector<std::string> Runs(std::string_view runs) const;
};

inline constexpr std::chrono::seconds kPatience{60};

inline constexpr const char* kRefreshRecord = "refresh [../../card/brix/etc/refreshparams.sh]";

}  // namespace testing_support
