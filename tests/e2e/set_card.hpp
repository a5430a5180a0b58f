#pragma once

#include <string>
#include <vector>

#include "e2e/harness/cgi_run.hpp"

namespace testing_support {

// One parameter of a test card's param.xml.
struct TestParam {
  std::string oid;
  std::string name;
  std::string type;             // the <type> text
  std::string access = "1";     // the <access> text; empty: no <access> element
  std::string value = "";       // the value file holds "<oid>=<value>"
  bool in_menu = true;          // listed in menu "0" of control_menu.xml
  std::string extra = "";       // further elements of the record line
  bool has_prog = true;         // the record has a <prog> element
  std::string prog = "";        // its text; empty: the recording change program
};

// A sandboxed card whose parameters are applied by a stand-in change program
// that records "change [<prog>] [<oid>] [<value>]".
class SetCard {
 public:
  explicit SetCard(std::vector<TestParam> params);

  Sandbox& sandbox() { return sandbox_; }
  std::string ChangeProgram() const;
  // Writes param.xml, control_menu.xml and the value files.
  void Install() const;

  // POSTs `body` to /set as a URL-encoded form.
  CgiRun Post(const std::string& body, const CgiRunOptions& options = {});
  // POSTs `body` to /set with CONTENT_TYPE `content_type`.
  CgiRun PostOf(const std::string& content_type, const std::string& body, const CgiRunOptions& options = {});
  // The record lines of the change programs, in the order they ran.
  std::vector<std::string> Changes() const;
  // The record line a change of `oid` to `value` leaves.
  std::string ChangeRecord(const std::string& oid, const std::string& value) const;

 private:
  Sandbox sandbox_;
  std::vector<TestParam> params_;
};

}  // namespace testing_support
