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
// Which values each type accepts is for the unit tables.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cgi/cgi_request.hpp"
#include "descriptors/menu_form.hpp"
#include "fuzz_support.hpp"
#include "response/response_output.hpp"
#include "update/complete_set.hpp"
#include "update/handle_set.hpp"
#include "update/network_settings_page.hpp"

namespace {

struct CardParam {
  std::string oid, type, value;  // value: the stored one
  std::string access = "1";      // empty: no <access> element
  bool writable = true;          // as the set request judges the access text
  bool in_menu = true, has_prog = true;
  std::string more = "";  // further elements of the record
};

const std::vector<CardParam> kCard = {
    {.oid = "frame_ip.conf", .type = "9", .value = "10.0.0.2"},
    {.oid = "use_dhcp.conf",
     .type = "8",
     .value = "0",
     .more = "<option>Off</option><index>0</index>"
             "<option>On</option><index>1</index>"},
    {.oid = "level", .type = "4", .value = "3", .more = "<min>0</min><max>10</max>"},
    {.oid = "mode",
     .type = "4",
     .value = "1",
     .more = "<option>A</option><option>B</option><option>C</option>"},
    {.oid = "gain", .type = "6", .value = "1.5"},
    {.oid = "label", .type = "7", .value = "a<b & \"c\" 100%"},
    {.oid = "serial", .type = "5", .value = "SN-1", .access = "0", .writable = false},
    {.oid = "hidden", .type = "7", .value = "h", .access = "2", .in_menu = false},
    {.oid = "legacy", .type = "4", .value = "5", .access = "01"},
    {.oid = "off", .type = "7", .value = "o", .access = "-1", .writable = false},
    {.oid = "odd", .type = "abc", .value = "x"},
    {.oid = "noprog", .type = "7", .value = "n", .has_prog = false},
    {.oid = "guest", .type = "7", .value = "g", .access = ""},
};

std::string ProgOf(const CardParam& param) {
  return param.has_prog ? "/nonexistent/change-" + param.oid : "";
}

const std::string kHtmlHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
std::string head_error_page;
std::string tail_error_page;
std::string head_network_page;
bool changes_handed_on = false;

// Request text shown in a message must not be able to leave it.
void CheckMessages(std::string_view messages) {
  constexpr std::string_view kOpen = "<div class=\"errorText\">Invalid value \"";
  constexpr std::string_view kClose = "\" for parameter: ";
  std::size_t count = 0;
  for (std::size_t at = messages.find(kOpen); at != std::string_view::npos;
       at = messages.find(kOpen, at + 1)) {
    const std::size_t shown = at + kOpen.size();
    const std::size_t close = messages.find(kClose, shown);
    FUZZ_CHECK(close != std::string_view::npos);
    FUZZ_CHECK(messages.substr(shown, close - shown).find_first_of("<>\"") ==
               std::string_view::npos);
    ++count;
  }
  FUZZ_CHECK(count >= 1);
}

void CheckResponse(int result, const std::string& out) {
  FUZZ_CHECK(result == 0 || (result == -1 && out.empty() && !changes_handed_on));
  if (changes_handed_on) {
    FUZZ_CHECK(out.starts_with(head_network_page));
    const std::size_t script = out.find("document.location.href = '");
    if (script != std::string::npos) {
      const std::size_t end = out.find("';\n</script>", script);
      FUZZ_CHECK(end != std::string::npos);
      FUZZ_CHECK(out.substr(script, end - script).find_first_of("<>\"") == std::string::npos);
    }
    return;
  }
  if (out.starts_with(head_error_page)) {
    // The form shows the stored values, whatever the request held.
    FUZZ_CHECK(out.ends_with(tail_error_page));
    CheckMessages(std::string_view(out).substr(
        head_error_page.size(), out.size() - head_error_page.size() - tail_error_page.size()));
    return;
  }
  // Another method, another site's form, a body not whole: a whole note page (the e2e tests hold
  // each one's text).
  FUZZ_CHECK(result == -1 || out.ends_with(fuzz_support::IncludeMarker("pageFooter.html")));
}

void InstallCard() {
  std::string params;
  std::string menu = "<menu><mid>0</mid>\n";
  for (const CardParam& param : kCard) {
    const auto value_file = fuzz_support::CardRoot() / "values" / param.oid;
    std::filesystem::create_directories(value_file.parent_path());
    fuzz_support::WriteFile(value_file, param.oid + "=" + param.value + "\n");
    params += "<param><oid>" + param.oid + "</oid><name>" + param.oid + "</name><type>" +
              param.type + "</type><file>" + value_file.string() + "</file>";
    if (!param.access.empty()) params += "<access>" + param.access + "</access>";
    if (param.has_prog) params += "<prog>" + ProgOf(param) + "</prog>";
    params += param.more + "</param>\n";
    if (param.in_menu) menu += "<oid>" + param.oid + "</oid>\n";
  }
  fuzz_support::WriteFile(fuzz_support::CardRoot() / "brix" / "etc" / "param.xml", params);
  fuzz_support::WriteFile(fuzz_support::CardRoot() / "brix" / "etc" / "control_menu.xml",
                          menu + "</menu>\n");
}

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
// each at most once, in card order.
int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host) {
  WriteNetworkSettingsPage(state, scheme, fallback_host);
  response::Flush();
  CgiFreeRequest();
  changes_handed_on = true;
  FUZZ_CHECK(!state.error);
  std::size_t next = 0;
  for (const CardParam& param : kCard) {
    if (next == state.changes.size() || state.changes[next].oid != param.oid) continue;
    FUZZ_CHECK(param.writable && state.changes[next++].prog == ProgOf(param));
  }
  FUZZ_CHECK(next == state.changes.size());
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard();
  InstallCard();
  const std::string page_header = fuzz_support::IncludeMarker("pageHeader.html");
  const std::string page_footer = fuzz_support::IncludeMarker("pageFooter.html");
  head_error_page = kHtmlHeader + page_header + fuzz_support::IncludeMarker("configHeader.html") +
                    "<tr><td colspan=\"2\">\r\n";
  response::Capture form;
  FUZZ_CHECK(RenderMenuForm() == 0 && form.Text().find("name=\"oid-label\"") != std::string::npos);
  tail_error_page =
      "</td></tr>" + form.Text() + fuzz_support::IncludeMarker("configFooter.html") + page_footer;
  head_network_page = kHtmlHeader + page_header +
                      fuzz_support::IncludeMarker("generalHeader.html") +
                      "<p align=\"center\">Setting network configuration...</p>";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body = SetEnvironment(fuzz_support::AsText(data, size));
  fuzz_support::SetStdin(body);
  changes_handed_on = false;
  response::Capture capture;
  const int result = HandleSet();
  CheckResponse(result, capture.Text());
  CgiFreeRequest();
  return 0;
}
