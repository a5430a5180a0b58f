#pragma once

#include <string>
#include <string_view>
#include <vector>

// The findings of a check of a card's descriptor files, in the form compilers
// use ("FILE:LINE: error: TEXT"), so that editors and build logs can read them.
struct Finding {
  enum class Severity { kError, kWarning };
  std::string file;
  int line = 0;  // 1-based; 0 for a file that could not be read at all
  Severity severity = Severity::kError;
  std::string text;
};

struct CheckReport {
  std::vector<Finding> findings;
  bool unreadable = false;  // a descriptor file could not be read

  void Error(const std::string& file, int line, std::string text) {
    findings.push_back({file, line, Finding::Severity::kError, std::move(text)});
  }
  void Warning(const std::string& file, int line, std::string text) {
    findings.push_back({file, line, Finding::Severity::kWarning, std::move(text)});
  }
};

// Why a path of the image cannot be followed.
inline constexpr const char* kLinkLoop = "its links go round in circles";

// A text of a descriptor file in a finding: between double quotes.
std::string Quoted(std::string_view text);

// 0 without errors (warnings allowed), 1 with one, 2 when a descriptor file
// could not be read.
int ExitStatus(const CheckReport& report);

// One line per finding, in the order of file names and lines, then the
// counts: "2 errors, 1 warning".
std::string FormatReport(const CheckReport& report);
