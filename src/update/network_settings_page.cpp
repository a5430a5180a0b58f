#include "update/network_settings_page.hpp"

#include <cctype>

#include "response/html_escape.hpp"
#include "response/page_framing.hpp"
#include "response/response_output.hpp"

std::string ScriptStringEscaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '.' || c == ':' || c == '-' || c == '_' || c == '[' ||
        c == ']') {
      escaped.push_back(c);
    } else {
      escaped += "\\x";
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0xf]);
    }
  }
  return escaped;
}

void WriteNetworkSettingsPage(const SetState& state, std::string_view scheme,
                              std::string_view fallback_host) {
  MenuPageHead();
  response::Write("<p align=\"center\">Setting network configuration...</p>");
  if (state.dhcp != 0) {
    response::Write(
        "<p align=\"center\"><strong>WARNING:</strong> Page does not forward automatically when "
        "DHCP is used.</p>");
  } else {
    const std::string_view address = state.new_address.empty() ? fallback_host : state.new_address;
    const std::string prefix = address.empty() ? "/" : std::string(scheme) + "://";
    response::Printf(
        "\n<script language=\"javascript\">\n\tdocument.location.href = '%s%s';\n</script>\n",
        prefix.c_str(), ScriptStringEscaped(address).c_str());
    response::Printf(
        "<p align=\"center\">If the page does not automatcially forward, please <a "
        "href=\"%s%s\">click here</a>.</p>",
        prefix.c_str(), HtmlEscaped(address).c_str());
  }
  IncludeFile(kPageFooterInclude);
}
