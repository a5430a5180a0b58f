// Whole requests far beyond normal sizes each end in time with their answer, changes and refresh.
#include <gtest/gtest.h>

#include "e2e/harness/cgi_run.hpp"
#include "e2e/harness/pages.hpp"

namespace {
using namespace testing_support;

const std::string kValidBody = "oid-frame_ip.conf=10.0.0.9&oid-count=5&oid-label=new";
const std::string kMultipart = "multipart/form-data; boundary=----hostile7MA4YWxkTrZu0gW";
const std::string kDelimiter = "------hostile7MA4YWxkTrZu0gW\r\nContent-Disposition: form-data;";
const std::string kApplied = NetworkSettingsPage("http://10.0.0.9");

// `count` times `before`, the number (when `after` is given), `after`.
std::string Numbered(std::size_t count, const std::string& before, const std::string& after = "") {
  std::string out;
  for (std::size_t i = 0; i < count; ++i)
    out.append(before).append(after.empty() ? "" : std::to_string(i)).append(after);
  return out;
}
// The valid form as multipart, after the text of earlier parts.
std::string Multipart(std::string body) {
  for (const std::string field :
       {"oid-frame_ip.conf\"\r\n\r\n10.0.0.9", "oid-count\"\r\n\r\n5", "oid-label\"\r\n\r\nnew"})
    body += kDelimiter + " name=\"" + field + "\r\n";
  return body + "------hostile7MA4YWxkTrZu0gW--\r\n";
}

TEST(HostileInput, EachEndsInTimeWithItsDesignedAnswer) {
  const std::string kib64(64 << 10, 'e'), mib(1 << 20, 'x'), mib10(10 << 20, 'x'), x49(49, 'x');
  std::string variables64 = "CONTENT_TYPE=application/x-www-form-urlencoded;" + kib64;
  for (const char* v : {"HTTP_HOST", "QUERY_STRING", "HTTP_COOKIE", "HTTP_REFERER", "SERVER_NAME"})
    variables64.append(" ").append(v).append("=").append(kib64);
  const struct {
    const char* name;
    std::string variables;  // of a POST to "/set"; multipart when the body begins so
    std::string body, answer = kApplied, label = "new";  // the applied label
  } cases[] = {
      {"BodyFarOverContentLength", "CONTENT_LENGTH=10", kValidBody + "&" + mib,
       NetworkSettingsPage(kTestHostUrl)},
      {"TenMebibyteLine", "", "oid-label=" + mib10 + "&" + kValidBody, kApplied, x49},
      {"HundredThousandFields", "", Numbered(100000, "f", "=1&") + kValidBody},
      {"HundredThousandFieldsOfOneName", "", kValidBody + Numbered(100000, "&oid-count=1")},
      {"VariablesOf64KiB", variables64, kValidBody},
      {"MethodOf64KiB", "REQUEST_METHOD=POST" + kib64, kValidBody, kNoPageSelectedPage},
      {"MultipartTenMebibyteLine", "",
       Multipart(kDelimiter + " name=\"oid-label\"\r\n\r\n" + mib10 + "\r\n"), kApplied, x49},
      {"MultipartHundredThousandParts", "",
       Multipart(Numbered(100000, kDelimiter + " name=\"f", "\"\r\n\r\n1\r\n"))},
      {"MultipartHeaderLineOfTwoMebibytesOfWords", "",
       Multipart(kDelimiter + Numbered(1 << 20, " w") + " name=\"oid-label\"\r\n\r\nwords\r\n"),
       kApplied, "words"},
      {"StatusPageQueryOf64KiB", "PATH_INFO=/uploadstatus QUERY_STRING=" + kib64, "",
       kStatusRunningPage},
      {"PathAndScriptNameOf64KiB",
       "PATH_INFO=" + std::string(64 << 10, '/') + " SCRIPT_NAME=" + kib64, "",
       Redirect("http://card.example" + kib64)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetCard card({{"frame_ip.conf", "IP", "7"}, {"count", "Count", "4"}, {"label", "Label", "7"}});
    card.WriteFile(card.CardPath("/tmp/progress"),  // a running update: 3 of its 4 KiB count
                   std::string("\x01\x00\x32", 3).append(4093, '\xff'));
    const CgiEnvironment env =
        With(c.body.starts_with(kDelimiter) ? PostRequest("/set", c.body, kMultipart)
                                            : PostRequest("/set", c.body),
             c.variables);
    const CgiRun run = RunCgi(card, env, c.body, {.timeout = std::chrono::seconds(120)});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.out, c.answer);
    const std::vector<std::string> runs = card.Runs(
        (c.answer == kApplied ? "frame_ip.conf=10.0.0.9 count=5 label=" + c.label + " " : "") +
        (c.answer.find(kSettingNote) != std::string::npos ? "refresh" : ""));
    EXPECT_EQ(card.Records(runs.size(), kPatience), runs);
  }
}

}  // namespace
