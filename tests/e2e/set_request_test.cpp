// Whole-request tests of "/set": validation by type, the error page, the
// network settings page and the applying of changes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "e2e/set_card.hpp"

namespace {
using namespace testing_support;

const std::string kHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";

std::string Marker(const char* include) { return Sandbox::IncludeMarker(include); }

std::string ErrorDiv(const std::string& shown, const std::string& name) {
  return "<div class=\"errorText\">Invalid value \"" + shown + "\" for parameter: " + name + "</div>\r\n";
}

std::string ForwardingPage(const std::string& address) {
  return kHeader + Marker("pageHeader.html") + Marker("generalHeader.html") +
         "<p align=\"center\">Setting network configuration...</p>"
         "\n<script language=\"javascript\">\n\tdocument.location.href = 'http://" +
         address + "';\n</script>\n<p align=\"center\">If the page does not automatcially forward, please <a href=\"http://" +
         address + "\">click here</a>.</p>" + Marker("pageFooter.html");
}

std::string TextBoxRow(const std::string& oid, const std::string& name, const std::string& value) {
  return "<tr><td valign=\"top\" class=\"formLabel\">" + name + ":</td><td valign=\"top\">" +
         "<input class=\"formInput\" type=\"textbox\" id=\"oid-" + oid + "\" name=\"oid-" + oid +
         "\" maxlength=\"49\" value=\"" + value + "\"/>\n\n</td></tr>\r\n";
}

std::string Boxes(const std::string& oid, const std::string& a, const std::string& b, const std::string& c,
                  const std::string& d) {
  return "0oid-" + oid + "=" + a + "&1oid-" + oid + "=" + b + "&2oid-" + oid + "=" + c + "&3oid-" + oid + "=" + d;
}

// Other methods, and a POST that sends no field of any writable parameter
// (nothing to apply): no change program runs, and no refresh.
TEST(SetRequest, RequestsWithoutAFormAskForAMenuChoiceAndChangeNothing) {
  SetCard card({{"p", "Param", "7"}, {"ro", "Fixed", "7", "0"}});
  for (const auto& [method, body] : std::vector<std::pair<const char*, const char*>>{
           {"GET", "oid-p=1"}, {"post", "oid-p=1"}, {"HEAD", "oid-p=1"}, {"POST", ""}, {"POST", "oid-ro=1&x=2"}}) {
    CgiEnvironment env = GetRequest("/set");
    SetVariable(env, "REQUEST_METHOD", method);
    SetVariable(env, "CONTENT_TYPE", "application/x-www-form-urlencoded");
    SetVariable(env, "CONTENT_LENGTH", std::to_string(std::string_view(body).size()));
    const CgiRun run = RunCgi(card.sandbox(), env, body);
    EXPECT_EQ(run.out, kHeader + Marker("pageHeader.html") + Marker("generalHeader.html") +
                           "<p style=\"text-align: center\">You have not selected a page.<br/><br/>Please choose "
                           "from one of the above menu options.</p>\n" +
                           Marker("pageFooter.html"))
        << method << " " << body;
    EXPECT_EQ(run.exit_status, 0);
  }
  EXPECT_TRUE(card.sandbox().Records().empty());
}

enum class Outcome { kApplied, kRejected, kLeftAlone };
using enum Outcome;

struct ValidationCase {
  const char* name;
  std::string type;
  std::string body;
  Outcome outcome;
  std::string text = "";  // the applied value, or the value the message shows
};

void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.name; }

class Validation : public ::testing::TestWithParam<ValidationCase> {};

// Beside the parameter under test, a text parameter that is always sent: it
// is applied whenever nothing is rejected.
TEST_P(Validation, AppliesRejectsOrLeavesAloneByType) {
  const ValidationCase& c = GetParam();
  SetCard card({{"p", "Param", c.type}, {"q", "Other", "7"}});
  const CgiRun run = card.Post(c.body + (c.body.empty() ? "" : "&") + "oid-q=x");
  EXPECT_EQ(run.exit_status, 0);
  const std::string other = card.ChangeRecord("q", "x");
  switch (c.outcome) {
    case kApplied:
      EXPECT_EQ(card.Changes(), (std::vector<std::string>{card.ChangeRecord("p", c.text), other}));
      break;
    case kLeftAlone:
      EXPECT_EQ(card.Changes(), std::vector<std::string>{other});
      break;
    case kRejected:
      EXPECT_TRUE(card.Changes().empty());
      EXPECT_NE(run.out.find(ErrorDiv(c.text, "Param")), std::string::npos) << run.out;
      return;
  }
  EXPECT_EQ(run.out.find("errorText"), std::string::npos);
}

// A field that was not sent at all leaves its parameter alone, whatever the
// type; one that was sent empty keeps its type's verdict.
INSTANTIATE_TEST_SUITE_P(
    Types, Validation,
    ::testing::Values(
        ValidationCase{"IntegerWithLetter", "4", "oid-p=12a", kRejected, "12a"},
        ValidationCase{"IntegerWithSign", "4", "oid-p=-5", kRejected, "-5"},
        ValidationCase{"IntegerLeadingZeros", "4", "oid-p=007", kApplied, "7"},
        ValidationCase{"IntegerNotSent", "4", "", kLeftAlone},
        ValidationCase{"IntegerEmpty", "4", "oid-p=", kApplied, "0"},
        ValidationCase{"IntegerBeyond32Bits", "4", "oid-p=12345678901", kApplied, "0"},
        ValidationCase{"IntegerMaximum", "4", "oid-p=2147483647", kApplied, "2147483647"},
        ValidationCase{"EnumerationDigits", "8", "oid-p=2", kApplied, "2"},
        ValidationCase{"EnumerationLetters", "8", "oid-p=on", kRejected, "on"},
        ValidationCase{"EnumerationNotSent", "8", "", kLeftAlone},
        ValidationCase{"DecimalFraction", "6", "oid-p=1.5", kApplied, "1.500000"},
        ValidationCase{"DecimalBlanksAround", "6", "oid-p=+3+", kApplied, "3.000000"},
        ValidationCase{"DecimalOnlyFraction", "6", "oid-p=.5", kApplied, "0.500000"},
        ValidationCase{"DecimalNegative", "6", "oid-p=-2.25", kApplied, "-2.250000"},
        ValidationCase{"DecimalExponent", "6", "oid-p=1e3", kApplied, "1000.000000"},
        ValidationCase{"DecimalEmpty", "6", "oid-p=", kApplied, "0.000000"},
        ValidationCase{"DecimalNotSent", "6", "", kLeftAlone},
        ValidationCase{"DecimalLetters", "6", "oid-p=abc", kRejected, "abc"},
        ValidationCase{"DecimalTrailingLetters", "6", "oid-p=2.5abc", kRejected, "2.5abc"},
        ValidationCase{"DecimalComma", "6", "oid-p=1%2C5", kRejected, "1,5"},
        ValidationCase{"DecimalOutOfRange", "6", "oid-p=1e999", kRejected, "1e999"},
        ValidationCase{"DecimalInfinity", "6", "oid-p=inf", kRejected, "inf"},
        ValidationCase{"DecimalNan", "6", "oid-p=nan", kRejected, "nan"},
        ValidationCase{"DecimalHexadecimal", "6", "oid-p=0x1p3", kRejected, "0x1p3"},
        ValidationCase{"DecimalPointOnly", "6", "oid-p=.", kRejected, "."},
        ValidationCase{"DecimalBareExponent", "6", "oid-p=1e", kRejected, "1e"},
        ValidationCase{"AddressBoxOver255", "9", Boxes("p", "192", "168", "1", "300"), kRejected, "192.168.1.300"},
        ValidationCase{"AddressRejectedAsTyped", "9", Boxes("p", "010", "0", "0", "256"), kRejected, "010.0.0.256"},
        ValidationCase{"AddressNotSent", "9", "", kLeftAlone},
        ValidationCase{"AddressOneBoxSent", "9", "2oid-p=0", kRejected, "..0."},
        ValidationCase{"AddressOneBoxEmpty", "9", Boxes("p", "10", "", "0", "1"), kRejected, "10..0.1"},
        ValidationCase{"AddressLetters", "9", Boxes("p", "1a", "2", "3", "4"), kRejected, "1a.2.3.4"},
        ValidationCase{"AddressNegative", "9", Boxes("p", "1", "-2", "3", "4"), kRejected, "1.-2.3.4"},
        ValidationCase{"TextDecoded", "7", "oid-p=hello+world%21", kApplied, "hello world!"},
        ValidationCase{"TextCutAt49", "7", "oid-p=" + std::string(60, 'x'), kApplied, std::string(49, 'x')},
        ValidationCase{"TextEmpty", "7", "oid-p=", kRejected, ""},
        ValidationCase{"TextNotSent", "7", "", kLeftAlone},
        ValidationCase{"DisplayTextNotSent", "5", "", kLeftAlone},
        ValidationCase{"UnknownTypeNeedsAValue", "12", "oid-p=x", kApplied, "x"},
        ValidationCase{"TypeNotANumber", "abc", "oid-p=y", kApplied, "y"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AccessCase {
  std::string access;
  bool writable;
};

void PrintTo(const AccessCase& c, std::ostream* os) {
  *os << (c.access.empty() ? "no access" : "access \"" + c.access + '"');
}

class Access : public ::testing::TestWithParam<AccessCase> {};

// A writable text parameter sent empty is rejected; a read-only one is not
// even looked at. A record without <access> is writable, as the form shows it.
TEST_P(Access, IsJudgedByItsDecimalValue) {
  SetCard card({{"p", "Param", "7", GetParam().access}});
  const CgiRun run = card.Post("oid-p=");
  const bool reported = run.out.find(ErrorDiv("", "Param")) != std::string::npos;
  EXPECT_EQ(reported, GetParam().writable) << "access \"" << GetParam().access << "\"";
  EXPECT_TRUE(card.Changes().empty());
}

INSTANTIATE_TEST_SUITE_P(AccessTexts, Access,
                         ::testing::Values(AccessCase{"1", true}, AccessCase{"2", true}, AccessCase{"01", true},
                                           AccessCase{" 3x", true}, AccessCase{"0", false},
                                           AccessCase{"-1", false}, AccessCase{"abc", false},
                                           AccessCase{"", true}));

TEST(SetRequest, ReadOnlyParameterIsNeverChangedWhateverIsSubmitted) {
  SetCard card({{"ro", "Firmware", "4", "0"}, {"rw", "Name", "7"}});
  const CgiRun run = card.Post("oid-ro=bogus&oid-rw=card");
  EXPECT_EQ(card.Changes(), std::vector<std::string>{card.ChangeRecord("rw", "card")});
  EXPECT_EQ(run.out.find("errorText"), std::string::npos);
}

TEST(SetRequest, TwoRejectionsMakeOnePageWithTheStoredForm) {
  SetCard card({{"a", "Alpha", "4", "1", "5", false},
                {"b", "Beta", "7", "1", "stored \"value\""},
                {"c", "Gamma", "9", "1", "1.2.3.4", false}});
  const CgiRun run = card.Post("oid-a=x1&oid-b=&" + Boxes("c", "1", "2", "3", "4"));
  EXPECT_EQ(run.out, kHeader + Marker("pageHeader.html") + Marker("configHeader.html") +
                         "<tr><td colspan=\"2\">\r\n" + ErrorDiv("x1", "Alpha") + ErrorDiv("", "Beta") +
                         "</td></tr>" + TextBoxRow("b", "Beta", "stored &quot;value&quot;") +
                         Marker("configFooter.html") + Marker("pageFooter.html"));
  EXPECT_TRUE(card.sandbox().Records().empty()) << "nothing applied, no refresh";
  EXPECT_EQ(run.exit_status, 0);
}

TEST(SetRequest, RejectedValuesAreShownEscaped) {
  SetCard card({{"p", "Param", "4"}});
  const CgiRun run = card.Post("oid-p=%3Cscript%3Ealert(%22x%22)%25%26%3C%2Fscript%3E");
  EXPECT_NE(run.out.find(ErrorDiv("&lt;script&gt;alert(&quot;x&quot;)&#37;&amp;&lt;/script&gt;", "Param")),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("<script>"), std::string::npos);
}

TEST(SetRequest, NetworkSettingsPageForwardsToTheNewAddress) {
  SetCard card({{"frame_ip.conf", "IP Address", "9"}, {"use_dhcp.conf", "DHCP", "8"}});
  const CgiRun run = card.Post(Boxes("frame_ip.conf", "127", "0", "00", "010") + "&oid-use_dhcp.conf=0");
  EXPECT_EQ(run.out, ForwardingPage("127.0.0.10"));
  EXPECT_EQ(card.Changes(), (std::vector<std::string>{card.ChangeRecord("frame_ip.conf", "127.0.0.10"),
                                                      card.ChangeRecord("use_dhcp.conf", "0")}));
}

TEST(SetRequest, NetworkSettingsPageWarnsUnderDhcp) {
  SetCard card({{"frame_ip.conf", "IP Address", "9"}, {"use_dhcp.conf", "DHCP", "8"}});
  const CgiRun run = card.Post(Boxes("frame_ip.conf", "127", "0", "0", "5") + "&oid-use_dhcp.conf=1");
  EXPECT_EQ(run.out, kHeader + Marker("pageHeader.html") + Marker("generalHeader.html") +
                         "<p align=\"center\">Setting network configuration...</p>"
                         "<p align=\"center\"><strong>WARNING:</strong> Page does not forward automatically when "
                         "DHCP is used.</p>" +
                         Marker("pageFooter.html"));
}

TEST(SetRequest, WithoutANewAddressThePageForwardsToTheCurrentHost) {
  SetCard card({{"p", "Param", "7"}});
  EXPECT_EQ(card.Post("oid-p=x").out, ForwardingPage(kTestHost));
}

// The new address is request text: it must not be able to leave the script's
// string or the link's attribute.
TEST(SetRequest, HostileNewAddressIsEscapedInScriptAndLink) {
  SetCard card({{"frame_ip.conf", "IP Address", "7"}});
  const CgiRun run = card.Post("oid-frame_ip.conf=x%27%3B%3C%2Fscript%3E%22%3E%3Cb%3E");
  EXPECT_NE(run.out.find("document.location.href = 'http://x\\x27\\x3b\\x3c\\x2fscript\\x3e\\x22\\x3e\\x3cb\\x3e';"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("<a href=\"http://x';&lt;/script&gt;&quot;&gt;&lt;b&gt;\">"), std::string::npos) << run.out;
}

TEST(SetRequest, ChangesRunOneAfterAnotherThenTheRefreshDetached) {
  SetCard card({{"x", "X", "7"}, {"y", "Y", "4"}, {"z", "Z", "7"}});
  const std::string log = card.sandbox().RecordLog().string();
  card.sandbox().InstallRecorder(card.ChangeProgram(), "change", "sleep 0.2; echo \"end $1\" >> '" + log + "'");
  card.sandbox().InstallRecorder(
      card.sandbox().CardPath("/brix/etc/refreshparams.sh"), "refresh",
      "echo \"streams $(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)\" >> '" + log +
          "'; sleep 1; echo done >> '" + log + "'");
  const CgiRun run = card.Post("oid-x=one&oid-y=2&oid-z=three+words");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(card.sandbox().Records(),
            (std::vector<std::string>{card.ChangeRecord("x", "one"), "end x", card.ChangeRecord("y", "2"), "end y",
                                      card.ChangeRecord("z", "three words"), "end z",
                                      "refresh [../../card/brix/etc/refreshparams.sh]",
                                      "streams /dev/null /dev/null /dev/null", "done"}));
  // The request process ended while the refresh still ran; the response
  // stream stayed open in the process that waited for it.
  EXPECT_GE(run.output_closed - run.exited, std::chrono::milliseconds(500));
}

// The page sends the browser away at once, and a server ends the request of
// a client that left: lighttpd with SIGTERM, others by closing the response.
// Once applying has begun, every change program still runs to its end, in
// order, and then the refresh; the stand-ins write to the response.
TEST(SetRequest, AnApplyRunsToItsEndWhenTheClientLeaves) {
  struct Leaving {
    const char* name;
    std::string leave_after;
    bool terminate;
    std::string logged;
  };
  for (const Leaving& c : {Leaving{"response closed before the page", "", false,
                                   "can't deliver the network settings page; applying the changes anyway\n"},
                           Leaving{"client gone after the page, request terminated", Marker("pageFooter.html"), true,
                                   ""}}) {
    SetCard card({{"x", "X", "7"}, {"y", "Y", "4"}, {"z", "Z", "7"}});
    const std::string log = card.sandbox().RecordLog().string();
    card.sandbox().InstallRecorder(card.ChangeProgram(), "change",
                                   "echo \"applying $1\" 2>/dev/null; sleep 0.2; echo \"end $1\" >> '" + log + "'");
    const CgiRun run = card.Post("oid-x=one&oid-y=2&oid-z=3", {.leave_after = c.leave_after,
                                                                .terminate_on_leave = c.terminate});
    EXPECT_EQ(run.exit_status, 0) << c.name << ": signal " << run.signal;
    EXPECT_EQ(card.sandbox().WaitForRecords(7, std::chrono::seconds(5)),
              (std::vector<std::string>{card.ChangeRecord("x", "one"), "end x", card.ChangeRecord("y", "2"), "end y",
                                        card.ChangeRecord("z", "3"), "end z",
                                        "refresh [../../card/brix/etc/refreshparams.sh]"}))
        << c.name;
    EXPECT_EQ(card.sandbox().ReadFile(card.sandbox().CardPath("/tmp/wwwError.txt")), c.logged) << c.name;
  }
}

// Appending, not operator+, keeps GCC 12 from a false -Wrestrict warning.
std::string Numbered(const char* prefix, int number) {
  std::string text(prefix);
  text.append(std::to_string(number));
  return text;
}

TEST(SetRequest, EveryAcceptedValueIsAppliedEvenBeyondTwenty) {
  std::vector<TestParam> params;
  std::string body;
  for (int i = 0; i < 30; ++i) {
    params.push_back({Numbered("n", i), "N", "4"});
    body.append(Numbered("oid-n", i)).append("=").append(std::to_string(100 + i)).append("&");
  }
  SetCard card(params);
  card.Post(body);
  std::vector<std::string> expected;
  for (int i = 0; i < 30; ++i) expected.push_back(card.ChangeRecord(Numbered("n", i), std::to_string(100 + i)));
  EXPECT_EQ(card.Changes(), expected);
}

TEST(SetRequest, AMissingChangeProgramDoesNotStopTheOthers) {
  SetCard card({{"a", "A", "7", "1", "", true, "", true, "/nonexistent/program"},
                {"b", "B", "7"},
                {"c", "C", "7", "1", "", true, "", false}});
  const CgiRun run = card.Post("oid-a=1&oid-b=2&oid-c=3");
  EXPECT_EQ(run.out, ForwardingPage(kTestHost));
  EXPECT_EQ(card.sandbox().Records(), (std::vector<std::string>{card.ChangeRecord("b", "2"),
                                                                "refresh [../../card/brix/etc/refreshparams.sh]"}));
  EXPECT_EQ(card.sandbox().ReadFile(card.sandbox().CardPath("/tmp/wwwError.txt")),
            "no program to apply parameter c\n");
}

TEST(SetRequest, ChangeProgramOutputFollowsThePage) {
  SetCard card({{"a", "A", "7"}});
  card.sandbox().InstallRecorder(card.ChangeProgram(), "change", "echo \"applied $1=$2\"");
  EXPECT_EQ(card.Post("oid-a=v").out, ForwardingPage(kTestHost) + "applied a=v\n");
}

// The descriptors a stand-in held when it ran ("N" or "N>target"), as listed
// by find, which it became; not those find opened itself (the list, the
// folder it lists, the working directory), nor the log that memcheck leaves
// open to the programs it runs.
std::string Descriptors(const Sandbox& sandbox, const std::string& label, bool numbers_only) {
  const std::filesystem::path list = sandbox.Root() / "records" / ("fds." + label);
  std::istringstream lines(sandbox.ReadFile(list));
  std::string listed;
  for (std::string number, target; lines >> number >> target;) {
    if (!target.starts_with("/proc/") && target != list && target != std::filesystem::canonical(sandbox.WorkDir()) &&
        target.find("/records/valgrind.") == std::string::npos)
      listed += number + (numbers_only ? " " : ">" + target + " ");
  }
  return listed;
}

// The program's own files (here the error log) reach no child, nor does
// HTTP_PROXY (a request's "Proxy:" header). The refresh holds nothing but
// its three streams, not even what the server left open to the program; the
// change programs get the request's descriptors as they came.
TEST(SetRequest, ChildrenInheritNoFileOfTheProgramAndNoProxy) {
  SetCard card({{"a", "A", "7"}});
  Sandbox& sandbox = card.sandbox();
  const auto refresh = sandbox.CardPath("/brix/etc/refreshparams.sh");
  // The stand-in becomes the lister, so that no descriptor of its shell is listed.
  const auto note = [&](const std::string& label) {
    return "echo \"" + label + " proxy ${HTTP_PROXY-none}\" >> '" + sandbox.RecordLog().string() +
           "'; exec find /proc/self/fd -mindepth 1 -fprintf '" + (sandbox.Root() / "records" / "fds.").string() +
           label + "' '%f %l\\n'";
  };
  sandbox.InstallRecorder(card.ChangeProgram(), "change", note("change"));
  sandbox.InstallRecorder(refresh, "refresh", note("refresh"));
  CgiEnvironment env = GetRequest("/set");
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_LENGTH", "7");
  SetVariable(env, "CONTENT_TYPE", "application/x-www-form-urlencoded");
  SetVariable(env, "HTTP_PROXY", "http://proxy.example:3128");
  RunCgi(sandbox, env, "oid-a=1", {.inherited_descriptor = 7});
  const auto records = sandbox.WaitForRecords(4, std::chrono::seconds(5));
  EXPECT_EQ(records, (std::vector<std::string>{card.ChangeRecord("a", "1"), "change proxy none",
                                                "refresh [../../card/brix/etc/refreshparams.sh]", "refresh proxy none"}));
  EXPECT_EQ(Descriptors(sandbox, "change", true), "0 1 2 7 ");
  EXPECT_EQ(Descriptors(sandbox, "refresh", false), "0>/dev/null 1>/dev/null 2>/dev/null ");
}

// A form posted from another site's page: nothing applied or run, a refusal.
TEST(SetRequest, FormsFromOtherSitesAreRefused) {
  const std::pair<std::string, bool> origins[] = {
      {"http://card.example", true},  {"https://card.example", true},    {"http://evil.example", false},
      {"null", false},                {"http://card.example:80", false}, {"HTTP://card.example", false},
      {"", false},                    {"http://card.example.evil.example", false}};
  for (const auto& [origin, own] : origins) {
    SetCard card({{"p", "Param", "7"}});
    CgiEnvironment env = GetRequest("/set");
    SetVariable(env, "REQUEST_METHOD", "POST");
    SetVariable(env, "CONTENT_LENGTH", "7");
    SetVariable(env, "CONTENT_TYPE", "application/x-www-form-urlencoded");
    SetVariable(env, "HTTP_ORIGIN", origin);
    const CgiRun run = RunCgi(card.sandbox(), env, "oid-p=x");
    const std::string log = card.sandbox().ReadFile(card.sandbox().CardPath("/tmp/wwwError.txt"));
    if (own) {
      EXPECT_EQ(run.out, ForwardingPage(kTestHost)) << origin;
      EXPECT_EQ(card.Changes(), std::vector<std::string>{card.ChangeRecord("p", "x")}) << origin;
      EXPECT_EQ(log, "") << origin;
      continue;
    }
    EXPECT_EQ(run.out, "Status: 403 Forbidden\r\n" + kHeader + Marker("pageHeader.html") +
                           Marker("generalHeader.html") +
                           "<p style=\"text-align: center\">The settings were not changed: the form was sent from a "
                           "page of another site.<br/><br/>Please use the card's own configuration page.</p>\n" +
                           Marker("pageFooter.html"))
        << origin;
    EXPECT_TRUE(card.sandbox().Records().empty()) << origin;
    EXPECT_EQ(log, "refused a set request from origin " + origin + " to host card.example\n");
  }
}

TEST(SetRequest, UnparseableRequestOrMissingDescriptorsWriteNothing) {
  SetCard card({{"a", "A", "7"}});
  CgiEnvironment env = GetRequest("/set");
  SetVariable(env, "REQUEST_METHOD", "POST");
  SetVariable(env, "CONTENT_LENGTH", "5");
  SetVariable(env, "CONTENT_TYPE", "text/plain");
  CgiRun run = RunCgi(card.sandbox(), env, "oid-a");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Unknown Encoding.\n");
  EXPECT_EQ(run.exit_status, 0);

  std::filesystem::remove(card.sandbox().CardPath("/brix/etc/param.xml"));
  run = card.Post("oid-a=1");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(card.sandbox().Records().empty());
}

// A copy built with an address-space limit of 16 MiB: a body too large for it
// ends the request on the allocator's message, before anything of the page is
// written (the browser gets the server's error for an empty response) and
// before any change. The same copy applies a form of ordinary size.
TEST(SetRequest, ABodyBeyondTheMemoryLimitEndsWithNothingWrittenOrApplied) {
#ifdef MEROVANE_SANITIZED
  GTEST_SKIP() << "a sanitizer build applies no address-space limit";
#endif
  if (std::getenv("MEROVANE_TEST_VALGRIND") != nullptr) GTEST_SKIP() << "valgrind needs more than the limit";
  SetCard card({{"a", "A", "7"}});
  const CgiRunOptions limited{.program = MEROVANE_LIMITED_PROGRAM};
  CgiRun run = card.Post("oid-a=" + std::string(32 << 20, 'v'), limited);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Memory exhausted.\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(card.sandbox().Records().empty());
  run = card.Post("oid-a=v", limited);
  EXPECT_EQ(run.out, ForwardingPage(kTestHost));
  EXPECT_EQ(card.Changes(), std::vector<std::string>{card.ChangeRecord("a", "v")});
}

}  // namespace
