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
// that every value handed on for applying is one its parameter accepts.
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
  std::string oid;
  std::string type;
  std::string access;  // empty: no <access> element
  bool writable;       // as the set request judges the access text
  bool in_menu;
  bool has_prog;
  std::string more;   // further elements of the record
  std::string value;  // the stored value
};

const std::vector<CardParam> kCard = {
    {"frame_ip.conf", "9", "1", true, true, true, "", "10.0.0.2"},
    {"use_dhcp.conf", "8", "1", true, true, true,
     "<option>Off</option><index>0</index><option>On</option><index>1</index>", "0"},
    {"level", "4", "1", true, true, true, "<min>0</min><max>10</max>", "3"},
    {"mode", "4", "1", true, true, true, "<option>A</option><option>B</option><option>C</option>",
     "1"},
    {"gain", "6", "1", true, true, true, "", "1.5"},
    {"label", "7", "1", true, true, true, "", "a<b & \"c\" 100%"},
    {"serial", "5", "0", false, true, true, "", "SN-1"},
    {"hidden", "7", "2", true, false, true, "", "h"},
    {"legacy", "4", "01", true, true, true, "", "5"},
    {"off", "7", "-1", false, true, true, "", "o"},
    {"odd", "abc", "1", true, true, true, "", "x"},
    {"noprog", "7", "1", true, true, false, "", "n"},
    {"guest", "7", "", true, true, true, "", "g"},
};

std::string ProgOf(const CardParam& param) {
  return param.has_prog ? "/nonexistent/change-" + param.oid : "";
}

const std::string kHtmlHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
std::string head_no_page;
std::string incomplete_page;
std::string head_error_page;
std::string tail_error_page;
std::string head_network_page;
bool changes_handed_on = false;

bool AllDigits(std::string_view text) {
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A value text as the set request hands it on for a parameter of `type`.
bool AcceptableValue(const std::string& type, const std::string& value) {
  if (type == "4" || type == "8") {
    return !value.empty() && AllDigits(value) && (value == "0" || value[0] != '0') &&
           value.size() <= 10;
  }
  if (type == "6") {
    const std::size_t point = value.find('.');
    return (point != std::string::npos && point + 7 == value.size() &&
            AllDigits(value.substr(point + 1)) && point > (value[0] == '-' ? 1u : 0u) &&
            AllDigits(value.substr(value[0] == '-', point - (value[0] == '-'))));
  }
  if (type == "9") {
    std::size_t boxes = 0;
    for (const std::string_view box : fuzz_support::Split(value, ".", 5)) {
      ++boxes;
      if (box.empty() || box.size() > 3 || !AllDigits(box) || (box.size() > 1 && box[0] == '0') ||
          std::strtol(std::string(box).c_str(), nullptr, 10) > 255) {
        return false;
      }
    }
    return boxes == 4;
  }
  return !value.empty() && value.size() <= 49 && value.find('\0') == std::string::npos;
}

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
  if (result == -1) {
    FUZZ_CHECK(out.empty() && !changes_handed_on);
    return;
  }
  FUZZ_CHECK(result == 0);
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
  if (out.starts_with("Status: 403 Forbidden\r\n")) {  // a form from another site's page
    FUZZ_CHECK(std::getenv("HTTP_ORIGIN") != nullptr);
    return;
  }
  if (out.starts_with(head_error_page)) {
    // The form shows the stored values, whatever the request held.
    FUZZ_CHECK(out.ends_with(tail_error_page));
    CheckMessages(std::string_view(out).substr(
        head_error_page.size(), out.size() - head_error_page.size() - tail_error_page.size()));
    return;
  }
  // Another method, or a body that did not arrive whole: nothing handed on.
  FUZZ_CHECK(out == head_no_page || out == incomplete_page);
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
    if (!fuzz_support::IsCgiVariable(name)) {
      continue;
    }
    if (equals == std::string_view::npos) {
      ::unsetenv(name.c_str());
    } else {
      fuzz_support::SetVariable(name, line.substr(equals + 1));
    }
  }
  return body;
}

}  // namespace

// Takes the place of the applying of changes: the page as the request
// process writes it, then the promise that nothing is applied unless every
// value sent for a writable parameter passed, and that what is applied
// belongs to writable parameters, each at most once, in card order.
int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host) {
  WriteNetworkSettingsPage(state, scheme, fallback_host);
  response::Flush();
  CgiFreeRequest();
  changes_handed_on = true;
  FUZZ_CHECK(!state.error);
  std::size_t next = 0;
  for (const CardParam& param : kCard) {
    if (next == state.changes.size() || state.changes[next].oid != param.oid) continue;
    FUZZ_CHECK(param.writable);
    const ParamChange& change = state.changes[next++];
    FUZZ_CHECK(change.prog == ProgOf(param));
    FUZZ_CHECK(AcceptableValue(param.type, change.value));
    if (param.oid == "frame_ip.conf") FUZZ_CHECK(state.new_address == change.value);
    if (param.oid == "use_dhcp.conf") FUZZ_CHECK(state.dhcp == std::atoi(change.value.c_str()));
  }
  FUZZ_CHECK(next == state.changes.size());
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::EnterFuzzCard();
  InstallCard();
  const std::string page_header = fuzz_support::IncludeMarker("pageHeader.html");
  const std::string page_footer = fuzz_support::IncludeMarker("pageFooter.html");
  head_no_page = kHtmlHeader + page_header + fuzz_support::IncludeMarker("generalHeader.html") +
                 "<p style=\"text-align: center\">You have not selected a page.<br/><br/>Please "
                 "choose from one of "
                 "the above menu options.</p>\n" +
                 page_footer;
  incomplete_page = "Status: 400 Bad Request\r\n" + kHtmlHeader + page_header +
                    fuzz_support::IncludeMarker("generalHeader.html") +
                    "<p style=\"text-align: center\">The settings were not changed: the form "
                    "arrived incomplete.<br/><br/>Please send it again.</p>\n" +
                    page_footer;
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
