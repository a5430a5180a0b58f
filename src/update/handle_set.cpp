#include "update/handle_set.hpp"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "card/system_log.hpp"
#include "cgi/cgi_request.hpp"
#include "descriptors/descriptor_files.hpp"
#include "descriptors/menu_form.hpp"
#include "descriptors/param_kinds.hpp"
#include "response/html_escape.hpp"
#include "response/page_framing.hpp"
#include "response/request_site.hpp"
#include "response/response_output.hpp"
#include "update/complete_set.hpp"
#include "update/cross_site.hpp"
#include "update/incomplete_form.hpp"
#include "update/submitted_value.hpp"

namespace {

// The fields of one param.xml record that the set request uses. Each record
// starts from empty fields: nothing is ever carried over from the one
// before, so one without <prog> has nothing to run. The label is copied
// only when a value is rejected.
struct SetRecord {
  const ParamRecord* found;
  std::string_view oid;  // in the ParamFile, like the record
  const ParamKind* kind;

  NameText Name() const {
    NameText name;
    ExtractField(*found, RecordField::kName, name);
    return name;
  }
  std::string_view Prog() const { return found->Field(RecordField::kProg).value_or(""); }
};

SetRecord ReadSetRecord(const ParamRecord& found) {
  SetRecord record;
  record.found = &found;
  record.oid = found.oid;
  record.kind = &KindOf(TypeOf(found));
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
                   HtmlEscaped(shown).c_str(), record.Name().c_str());
}

void RecordAcceptance(SetState& state, const SetRecord& record, std::string value) {
  if (record.oid == kAddressOid) {
    state.new_address = value;
  } else if (record.oid == kDhcpOid) {
    state.dhcp = DecimalToInt(value);
  }
  state.changes.push_back({record.Prog(), record.oid, std::move(value), record.found});
}

void ShowFormAgain(const std::optional<ParamFile>& params) {
  response::Write("</td></tr>");
  RenderMenuForm(params);
  IncludeFile(kConfigFooterInclude);
  IncludeFile(kPageFooterInclude);
}

// Checks every writable parameter of param.xml whose field was sent, in file
// order, reporting each rejected value once and collecting the accepted ones.
// Only records count: an over-long line or one without <oid> is no
// parameter, here as in the form.
SetState WalkParameters(const ParamFile& params) {
  SetState state;
  state.changes.reserve(params.records().size());
  std::string field_name = "oid-";  // and the oid: one buffer for every record
  for (const ParamRecord& found : params.records()) {
    if (!SetAcceptsField(found.Field(RecordField::kAccess))) {
      continue;
    }
    const SetRecord record = ReadSetRecord(found);
    field_name.resize(4);
    field_name.append(record.oid);
    SubmittedValue submitted = CheckSubmittedValue(*record.kind, found, field_name);
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

// A refused request goes on the system log, as every change does.
void LogRefusal(const char* what) {
  const RequestParty party = CurrentRequestParty();
  WriteSystemLog(kSystemLogWarning, "%s from %s: refused %s set request", party.user, party.address,
                 what);
}

}  // namespace

int HandleSet() {
  const char* method = std::getenv("REQUEST_METHOD");
  if (method == nullptr || std::strcmp(method, "POST") != 0) {
    WriteNoPageSelected();
    return 0;
  }
  if (RefuseCrossSiteSet()) {
    LogRefusal("a cross-site");
    return 0;
  }
  // A form of no known length (none, or not in digits) fails the parse, and
  // is refused as an incomplete one is.
  const bool parsed = CgiParseRequest() == 0;
  if (RefuseIncompleteSet()) {
    LogRefusal("an incomplete");
    CgiFreeRequest();
    return 0;
  }
  if (!parsed) {
    return -1;
  }
  // Read whole and closed at once: programs started later inherit nothing.
  // The form shows the same records.
  const std::optional<ParamFile> params = LoadCardParamFile();
  if (!params) {
    return 1;
  }
  const SetState state = WalkParameters(*params);

  if (state.error) {
    ShowFormAgain(params);
    CgiFreeRequest();
    return 0;
  }
  const std::string_view scheme = RequestScheme();
  return CompleteSet(state, scheme, RequestHost(scheme));
}
