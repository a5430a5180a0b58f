#include "e2e/harness/sandbox.hpp"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "e2e/harness/pages.hpp"

namespace testing_support {
namespace fs = std::filesystem;

Sandbox::Sandbox() {
  std::string pattern = (fs::temp_directory_path() / "merovane-sandbox-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const char* dir :
       {"", "card/brix/etc", "card/sbin", "card/tmp", "www/includes", "www/cgi-bin", "records"})
    fs::create_directories(root_ / dir), ::chmod((root_ / dir).c_str(), 0755);
  ::chmod((root_ / "card/tmp").c_str(), 01777), ::chmod((root_ / "records").c_str(), 0777);
  for (const char* name : kIncludes) WriteFile(IncludePath(name), Marker(name));
  InstallRecorder(CardPath("/sbin/reboot"), "reboot");
  InstallRecorder(CardPath("/brix/etc/refreshparams.sh"), "refresh");
}

void Sandbox::WriteFile(const fs::path& path, std::string_view content, unsigned mode) const {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(content.data(), static_cast<std::streamsize>(content.size()));
  ::chmod(path.c_str(), mode);
}

std::string Sandbox::ReadFile(const fs::path& path) const {
  return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

std::string Sandbox::AwaitFile(const fs::path& path, std::string_view part) const {
  std::string content;
  for (int wait = 0;
       wait < 50 * kPatience.count() && (content = ReadFile(path)).find(part) == std::string::npos;
       ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return content;
}

void Sandbox::InstallRecorder(const fs::path& path, std::string_view label,
                              std::string_view extra_shell) const {
  const std::string records = (root_ / "records").string() + "/", name(label);
  WriteFile(path,
            "#!/bin/sh\nPATH=/usr/bin:/bin\n{ printf '%s' '" + name +
                "'; for a in \"$0\" \"$@\"; do printf ' [%s]' \"$a\"; done; printf '\\n'; } >> '" +
                records + "log'\n" + std::string(extra_shell) +
                "\nexec find /proc/self/fd -mindepth 1 -fprintf '" + records + name +
                ".fds' '%f>%l\\n'\n",
            0755);
}

std::string Sandbox::HeldDescriptors(std::string_view label) const {
  const fs::path list = root_ / "records" / (std::string(label) + ".fds");
  std::istringstream lines(AwaitFile(list, "2>"));
  std::string held;
  for (std::string line, target; std::getline(lines, line);) {
    target = line.substr(line.find('>') + 1);
    if (target.starts_with("/proc/") || target == list ||
        target.find("valgrind.") != std::string::npos || target == fs::canonical(WorkDir()))
      continue;  // find's own
    if (target.find(":[") != std::string::npos) target.clear();
    held += line.substr(0, line.find('>') + 1) + target + " ";
  }
  return held;
}

std::vector<std::string> Sandbox::Records(std::size_t count,
                                          std::chrono::milliseconds timeout) const {
  for (const auto deadline = std::chrono::steady_clock::now() + timeout;;
       std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    std::vector<std::string> lines;
    std::ifstream in(RecordLog());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() >= count || std::chrono::steady_clock::now() >= deadline) return lines;
  }
}

SetCard::SetCard(const std::vector<TestParam>& params) {
  InstallRecorder(ChangeProgram(), "change");
  std::string param_xml, menu = "<menu><mid>0</mid>\n";
  for (const TestParam& param : params) {
    const std::string value_file = "../../values/" + param.oid;  // as merovane-form reads it too
    WriteFile(Root() / "values" / param.oid, param.oid + "=" + param.value + "\n");
    param_xml += "<param><oid>" + param.oid + "</oid><name>" + param.name + "</name><type>" +
                 param.type + "</type><file>" + value_file + "</file>" +
                 (param.access.empty() ? "" : "<access>" + param.access + "</access>") + "<prog>" +
                 (param.prog.empty() ? ChangeProgram() : param.prog) + "</prog>" + param.extra +
                 "</param>\n";
    if (param.in_menu) menu += "<oid>" + param.oid + "</oid>\n";
  }
  WriteFile(CardPath("/brix/etc/param.xml"), param_xml);
  WriteFile(CardPath("/brix/etc/control_menu.xml"), menu + "</menu>\n");
}

std::vector<std::string> SetCard::Runs(std::string_view runs) const {
  std::vector<std::string> records;
  std::istringstream words{std::string(runs)};
  for (std::string run; words >> run;)
    records.push_back(run == "refresh" ? kRefreshRecord
                                       : ChangeRecord(run.substr(0, run.find('=')),
                                                      run.substr(run.find('=') + 1)));
  return records;
}

}  // namespace testing_support
