#include "e2e/set_card.hpp"

namespace testing_support {

SetCard::SetCard(std::vector<TestParam> params) : params_(std::move(params)) {
  sandbox_.InstallRecorder(ChangeProgram(), "change");
  Install();
}

std::string SetCard::ChangeProgram() const { return (sandbox_.Root() / "bin" / "change").string(); }

void SetCard::Install() const {
  std::string param_xml;
  std::string menu = "<menu><mid>0</mid>\n";
  for (const TestParam& param : params_) {
    const std::string value_file = (sandbox_.Root() / "values" / param.oid).string();
    sandbox_.WriteFile(value_file, param.oid + "=" + param.value + "\n");
    param_xml += "<param><oid>" + param.oid + "</oid><name>" + param.name + "</name><type>" + param.type +
                 "</type><file>" + value_file + "</file>";
    if (!param.access.empty()) param_xml += "<access>" + param.access + "</access>";
    if (param.has_prog) param_xml += "<prog>" + (param.prog.empty() ? ChangeProgram() : param.prog) + "</prog>";
    param_xml += param.extra + "</param>\n";
    if (param.in_menu) menu += "<oid>" + param.oid + "</oid>\n";
  }
  menu += "</menu>\n";
  sandbox_.WriteCardFile("/brix/etc/param.xml", param_xml);
  sandbox_.WriteCardFile("/brix/etc/control_menu.xml", menu);
}

CgiRun SetCard::Post(const std::string& body, const CgiRunOptions& options) {
  return PostOf("application/x-www-form-urlencoded", body, options);
}

CgiRun SetCard::PostOf(const std::string& content_type, const std::string& body, const CgiRunOptions& options) {
  CgiEnvironment env = GetRequest("/set");
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_TYPE", content_type);
  SetVariable(env, "CONTENT_LENGTH", std::to_string(body.size()));
  return RunCgi(sandbox_, env, body, options);
}

std::vector<std::string> SetCard::Changes() const {
  std::vector<std::string> changes;
  for (const std::string& record : sandbox_.Records()) {
    if (record.rfind("change ", 0) == 0) changes.push_back(record);
  }
  return changes;
}

std::string SetCard::ChangeRecord(const std::string& oid, const std::string& value) const {
  return "change [" + ChangeProgram() + "] [" + oid + "] [" + value + "]";
}

}  // namespace testing_support
