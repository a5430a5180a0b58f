// The whole "/set" request against a fixed card. Input: lines "NAME=VALUE" (a line "NAME" unsets
// the variable) up to an empty line, then the body; by default a URL-encoded POST of the body's
// length to host card.example. Its own CompleteSet replaces the applying: no process is created.
#include <cstdint>
#include <string>
#include <vector>

#include "cgi/cgi_request.hpp"
#include "e2e/harness/cgi_run.hpp"
#include "fuzz_support.hpp"
#include "response/response_output.hpp"
#include "update/complete_set.hpp"
#include "update/handle_set.hpp"
#include "update/network_settings_page.hpp"

namespace {
// oid, name, type, access ("": no element), stored value, in menu "0", further elements
const std::vector<testing_support::TestParam> kCard = {
    {"frame_ip.conf", "IP", "9", "1", "10.0.0.2"},
    {"use_dhcp.conf", "DHCP", "8", "1", "0", true,
     "<option>Off</option><index>0</index><option>On</option><index>1</index>"},
    {"level", "Level", "4", "1", "3", true, "<min>0</min><max>10</max>"},
    {"mode", "Mode", "4", "1", "1", true, "<option>A</option><option>B</option><option>C</option>"},
    {"gain", "Gain", "6", "1", "1.5"},
    {"label", "Label", "7", "1", "a<b & \"c\" 100%"},
    {"serial", "Serial", "5", "0", "SN-1"},
    {"hidden", "Hidden", "7", "2", "h", false},
    {"legacy", "Legacy", "4", "01", "5"},
    {"odd", "Odd", "abc", "1", "x"},
};

}  // namespace

// Writes the page as the request process does.
int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host) {
  WriteNetworkSettingsPage(state, scheme, fallback_host);
  response::Flush();
  CgiFreeRequest();
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard<testing_support::SetCard>(kCard);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [lines, body] = fuzz_support::Cut(fuzz_support::AsText(data, size), "\n\n");
  cgi_testing::SetCgiVariables(
      testing_support::With(testing_support::PostRequest("/set", body), lines, '\n'));
  cgi_testing::SetStdin(body);
  response::Capture capture;
  HandleSet();
  CgiFreeRequest();
  return 0;
}
