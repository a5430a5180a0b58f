#include "e2e/harness/sandbox.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {
namespace fs = std::filesystem;

namespace {
constexpr const char* kIncludeNames[] = {"pageHeader.html",    "staticPage.html",   "pageFooter.html",
                                         "generalHeader.html", "configHeader.html", "configFooter.html"};

void MakeDir(const fs::path& path, unsigned mode) {
  fs::create_directories(path);
  ::chmod(path.c_str(), mode);
}
}  // namespace

Sandbox::Sandbox() {
  std::string pattern = (fs::temp_directory_path() / "merovane-sandbox-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  root_ = pattern;
  ::chmod(root_.c_str(), 0755);
  MakeDir(root_ / "card" / "brix" / "etc", 0755);
  MakeDir(root_ / "card" / "sbin", 0755);
  MakeDir(root_ / "card" / "tmp", 01777);
  MakeDir(root_ / "www" / "includes", 0755);
  MakeDir(root_ / "www" / "cgi-bin", 0755);
  MakeDir(root_ / "records", 0777);
  for (const char* name : kIncludeNames) {
    WriteInclude(name, IncludeMarker(name));
  }
  InstallRecorder(CardPath("/sbin/reboot"), "reboot");
  InstallRecorder(CardPath("/brix/etc/refreshparams.sh"), "refresh");
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

fs::path Sandbox::CardPath(std::string_view card_absolute_path) const {
  return root_ / "card" / fs::path(card_absolute_path).relative_path();
}

void Sandbox::WriteFile(const fs::path& path, std::string_view content, unsigned mode) const {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  ::chmod(path.c_str(), mode);
}

void Sandbox::WriteCardFile(std::string_view card_absolute_path, std::string_view content) const {
  WriteFile(CardPath(card_absolute_path), content);
}

void Sandbox::WriteInclude(std::string_view name, std::string_view content) const {
  WriteFile(root_ / "www" / "includes" / name, content);
}

std::string Sandbox::ReadFile(const fs::path& path) const {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Sandbox::Exists(const fs::path& path) const { return fs::exists(path); }

std::string Sandbox::IncludeMarker(std::string_view name) {
  return "<!--" + std::string(name) + "-->\n";
}

void Sandbox::InstallRecorder(const fs::path& path, std::string_view label, std::string_view extra_shell) const {
  const fs::path times = root_ / "records" / (std::string(label) + ".times");
  std::string script = "#!/bin/sh\nPATH=/usr/bin:/bin\ndate +%s.%N >> '" + times.string() +
                       "'\n{ printf '%s' '" + std::string(label) +
                       "'; for a in \"$0\" \"$@\"; do printf ' [%s]' \"$a\"; done; printf '\\n'; } >> '" +
                       RecordLog().string() + "'\n" + std::string(extra_shell) + "\n";
  WriteFile(path, script, 0755);
}

std::vector<std::string> Sandbox::Records() const {
  std::vector<std::string> lines;
  std::ifstream in(RecordLog());
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Sandbox::WaitForRecords(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<std::string> lines = Records();
  while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lines = Records();
  }
  return lines;
}

std::vector<std::chrono::system_clock::time_point> Sandbox::RecordTimes(std::string_view label) const {
  std::vector<std::chrono::system_clock::time_point> times;
  std::ifstream in(root_ / "records" / (std::string(label) + ".times"));
  for (std::string line; std::getline(in, line);) {
    const auto since_epoch = std::chrono::duration<double>(std::stod(line));
    times.emplace_back(std::chrono::duration_cast<std::chrono::system_clock::duration>(since_epoch));
  }
  return times;
}

}  // namespace testing_support
