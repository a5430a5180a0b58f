#pragma once
// Every page and feed record of the program, spelt once, built from the sandbox's fragments (each
// its own marker).
#include <string>

namespace testing_support {
using Text = const std::string&;

inline constexpr const char* kIncludes[] = {"pageHeader.html",   "staticPage.html",
                                            "pageFooter.html",   "generalHeader.html",
                                            "configHeader.html", "configFooter.html"};
inline std::string Marker(Text include) { return "<!--" + include + "-->\n"; }

inline const std::string kHtmlHeader =
    "Content-type: text/html\r\nExpires: Tue, 01 Jan 1996 00:00:00 GMT\r\nCache-Control: "
    "no-cache\r\nPragma: no-cache\r\n\r\n";
inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kHead = kHtmlHeader + Marker("pageHeader.html"),
                         kFoot = Marker("pageFooter.html");
inline const std::string kStaticPage = kHead + Marker("staticPage.html") + kFoot;
inline std::string Redirect(Text location) { return "Location: " + location + "\r\n\r\n"; }
inline std::string GeneralPage(Text body) {
  return kHead + Marker("generalHeader.html") + body + kFoot;
}
inline std::string CenteredNote(Text text) {
  return "<p style=\"text-align: center\">" + text + "</p>\n";
}

// "/set"
inline const std::string kNoPageSelectedPage = GeneralPage(CenteredNote(
    "You have not selected a page.<br/><br/>Please choose from one of the above menu options."));
inline std::string Refusal(Text status, Text why, Text then = "Please send it again.") {
  return "Status: " + status + "\r\n" +
         GeneralPage(CenteredNote("The settings were not changed: " + why + ".<br/><br/>" + then));
}
inline const std::string kCrossSiteRefusal =
    Refusal("403 Forbidden", "the form was sent from a page of another site",
            "Please use the card's own configuration page.");
inline const std::string kIncompleteFormRefusal =
    Refusal("400 Bad Request", "the form arrived incomplete");
inline const std::string kLengthRequiredRefusal =
    Refusal("411 Length Required", "the request did not say the length of the form");
inline const std::string kSettingNote = "<p align=\"center\">Setting network configuration...</p>";
// The new address as the script's string holds it, and as the link's attribute.
inline std::string NetworkSettingsPage(Text url, Text in_link = "") {
  return GeneralPage(kSettingNote +
                     "\n<script language=\"javascript\">\n\tdocument.location.href = '" + url +
                     "';\n</script>\n<p align=\"center\">If the page does not automatcially "
                     "forward, please <a href=\"" +
                     (in_link.empty() ? url : in_link) + "\">click here</a>.</p>");
}
inline const std::string kDhcpWarningPage =
    GeneralPage(kSettingNote +
                "<p align=\"center\"><strong>WARNING:</strong> Page does not forward "
                "automatically when DHCP is used.</p>");
inline std::string ErrorLine(Text shown, Text name) {
  return "<div class=\"errorText\">Invalid value \"" + shown + "\" for parameter: " + name +
         "</div>\r\n";
}
// A row of the parameter form, and the text box of a writable value.
inline std::string FormRow(Text name, Text cell) {
  return "<tr><td valign=\"top\" class=\"formLabel\">" + name + ":</td><td valign=\"top\">" + cell +
         "</td></tr>\r\n";
}
inline std::string TextBox(Text oid, Text value) {
  return "<input class=\"formInput\" type=\"textbox\" id=\"oid-" + oid + "\" name=\"oid-" + oid +
         "\" maxlength=\"49\" value=\"" + value + "\"/>\n\n";
}
inline std::string ErrorPage(Text error_lines, Text form_rows) {
  return kHead + Marker("configHeader.html") + "<tr><td colspan=\"2\">\r\n" + error_lines +
         "</td></tr>" + form_rows + Marker("configFooter.html") + kFoot;
}

// The update status page and the progress feed
inline const std::string kDoneBar =
    "<div class=\"progressbar\"><img src=\"/pics/progressbar-done.gif\"/></div>";
inline const std::string kStatusRunningPage = GeneralPage(
    "<meta http-equiv=\"refresh\" content=\"2\"/><div class=\"progressbar\"><img "
    "src=\"/pics/progressbar.gif\"/></div>"
    "<div class=\"progressbar-message\">Update in progress</div>");
inline const std::string kRebootForm =
    "<form action=\"/cgi-bin/Merovane/reboot\" method=\"post\"><center>\n<div style=\"width: "
    "400px; text-align: center;\">You will need to reboot the frame for the changes to take "
    "effect.<br/><br/>\n"
    "<input style=\"width: 100%;\" type=\"submit\" name=\"submitbutton\" value=\"Reboot\"/></div>"
    "</center>\n</form>\n";
inline std::string StatusCompletePage(bool reboot_form) {
  return GeneralPage(kDoneBar + "<div class=\"progressbar-message\">Upload Complete</div>" +
                     (reboot_form ? kRebootForm : ""));
}
inline std::string StatusErrorPage(Text message) {
  return GeneralPage(
      kDoneBar + "<div class=\"progressbar-message\">Error:&nbsp;&nbsp;<span class=\"errorText\">" +
      message + "</span></div>");
}
inline std::string FeedRunning(Text percentage) {
  return kTextHeader + "0</>stop=0</>percentage=" + percentage + "\r\n";
}
inline std::string FeedFailed(Text message, Text percentage) {
  return kTextHeader + "0</>stop=1</>msg=" + message + "</>percentage=" + percentage + "\r\n";
}
inline std::string FeedComplete(bool ppc) {
  if (!ppc) return FeedFailed("Upload complete", "100");
  return kTextHeader +
         "0</>stop=1</>msg=Upload complete.<br>You should reboot the controller for the change to "
         "take effect.<br></>percentage=100\r\n<form action=\"/cgi-bin/Merovane/reboot\" "
         "method=\"GET\"><input type=\"submit\" value=\"Reboot\"></form>\r\n";
}
inline const std::string kFeedUnknown = kTextHeader + "5";

// "/reboot"
inline std::string RebootingPage(Text refresh_url) {
  return "Content-type: text/html\r\nRefresh: 30; " + refresh_url + "\r\n" + kHead.substr(25) +
         "<div class=\"headerBox\"></div><div align=\"center\"><h1>Card is rebooting</h1><p>Please "
         "wait 30 seconds</p></div>" +
         kFoot;
}

}  // namespace testing_support
