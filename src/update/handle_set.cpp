#include "update/handle_set.hpp"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "card/card_paths.hpp"
#include "cgi/cgi_request.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_form.hpp"
#include "response/html_escape.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"
#include "update/complete_set.hpp"
#include "update/cross_site.hpp"
#include "update/incomplete_form.hpp"
#include "update/submitted_value.hpp"

namespace {

constexpr std::string_view kAddressOid = "frame_ip.conf";
constexpr std::string_view kDhcpOid = "use_dhcp.conf";

// The fields of one param.xml record that the set request uses. Each line
// starts from empty fields: nothing is ever carried over from the line
// before, so one without <prog> has nothing to run. A record without
// <access> is writable, as the form shows it with an input.
struct SetRecord {
  NameText name;
  std::string oid;
  int type = 0;
  std::string prog;
  int access = 0;
};

std::string TagText(std::string_view line, std::string_view open_tag, std::string_view close_tag) {
  const auto field = FindTagText(line, open_tag, close_tag);
  return field ? std::string(*field) : std::string();
}

SetRecord ReadSetRecord(std::string_view line) {
  SetRecord record;
  ExtractTagText(line, record.name, "<name>", "</name>");
  record.oid = TagText(line, "<oid>", "</oid>");
  record.type = DecimalToInt(TagText(line, "<type>", "</type>"));
  record.prog = TagText(line, "<prog>", "</prog>");
  const auto access = FindTagText(line, "<access>", "</access>");
  record.access = access ? DecimalToInt(*access) : 1;
  return record;
}

void WriteNoPageSelected() {
  MenuNotePage(
      "You have not selected a page.<br/><br/>Please choose from one of the above menu options.");
}

// The head of the error page is written at the first rejection only, so a
// request without rejections writes none of it.
void ReportRejection(SetState& state, const SetRecord& record, const std::string& shown) {
  if (!state.error) {
    HtmlResponseHeader();
    IncludeFile(kPageHeaderInclude);
    IncludeFile(kConfigHeaderInclude);
    response::Write("<tr><td colspan=\"2\">\r\n");
    state.error = true;
  }
  // The value comes from the request: escaped, so it shows as typed and can
  // never become markup. The name is the card's own label.
  response::Printf("<div class=\"errorText\">Invalid value \"%s\" for parameter: %s</div>\r\n",
                   HtmlEscaped(shown).c_str(), record.name.c_str());
}

void RecordAcceptance(SetState& state, const SetRecord& record, std::string value) {
  if (record.oid == kAddressOid) {
    state.new_address = value;
  } else if (record.oid == kDhcpOid) {
    state.dhcp = DecimalToInt(value);
  }
  state.changes.push_back({record.prog, record.oid, std::move(value)});
}

void ShowFormAgain() {
  response::Write("</td></tr>");
  RenderMenuForm();
  IncludeFile(kConfigFooterInclude);
  IncludeFile(kPageFooterInclude);
}

// Checks every writable parameter of param.xml whose field was sent, in file
// order, reporting each rejected value once and collecting the accepted ones.
SetState WalkParameters(DescriptorText& descriptors) {
  SetState state;
  std::string line;
  while (descriptors.ReadLine(line) >= 0) {
    const SetRecord record = ReadSetRecord(line);
    if (record.access <= 0) {
      continue;
    }
    SubmittedValue submitted = CheckSubmittedValue(record.type, "oid-" + record.oid);
    switch (submitted.verdict) {
      case SubmittedValue::Verdict::kAccepted:
        RecordAcceptance(state, record, std::move(submitted.text));
        break;
      case SubmittedValue::Verdict::kRejected:
        ReportRejection(state, record, submitted.text);
        break;
      case SubmittedValue::Verdict::kNotSubmitted:
        // Not on the form (no input for it, another menu) or not sent: the
        // parameter stays as it is.
        break;
    }
  }
  return state;
}

}  // namespace

int HandleSet() {
  const char* method = std::getenv("REQUEST_METHOD");
  if (method == nullptr || std::strcmp(method, "POST") != 0) {
    WriteNoPageSelected();
    return 0;
  }
  if (RefuseCrossSiteSet()) {
    return 0;
  }
  if (CgiParseRequest() < 0) {
    return -1;
  }
  if (RefuseIncompleteSet()) {
    CgiFreeRequest();
    return 0;
  }
  // Read whole and closed at once: programs started later inherit nothing.
  std::optional<DescriptorText> descriptors = DescriptorText::Load(card_paths::kParamDescriptors);
  if (!descriptors) {
    return 1;
  }
  const SetState state = WalkParameters(*descriptors);
  // The form reads the file again by itself; its memory can be this copy's.
  descriptors.reset();

  if (state.error) {
    ShowFormAgain();
    CgiFreeRequest();
    return 0;
  }
  const std::string_view scheme = RequestScheme();
  return CompleteSet(state, scheme, RequestHost(scheme));
}
