#include "check/check_report.hpp"

#include <algorithm>
#include <cstddef>
#include <tuple>

namespace {

std::string Counted(std::size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string Quoted(std::string_view text) {
  // Appended, not added: GCC 12 warns falsely on "\"" + std::string(...).
  return std::string("\"").append(text).append("\"");
}

int ExitStatus(const CheckReport& report) {
  if (report.unreadable) {
    return 2;
  }
  const bool error = std::any_of(report.findings.begin(), report.findings.end(),
                                 [](auto& f) { return f.severity == Finding::Severity::kError; });
  return error ? 1 : 0;
}

std::string FormatReport(const CheckReport& report) {
  std::vector<Finding> sorted = report.findings;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Finding& a, const Finding& b) {
    return std::tie(a.file, a.line) < std::tie(b.file, b.line);
  });
  std::string text;
  std::size_t errors = 0;
  for (const Finding& finding : sorted) {
    const bool error = finding.severity == Finding::Severity::kError;
    errors += error ? 1 : 0;
    text.append(finding.file);
    if (finding.line > 0) {
      text.append(":").append(std::to_string(finding.line));
    }
    text.append(error ? ": error: " : ": warning: ").append(finding.text).append("\n");
  }
  return text + Counted(errors, "error") + ", " + Counted(sorted.size() - errors, "warning") + "\n";
}
