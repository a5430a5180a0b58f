// Whole-request tests with hostile input: oversized, malformed and binary
// requests, environments and card files. Whatever comes, the program ends
// with status 0, answers with one of the route's designed responses, runs no
// change program unless every value sent for a writable parameter was valid,
// and leaves the value files as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "e2e/set_card.hpp"

namespace {
using namespace testing_support;
using namespace std::string_literals;

const std::string kHtmlHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";

std::string Marker(const char* include) { return Sandbox::IncludeMarker(include); }

// The designed responses of the routes under test.
enum class Answer {
  kMalformed,      // none of the designed responses
  kNothing,        // set: unparseable request; feed: not a POST
  kNoPageSelected, // set: not a POST, or no field of a writable parameter
  kErrorPage,      // set: rejected values and the form
  kNetworkPage,    // set: every value sent accepted
  kFeedUnknown,    // feed: "5"
  kFeedRecord,     // feed: one progress record
  kStatusPage,     // status page, any state
  kStaticPage,
  kRedirect,
};

const char* AnswerName(Answer answer) {
  constexpr const char* kNames[] = {"malformed",   "nothing",     "no page selected", "error page",
                                    "network page", "feed \"5\"", "feed record",      "status page",
                                    "static page", "redirect"};
  return kNames[static_cast<int>(answer)];
}

// Header lines must be the program's own: request text can't add a line.
bool HeaderLinesAreOwn(const std::string& out) {
  const std::size_t end = out.find("\r\n\r\n");
  if (end == std::string::npos) return out.empty();
  static const std::regex kLine("(Content-type|Expires|Cache-Control|Pragma|Location|Refresh): [^\r\n]*");
  std::size_t start = 0;
  while (start < end) {
    const std::size_t line_end = out.find("\r\n", start);
    if (!std::regex_match(out.begin() + static_cast<std::ptrdiff_t>(start),
                          out.begin() + static_cast<std::ptrdiff_t>(line_end), kLine)) {
      return false;
    }
    start = line_end + 2;
  }
  return true;
}

// Request text shown in a rejection message can't leave it.
bool MessagesAreEscaped(const std::string& out) {
  static const std::regex kMessage("<div class=\"errorText\">Invalid value \"[^<>\"]*\" for parameter: [^\r\n]*</div>\r\n");
  std::size_t at = 0;
  while ((at = out.find("<div class=\"errorText\">", at)) != std::string::npos) {
    const std::size_t end = out.find("</div>\r\n", at);
    if (end == std::string::npos || !std::regex_match(out.substr(at, end + 8 - at), kMessage)) return false;
    at = end;
  }
  return true;
}

std::size_t FormRows(const std::string& out) {
  std::size_t rows = 0;
  for (std::size_t at = 0; (at = out.find("<tr><td valign=\"top\" class=\"formLabel\">", at)) != std::string::npos; ++at) {
    ++rows;
  }
  return rows;
}

Answer Classify(const std::string& out) {
  if (out.empty()) return Answer::kNothing;
  if (!HeaderLinesAreOwn(out)) return Answer::kMalformed;
  const std::string page = kHtmlHeader + Marker("pageHeader.html");
  const std::string footer = Marker("pageFooter.html");
  if (out == page + Marker("staticPage.html") + footer) return Answer::kStaticPage;
  if (out == page + Marker("generalHeader.html") +
                 "<p style=\"text-align: center\">You have not selected a page.<br/><br/>Please choose from one of "
                 "the above menu options.</p>\n" + footer) {
    return Answer::kNoPageSelected;
  }
  if (out.starts_with(page + Marker("configHeader.html") + "<tr><td colspan=\"2\">\r\n")) {
    const bool whole = out.ends_with(Marker("configFooter.html") + footer) && out.find("</td></tr>") != std::string::npos;
    return whole && MessagesAreEscaped(out) && FormRows(out) <= 20 ? Answer::kErrorPage : Answer::kMalformed;
  }
  static const std::regex kNetworkBody(
      "<p align=\"center\">Setting network configuration...</p>(<p align=\"center\"><strong>WARNING:</strong> Page "
      "does not forward automatically when DHCP is used.</p>|\n<script language=\"javascript\">\n\tdocument."
      "location.href = 'http://[A-Za-z0-9.:_\\[\\]\\\\-]*';\n</script>\n<p align=\"center\">If the page does not "
      "automatcially forward, please <a href=\"http://[^<>\"]*\">click here</a>.</p>)");
  static const std::regex kStatusBody(
      "<div class=\"progressbar\"><img src=\"/pics/progressbar-done.gif\"/></div><div class=\"progressbar-message\">"
      "(Upload Complete</div>(<form action=\"/cgi-bin/Merovane/reboot\" method=\"post\">[\\s\\S]*</form>\n)?|"
      "Error:&nbsp;&nbsp;<span class=\"errorText\">[^<>]*</span></div>)|<meta http-equiv=\"refresh\" "
      "content=\"2\"/><div class=\"progressbar\"><img src=\"/pics/progressbar.gif\"/></div><div "
      "class=\"progressbar-message\">Update in progress</div>");
  const std::string general = page + Marker("generalHeader.html");
  if (out.starts_with(general) && out.ends_with(footer)) {
    const std::string body = out.substr(general.size(), out.size() - general.size() - footer.size());
    if (std::regex_match(body, kNetworkBody)) return Answer::kNetworkPage;
    if (std::regex_match(body, kStatusBody)) return Answer::kStatusPage;
    return Answer::kMalformed;
  }
  static const std::regex kFeedRecord(
      "0</>stop=(0|1</>msg=[^\r\n]*)</>percentage=[0-9]{1,3}\r\n(<form action=\"[^\r\n]*/reboot\" "
      "method=\"GET\"><input type=\"submit\" value=\"Reboot\"></form>\r\n)?");
  if (out == kTextHeader + "5") return Answer::kFeedUnknown;
  if (out.starts_with(kTextHeader) && std::regex_match(out.substr(kTextHeader.size()), kFeedRecord)) {
    return Answer::kFeedRecord;
  }
  static const std::regex kRedirectLine("Location: http://[^\r\n]*\r\n\r\n");
  return std::regex_match(out, kRedirectLine) ? Answer::kRedirect : Answer::kMalformed;
}

// The card of every case: one parameter of each checked type, one read-only.
std::vector<TestParam> BaseParams() {
  return {{"frame_ip.conf", "IP Address", "9", "1", "10.0.0.2"},
          {"use_dhcp.conf", "DHCP", "8", "1", "0", true,
           "<option>Off</option><index>0</index><option>On</option><index>1</index>"},
          {"count", "Count", "4", "1", "3"},
          {"gain", "Gain", "6", "1", "1.5"},
          {"label", "Label", "7", "1", "stored"},
          {"serial", "Serial", "5", "0", "SN1"}};
}

// A value for every writable parameter of the base card.
const std::string kValidBody =
    "0oid-frame_ip.conf=10&1oid-frame_ip.conf=0&2oid-frame_ip.conf=0&3oid-frame_ip.conf=9&oid-use_dhcp.conf=0&"
    "oid-count=5&oid-gain=2.5&oid-label=new";

std::string Repeat(std::size_t count, char c) { return std::string(count, c); }

std::string Garbage(std::size_t size) {
  std::mt19937 random(20240601);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

std::string ManyFields(std::size_t count, bool same_name) {
  std::string body;
  for (std::size_t i = 0; i < count; ++i) {
    // Appending, not operator+, keeps GCC 12 from a false -Wrestrict warning.
    body.append(same_name ? "oid-count" : "f").append(same_name ? "" : std::to_string(i));
    body.append("=").append(std::to_string(i % 10)).append("&");
  }
  return body;
}

// Whether the set request counts an <access> text as writable: its decimal
// reading is at least 1; without <access> (an empty text here) it is.
bool Writable(const std::string& access) {
  if (access.empty()) return true;
  const std::size_t first = access.find_first_not_of(" \t\n\v\f\r");
  if (first == std::string::npos || access[first] == '-') return false;
  const std::size_t digits = access[first] == '+' ? first + 1 : first;
  const std::size_t end = access.find_first_not_of("0123456789", digits);
  return access.substr(digits, end - digits).find_first_not_of('0') != std::string::npos;
}

bool AllDigits(const std::string& text) { return text.find_first_not_of("0123456789") == std::string::npos; }

// A value text as the set request hands it on for `type`.
bool ValidFor(const std::string& type, const std::string& value) {
  const int code = std::atoi(type.c_str());
  if (code == 4 || code == 8) return !value.empty() && AllDigits(value);
  if (code == 6) return std::regex_match(value, std::regex("-?[0-9]+\\.[0-9]{6}"));
  if (code == 9) {
    const std::regex box("(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})");
    std::smatch boxes;
    if (!std::regex_match(value, boxes, box)) return false;
    for (std::size_t i = 1; i <= 4; ++i) {
      if (std::strtol(boxes[static_cast<int>(i)].str().c_str(), nullptr, 10) > 255) return false;
    }
    return true;
  }
  return !value.empty() && value.size() <= 49;
}

struct HostileCase {
  std::string name;
  std::string path;
  // Sets the body and changes the request's environment. Before it the
  // request is a URL-encoded POST; CONTENT_LENGTH is the body's size unless
  // it sets one.
  std::function<void(CgiEnvironment&, std::string& body)> request;
  std::set<Answer> designed;
  std::function<void(std::vector<TestParam>&)> params = nullptr;  // changes to the base parameters
  std::function<void(const Sandbox&)> files = nullptr;            // card files written after them
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

using BodyMaker = std::function<std::string()>;

auto Body(BodyMaker make) {
  return [make](CgiEnvironment&, std::string& body) { body = make(); };
}
auto Variable(std::string name, BodyMaker value, BodyMaker body = [] { return kValidBody; }) {
  return [name, value, body](CgiEnvironment& env, std::string& request_body) {
    SetVariable(env, name, value());
    request_body = body();
  };
}
auto Length(std::string length, BodyMaker body = [] { return kValidBody; }) {
  return Variable("CONTENT_LENGTH", [length] { return length; }, body);
}
auto Text(std::string text) {
  return [text] { return text; };
}

std::string ProgressFileOf(std::size_t size) {
  std::string bytes = Garbage(size);
  if (size >= 3) bytes.replace(0, 3, std::string("\x01\x00\x32", 3));  // running at 50 percent
  return bytes;
}

// Records whose every field is far over its width, each line within the
// line limit.
void AddOversizedRecords(std::vector<TestParam>& params) {
  params.push_back({"o" + Repeat(200, 'o'), "Long oid", "7"});
  params.push_back({"longname", Repeat(600, 'N'), "7"});
  params.push_back({"longtype", "Type", Repeat(300, '0') + "7"});
  params.push_back({"longaccess", "Access", "7", Repeat(300, '0') + "1"});
  params.push_back({"longvalue", "Value", "7", "1", Repeat(5000, 'v')});
  params.push_back({"longlist", "List", "8", "1", "b", true,
                    "<display>" + Repeat(200, '9') + "</display><option>" + Repeat(300, 'L') +
                        "</option><option>b</option>"});
  params.push_back({"longrange", "Range", "4", "1", "1", true,
                    "<min>" + Repeat(200, '1') + "</min><max>" + Repeat(200, '2') + "</max><precision>" +
                        Repeat(200, '3') + "</precision>"});
}
std::string OversizedRecordsBody() {
  std::string body = kValidBody;
  for (const char* oid : {"longname", "longtype", "longaccess", "longvalue", "longlist", "longrange"}) {
    body += std::string("&oid-") + oid + "=1";
  }
  return body + "&oid-o" + Repeat(200, 'o') + "=1";
}

std::string Options(std::size_t count) {
  std::string options;
  for (std::size_t i = 0; i < count; ++i) options += "<option>o" + std::to_string(i) + "</option>";
  return options;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

// The valid form's fields, with `before` in front of them.
Fields ValidFields(Fields before = {}) {
  std::string_view rest = kValidBody;
  while (!rest.empty()) {
    const std::string_view pair = rest.substr(0, rest.find('&'));
    const std::size_t equals = pair.find('=');
    before.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
  }
  return before;
}

const std::string kBoundary = "----hostile7MA4YWxkTrZu0gW";

// A multipart body as browsers send it; `close` ends it with the close
// delimiter.
std::string Multipart(const Fields& fields, bool close = true) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body.append("--").append(kBoundary).append("\r\nContent-Disposition: form-data; name=\"");
    body.append(name).append("\"\r\n\r\n").append(value).append("\r\n");
  }
  return close ? body + "--" + kBoundary + "--\r\n" : body;
}

// A multipart POST of `body`, with CONTENT_TYPE `type` (the usual one when empty).
auto MultipartRequest(BodyMaker body, std::string type = "") {
  return [body, type](CgiEnvironment& env, std::string& request_body) {
    SetVariable(env, "CONTENT_TYPE", type.empty() ? "multipart/form-data; boundary=" + kBoundary : type);
    request_body = body();
  };
}

// A form with one rejected value: the answer shows the form again.
const std::string kRejectingBody = "oid-count=x&" + kValidBody;

std::vector<HostileCase> Cases() {
  using A = Answer;
  const std::string set = "/set";
  std::vector<HostileCase> cases = {
      {"BodyFarOverContentLength", set, Length("10", [] { return kValidBody + "&" + Repeat(1 << 20, 'x'); }),
       {A::kNoPageSelected}},
      {"BodyFarUnderContentLength", set, Length("1000000"), {A::kNetworkPage}},
      {"ContentLengthOfInt32Max", set, Length("2147483647"), {A::kNetworkPage}},
      {"ContentLengthMinusOne", set, Length("-1"), {A::kNothing}},
      {"ContentLengthInHexadecimal", set, Length("0x10"), {A::kNoPageSelected}},
      {"ContentLengthBeyond32Bits", set, Length("99999999999"), {A::kNothing}},
      {"AddressBoxOfRawNuls", set,
       Body([] { return "1oid-frame_ip.conf=\0\0\0168&"s + kValidBody; }), {A::kErrorPage}},
      {"BinaryGarbage", set, Body([] { return Garbage(64 << 10); }), {A::kNoPageSelected}},
      {"TenMebibyteSingleLine", set, Body([] { return "oid-label=" + Repeat(10 << 20, 'x') + "&" + kValidBody; }),
       {A::kNetworkPage}},
      {"HundredThousandFields", set, Body([] { return ManyFields(100000, false) + kValidBody; }),
       {A::kNetworkPage}},
      {"HundredThousandFieldsOfOneName", set, Body([] { return kValidBody + "&" + ManyFields(100000, true); }),
       {A::kNetworkPage}},
      {"MebibyteNameAndValue", set,
       Body([] { return Repeat(1 << 20, 'n') + "=" + Repeat(1 << 20, 'v') + "&" + kValidBody; }),
       {A::kNetworkPage}},
      {"MebibyteNumber", set, Body([] { return "oid-count=" + Repeat(1 << 20, '9') + "&" + kValidBody; }),
       {A::kNetworkPage}},
      {"HostOf64KiB", set, Variable("HTTP_HOST", [] { return Repeat(64 << 10, 'h'); }), {A::kNetworkPage}},
      {"QueryStringOf64KiB", set, Variable("QUERY_STRING", [] { return Repeat(64 << 10, '&'); }),
       {A::kNetworkPage}},
      {"OtherVariablesOf64KiB", set,
       [](CgiEnvironment& env, std::string& body) {
         for (const char* name : {"HTTP_COOKIE", "HTTP_REFERER", "PATH_TRANSLATED", "REMOTE_USER", "SERVER_NAME"}) {
           SetVariable(env, name, Repeat(64 << 10, 'e'));
         }
         body = kValidBody;
       },
       {A::kNetworkPage}},
      {"ContentTypeOf64KiB", set,
       Variable("CONTENT_TYPE", [] { return "application/x-www-form-urlencoded; " + Repeat(64 << 10, 'c'); }),
       {A::kNetworkPage}},
      {"MethodOf64KiB", set, Variable("REQUEST_METHOD", [] { return "POST" + Repeat(64 << 10, 'T'); }),
       {A::kNoPageSelected}},
      {"HostWithCrLfAndNoNewAddress", set,
       Variable("HTTP_HOST", Text("evil.example\r\nSet-Cookie: a=b"),
                Text("oid-use_dhcp.conf=0&oid-count=5&oid-gain=2.5&oid-label=new")),
       {A::kNetworkPage},
       [](std::vector<TestParam>& params) { params.erase(params.begin()); }},
      {"EveryDescriptorFieldFarOverItsWidth", set, Body([] { return kRejectingBody; }), {A::kErrorPage},
       AddOversizedRecords},
      {"EveryDescriptorFieldFarOverItsWidthAllSubmitted", set, Body(OversizedRecordsBody), {A::kNetworkPage},
       AddOversizedRecords},
      {"ThousandOptions", set, Body([] { return kRejectingBody; }), {A::kErrorPage},
       [](std::vector<TestParam>& params) {
         params.push_back({"many", "Many", "8", "1", "1", true, Options(1000)});
       }},
      {"ThousandOptionsAllSubmitted", set, Body([] { return kValidBody + "&oid-many=1"; }), {A::kNetworkPage},
       [](std::vector<TestParam>& params) {
         params.push_back({"many", "Many", "8", "1", "1", true, Options(1000)});
       }},
      {"FortyOptionsInOneLine", set, Body([] { return kRejectingBody; }), {A::kErrorPage},
       [](std::vector<TestParam>& params) { params.push_back({"forty", "Forty", "8", "1", "3", true, Options(40)}); }},
      {"TenThousandMenuOids", set, Body([] { return kRejectingBody; }), {A::kErrorPage}, nullptr,
       [](const Sandbox& sandbox) {
         std::string menu = "<menu><mid>0</mid>\n";
         for (int i = 0; i < 10000; ++i) menu += "<oid>label</oid>\n";
         sandbox.WriteCardFile("/brix/etc/control_menu.xml", menu + "</menu>\n");
       }},
      {"ValueFilesWithoutEqualsOrLineFeed", set, Body([] { return kRejectingBody; }), {A::kErrorPage}, nullptr,
       [](const Sandbox& sandbox) {
         sandbox.WriteFile(sandbox.Root() / "values" / "frame_ip.conf", "ip=1.2.3.4");
         sandbox.WriteFile(sandbox.Root() / "values" / "use_dhcp.conf", "no equals sign\n");
         sandbox.WriteFile(sandbox.Root() / "values" / "count", "5");
         sandbox.WriteFile(sandbox.Root() / "values" / "label", "");
       }},
      {"MultipartTenMebibyteSingleLine", set,
       MultipartRequest([] { return Multipart(ValidFields({{"oid-label", Repeat(10 << 20, 'x')}})); }),
       {A::kNetworkPage}},
      {"MultipartHundredThousandParts", set,
       MultipartRequest([] {
         Fields fields;
         for (int i = 0; i < 100000; ++i) fields.emplace_back(std::string("f").append(std::to_string(i)), "1");
         return Multipart(ValidFields(std::move(fields)));
       }),
       {A::kNetworkPage}},
      {"MultipartMebibyteNameAndValue", set,
       MultipartRequest([] { return Multipart(ValidFields({{Repeat(1 << 20, 'n'), Repeat(1 << 20, 'v')}})); }),
       {A::kNetworkPage}},
      {"MultipartHeaderOfAMebibyte", set,
       MultipartRequest([] {
         std::string folded = "--" + kBoundary + "\r\nContent-Disposition: form-data;";
         for (int i = 0; i < (1 << 20) / 16; ++i) folded += "\r\n x" + std::to_string(i % 1000) + "=yyyyy;";
         return folded + " name=\"oid-label\"\r\n\r\nfolded\r\n" + Multipart(ValidFields());
       }),
       {A::kNetworkPage}},
      {"MultipartHeaderLineOfTwoMebibytesOfWords", set,
       MultipartRequest([] {
         std::string words = "--" + kBoundary + "\r\nContent-Disposition: form-data;";
         for (int i = 0; i < (1 << 20); ++i) words += " w";
         return words + " name=\"oid-label\"\r\n\r\nwords\r\n" + Multipart(ValidFields());
       }),
       {A::kNetworkPage}},
      {"MultipartWithoutCloseDelimiter", set, MultipartRequest([] { return Multipart(ValidFields(), false); }),
       {A::kNetworkPage}},
      {"MultipartAddressBoxOfNuls", set,
       MultipartRequest([] { return Multipart(ValidFields({{"1oid-frame_ip.conf", "\0\0\0"s}})); }),
       {A::kErrorPage}},
      {"MultipartBinaryGarbage", set, MultipartRequest([] { return Garbage(64 << 10); }), {A::kNoPageSelected}},
      {"MultipartGarbageBetweenDelimiters", set,
       MultipartRequest([] { return "--" + kBoundary + "\r\n" + Garbage(64 << 10) + "\r\n" + Multipart(ValidFields()); }),
       {A::kErrorPage, A::kNetworkPage}},
      {"MultipartWithoutBoundary", set, MultipartRequest([] { return Multipart(ValidFields()); }, "multipart/form-data"),
       {A::kNothing}},
      {"MultipartContentLengthMinusOne", set,
       [](CgiEnvironment& env, std::string& body) {
         MultipartRequest([] { return Multipart(ValidFields()); })(env, body);
         SetVariable(env, "CONTENT_LENGTH", "-1");
       },
       {A::kNothing}},
      {"MultipartContentLengthFarUnder", set,
       [](CgiEnvironment& env, std::string& body) {
         MultipartRequest([] { return Multipart(ValidFields()); })(env, body);
         SetVariable(env, "CONTENT_LENGTH", "3");
       },
       {A::kNetworkPage}},
      {"FeedContentLengthOfInt32Max", "/uploadupdate",
       Variable("CONTENT_LENGTH", Text("2147483647"), Text("loadtype=ppcupload")), {A::kFeedRecord}},
      {"FeedContentLengthMinusOne", "/uploadupdate", Variable("CONTENT_LENGTH", Text("-1"), Text("loadtype=ppcupload")),
       {A::kFeedRecord}},
      {"FeedContentLengthInHexadecimal", "/uploadupdate",
       Variable("CONTENT_LENGTH", Text("0x10"), Text("loadtype=ppcupload")), {A::kFeedRecord}},
      {"FeedContentLengthBeyond32Bits", "/uploadupdate",
       Variable("CONTENT_LENGTH", Text("99999999999"), Text("loadtype=ppcupload")), {A::kFeedRecord}},
      {"FeedBodyFarOverContentLength", "/uploadupdate",
       Length("5", [] { return "loadtype=ppcupload" + Repeat(1 << 20, ' '); }), {A::kFeedUnknown}},
      {"FeedBinaryGarbage", "/uploadupdate", Body([] { return Garbage(64 << 10); }), {A::kFeedUnknown}},
      {"StatusPageQueryOf64KiB", "/uploadstatus", Variable("QUERY_STRING", [] { return Repeat(64 << 10, 'q'); }),
       {A::kStatusPage}},
      {"PathOf64KiB", Repeat(64 << 10, '/'), Body(Text("")), {A::kRedirect}},
      {"RedirectHostWithCrLf", "/logon", Variable("HTTP_HOST", Text("evil.example\r\nSet-Cookie: a=b")),
       {A::kRedirect}},
      {"RebootHostWithCrLfFromElsewhere", "/reboot",
       Variable("HTTP_HOST", Text("card.example\r\nRefresh: 0; http://evil.example")), {A::kStaticPage}},
      {"StaticPageScriptNameOf64KiB", "/cardcontrol", Variable("SCRIPT_NAME", [] { return Repeat(64 << 10, 's'); }),
       {A::kStaticPage}},
  };
  // Progress files of 0, 2 and 3 bytes and of 4 KiB, read by the feed and
  // by the status page.
  for (const std::size_t size : {0, 2, 3, 4096}) {
    const auto file = [size](const Sandbox& sandbox) {
      sandbox.WriteCardFile("/tmp/progress", ProgressFileOf(size));
    };
    cases.push_back({"FeedProgressFileOf" + std::to_string(size) + "Bytes", "/uploadupdate", Body(Text("loadtype=firmware")),
                     {size < 3 ? A::kFeedUnknown : A::kFeedRecord}, nullptr, file});
    cases.push_back({"StatusPageProgressFileOf" + std::to_string(size) + "Bytes", "/uploadstatus", Body(Text("")), {A::kStatusPage}, nullptr, file});
  }
  return cases;
}

std::map<std::string, std::string> ValueFiles(const Sandbox& sandbox) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(sandbox.Root() / "values")) {
    files[entry.path().filename().string()] = sandbox.ReadFile(entry.path());
  }
  return files;
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsWellWithADesignedResponse) {
  const HostileCase& c = GetParam();
  std::vector<TestParam> params = BaseParams();
  if (c.params) c.params(params);
  SetCard card(params);
  if (c.files) c.files(card.sandbox());
  const auto values_before = ValueFiles(card.sandbox());

  CgiEnvironment env = GetRequest(c.path);
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_TYPE", "application/x-www-form-urlencoded");
  std::string body;
  c.request(env, body);
  if (std::none_of(env.begin(), env.end(), [](const auto& v) { return v.first == "CONTENT_LENGTH"; })) {
    SetVariable(env, "CONTENT_LENGTH", std::to_string(body.size()));
  }
  const CgiRun run = RunCgi(card.sandbox(), env, body, {.timeout = std::chrono::seconds(120)});

  EXPECT_EQ(run.exit_status, 0) << run.err;
  const Answer answer = Classify(run.out);
  EXPECT_TRUE(c.designed.contains(answer)) << AnswerName(answer) << ":\n" << run.out.substr(0, 3000);

  // Applied only when no value was rejected, and only to writable
  // parameters, each at most once, in order and as its type allows.
  const std::vector<std::string> changes = card.Changes();
  if (answer != Answer::kNetworkPage) {
    EXPECT_TRUE(changes.empty()) << changes.size() << " changes applied";
  } else {
    std::size_t next = 0;
    for (const TestParam& param : params) {
      const std::string prefix = "change [" + card.ChangeProgram() + "] [" + param.oid + "] [";
      if (next == changes.size() || !changes[next].starts_with(prefix)) continue;
      EXPECT_TRUE(Writable(param.access)) << param.oid;
      const std::string& change = changes[next++];
      ASSERT_TRUE(change.ends_with("]")) << change;
      const std::string value = change.substr(prefix.size(), change.size() - prefix.size() - 1);
      EXPECT_TRUE(ValidFor(param.type, value)) << param.oid << " = " << value;
    }
    EXPECT_EQ(next, changes.size()) << "a change of no parameter, or out of order";
    EXPECT_FALSE(changes.empty());
  }
  EXPECT_EQ(ValueFiles(card.sandbox()), values_before);
}

INSTANTIATE_TEST_SUITE_P(Requests, HostileInput, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
