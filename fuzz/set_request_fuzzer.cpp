// The whole "/set" request against a fixed card: the CGI environment and the
// body are fuzzed, the parse, the walk, the verdicts by type, the error page
// with the form and the network settings page run as in a request process.
//
// Input: lines "NAME=VALUE" (a line "NAME" unsets the variable) up to an
// empty line, then the body. Before them the request is a URL-encoded POST
// whose CONTENT_LENGTH is the body's size, to host card.example.
//
// No process is ever created: this harness links the set request without
// the applying of changes, and its own CompleteSet below takes the place of
// the change programs and the refresh. It writes the same page, then checks
// that only writable parameters are handed on, each with its own program.
// What the pages hold and which values each type accepts are for the unit
// and whole-request tests.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cgi/cgi_request.hpp"
#include "e2e/harness/sandbox.hpp"
#include "fuzz_support.hpp"
#include "response/response_output.hpp"
#include "update/complete_set.hpp"
#include "update/handle_set.hpp"
#include "update/network_settings_page.hpp"

namespace {
using testing_support::TestParam;

const std::string kOffOn =
    "<option>Off</option><index>0</index><option>On</option><index>1</index>";
// oid, name, type, access ("": no element), stored value, in menu "0", further elements
const std::vector<TestParam> kCard = {
    {"frame_ip.conf", "IP", "9", "1", "10.0.0.2"},
    {"use_dhcp.conf", "DHCP", "8", "1", "0", true, kOffOn},
    {"level", "Level", "4", "1", "3", true, "<min>0</min><max>10</max>"},
    {"mode", "Mode", "4", "1", "1", true, "<option>A</option><option>B</option><option>C</option>"},
    {"gain", "Gain", "6", "1", "1.5"},
    {"label", "Label", "7", "1", "a<b & \"c\" 100%"},
    {"serial", "Serial", "5", "0", "SN-1"},
    {"hidden", "Hidden", "7", "2", "h", false},
    {"legacy", "Legacy", "4", "01", "5"},
    {"off", "Off", "7", "-1", "o"},
    {"odd", "Odd", "abc", "1", "x"},
    {"guest", "Guest", "7", "", "g"},
};
const std::set<std::string> kReadOnly = {"serial", "off"};  // as the set request judges access
// Written after the card: a writable record without <prog>, which has no program to run.
const std::string kWithoutProg = "<param><oid>noprog</oid><type>7</type><access>1</access></param>";

const testing_support::SetCard* card = nullptr;
bool changes_handed_on = false;

// Applies the header lines of the input; returns the body.
std::string_view SetEnvironment(std::string_view input) {
  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("PATH_INFO", "/set");
  fuzz_support::SetVariable("REQUEST_METHOD", "POST");
  fuzz_support::SetVariable("CONTENT_TYPE", "application/x-www-form-urlencoded");
  fuzz_support::SetVariable("HTTP_HOST", "card.example");
  fuzz_support::SetVariable("SCRIPT_NAME", "/cgi-bin/Merovane");
  const std::size_t end = input.find("\n\n");
  const std::string_view lines = input.substr(0, end);
  const std::string_view body =
      end == std::string_view::npos ? std::string_view() : input.substr(end + 2);
  fuzz_support::SetVariable("CONTENT_LENGTH", std::to_string(body.size()));
  for (const std::string_view line : fuzz_support::Split(lines, "\n", lines.size() + 1)) {
    const std::size_t equals = line.find('=');
    const std::string name(line.substr(0, equals));
    if (!fuzz_support::IsCgiVariable(name)) continue;
    if (equals == std::string_view::npos) ::unsetenv(name.c_str());
    if (equals != std::string_view::npos) fuzz_support::SetVariable(name, line.substr(equals + 1));
  }
  return body;
}

}  // namespace

// Takes the place of the applying of changes: the page as the request
// process writes it, then the promise that nothing is applied after a
// rejected value, and that what is applied belongs to writable parameters,
// each at most once, in card order, with its own program.
int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host) {
  WriteNetworkSettingsPage(state, scheme, fallback_host);
  response::Flush();
  CgiFreeRequest();
  changes_handed_on = true;
  FUZZ_CHECK(!state.error);
  std::size_t next = 0;
  for (const TestParam& param : kCard) {
    if (next == state.changes.size() || state.changes[next].oid != param.oid) continue;
    FUZZ_CHECK(!kReadOnly.contains(param.oid) &&
               state.changes[next++].prog == card->ChangeProgram());
  }
  if (next < state.changes.size() && state.changes[next].oid == "noprog")
    FUZZ_CHECK(state.changes[next++].prog.empty());
  FUZZ_CHECK(next == state.changes.size());
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  card = &fuzz_support::EnterFuzzCard<testing_support::SetCard>(kCard);
  const auto param_xml = card->CardPath("/brix/etc/param.xml");
  card->WriteFile(param_xml, card->ReadFile(param_xml) + kWithoutProg + "\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body = SetEnvironment(fuzz_support::AsText(data, size));
  fuzz_support::SetStdin(body);
  changes_handed_on = false;
  response::Capture capture;
  const int result = HandleSet();
  // A request that cannot be parsed writes and applies nothing.
  FUZZ_CHECK(result == 0 || (result == -1 && capture.Text().empty() && !changes_handed_on));
  CgiFreeRequest();
  return 0;
}
