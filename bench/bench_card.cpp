#include "bench/bench_card.hpp"

#include <sys/stat.h>

#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace bench_card {
namespace fs = std::filesystem;

namespace {

struct Param {
  std::string_view oid;
  std::string_view name;
  std::string_view type;
  std::string_view value;
  std::string_view extra;  // further elements of the record line
};

// Twenty parameters as a card's menu holds them: addresses, choices as
// radio buttons and drop-down lists, ranges (no input), free texts and
// read-only values. The order is the menu's and the descriptor file's.
const std::vector<Param>& Params() {
  static const std::vector<Param> params = {
      {"frame_ip.conf", "IP Address", "9", "192.168.1.20", "<access>1</access>"},
      {"frame_mask.conf", "Subnet Mask", "9", "255.255.255.0", "<access>1</access>"},
      {"use_dhcp.conf", "DHCP", "8", "0",
       "<access>1</access><option>Off</option><option>On</option>"},
      {"card_name.conf", "Card Name", "7", "Merovane-01", "<access>1</access>"},
      {"location.conf", "Location", "7", "Rack 3 / Slot 7", "<access>1</access>"},
      {"contact.conf", "Contact", "7", "NOC <noc@example.net>", "<access>1</access>"},
      {"snmp_port.conf", "SNMP Port", "4", "161", "<access>1</access>"},
      {"community.conf", "Community", "7", "public", "<access>1</access>"},
      {"gain.conf", "Gain (dB)", "6", "1.5", "<access>1</access>"},
      {"level.conf", "Output Level", "4", "-6", "<access>1</access><min>-20</min><max>10</max>"},
      {"offset.conf", "Offset", "6", "0.25",
       "<access>1</access><min>-1.0</min><max>1.0</max><precision>2</precision>"},
      {"mode.conf", "Mode", "8", "0",
       "<access>1</access><option>Automatic</option><index>0</index><option>Manual</"
       "option><index>1</index>"
       "<option>Standby</option><index>2</index><option>Test &amp; "
       "Bypass</option><index>3</index>"},
      {"baud.conf", "Baud Rate", "4", "9600",
       "<access>1</access><option>1200</option><index>1200</index><option>2400</"
       "option><index>2400</index>"
       "<option>4800</option><index>4800</index><option>9600</option><index>9600</index>"
       "<option>19200</option><index>19200</index>"},
      {"alarm.conf", "Alarm Relay", "8", "1",
       "<access>1</access><display>2</display><option>Disabled</option><option>Enabled</option>"},
      {"serial.conf", "Serial Number", "5", "MV-2024-000731", "<access>0</access>"},
      {"firmware.conf", "Firmware", "5", "3.4.1 (build 2211)", "<access>0</access>"},
      {"timezone.conf", "Time Zone", "8", "3",
       "<access>1</access><option>UTC-08</option><option>UTC-05</option><option>UTC</option>"
       "<option>UTC+01</option><option>UTC+02</option><option>UTC+09</option>"},
      {"refresh.conf", "Refresh (s)", "4", "30", "<access>1</access><min>5</min><max>3600</max>"},
      {"redundancy.conf", "Redundancy", "8", "1",
       "<access>1</access><option>Single</option><option>Dual</option>"},
      {"uptime.conf", "Uptime", "12", "12 days, 04:17", "<access>0</access>"},
  };
  return params;
}

void WriteFile(const fs::path& path, std::string_view content, unsigned mode = 0644) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
  ::chmod(path.c_str(), mode);
}

void MakeDir(const fs::path& path, unsigned mode) {
  fs::create_directories(path);
  ::chmod(path.c_str(), mode);
}

// Fragments of a card's page, of the size and shape of the real ones: the
// header carries the style, the scripts the form relies on and the menu.
std::string PageHeader() {
  std::string html =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
      "<title>Merovane Controller Card</title>\n"
      "<link rel=\"stylesheet\" type=\"text/css\" href=\"/style/card.css\">\n"
      "<script language=\"javascript\" src=\"/scripts/validate.js\"></script>\n"
      "<script language=\"javascript\">\n"
      "function allowOnly(chars, e) {\n  var key = e.keyCode ? e.keyCode : e.which;\n"
      "  if (key < 32) return true;\n  return chars.indexOf(String.fromCharCode(key)) >= 0;\n}\n"
      "function writeMessageDiv(id) {\n  document.write('<div class=\"errorText\" id=\"msg-' + id "
      "+ '\"></div>');\n}\n"
      "function validateIP(id, required) {\n  var ok = true;\n  for (var i = 0; i < 4; i++) {\n"
      "    var box = document.getElementById(i + id);\n    if (!box) break;\n"
      "    var n = parseInt(box.value, 10);\n    if ((required || box.value != '') && (isNaN(n) || "
      "n < 0 || n > 255)) ok = "
      "false;\n  }\n  document.getElementById('msg-' + id).innerHTML = ok ? '' : 'Invalid "
      "address';\n  return ok;\n}\n"
      "</script>\n</head>\n<body>\n<table class=\"frame\" width=\"100%\" cellspacing=\"0\" "
      "cellpadding=\"0\">\n"
      "<tr><td class=\"banner\"><img src=\"/pics/logo.gif\" alt=\"Merovane\" width=\"180\" "
      "height=\"48\"></td>\n"
      "<td class=\"bannerText\">Controller Card</td></tr>\n</table>\n<table class=\"menu\" "
      "width=\"100%\">\n<tr>\n";
  for (std::string_view item :
       {"Status", "Card Control", "Network", "SNMP", "Alarms", "Upload", "Account", "Logout"}) {
    html += "<td class=\"menuItem\"><a href=\"/cgi-bin/Merovane/cardcontrol\" class=\"menuLink\">";
    html += item;
    html += "</a></td>\n";
  }
  html += "</tr>\n</table>\n<div class=\"content\">\n";
  return html;
}

std::string StaticText() {
  std::string html = "<h2 class=\"pageTitle\">Card Control</h2>\n<table class=\"info\">\n";
  for (std::string_view row :
       {"Model", "Frame slot", "Hardware revision", "Software", "Serial number", "Uptime"}) {
    html += "<tr><td class=\"infoLabel\">";
    html += row;
    html += "</td><td class=\"infoValue\"><span id=\"info-";
    html += row.substr(0, 4);
    html += "\">-</span></td></tr>\n";
  }
  html +=
      "</table>\n<p class=\"hint\">Choose a page from the menu above to view or change the card's "
      "settings. "
      "Changes to the network settings take effect at once; the browser is sent on to the card's "
      "new "
      "address.</p>\n";
  return html;
}

constexpr std::string_view kPageFooter =
    "</div>\n<table class=\"footer\" width=\"100%\"><tr><td class=\"footerText\">Merovane "
    "Controller Card"
    " &middot; Web Interface</td></tr></table>\n</body>\n</html>\n";
constexpr std::string_view kGeneralHeader = "<h2 class=\"pageTitle\">Network Settings</h2>\n";
constexpr std::string_view kConfigHeader =
    "<h2 class=\"pageTitle\">Card Configuration</h2>\n"
    "<form name=\"config\" method=\"post\" action=\"/cgi-bin/Merovane/set\">\n"
    "<table class=\"formTable\" cellspacing=\"2\" cellpadding=\"2\">\n";
constexpr std::string_view kConfigFooter =
    "<tr><td colspan=\"2\" class=\"formButtons\"><input type=\"submit\" class=\"formButton\" "
    "value=\"Apply\"/>"
    "&nbsp;<input type=\"reset\" class=\"formButton\" "
    "value=\"Reset\"/></td></tr>\n</table>\n</form>\n";

constexpr std::string_view kDoNothing = "#!/bin/sh\nexit 0\n";

}  // namespace

void WriteCard(const fs::path& root) {
  MakeDir(root, 0755);
  MakeDir(root / "card" / "brix" / "etc", 0755);
  MakeDir(root / "card" / "sbin", 0755);
  MakeDir(root / "card" / "tmp", 01777);
  MakeDir(root / "values", 0755);
  MakeDir(root / "bin", 0755);
  MakeDir(root / "www" / "includes", 0755);
  MakeDir(root / "www" / "cgi-bin", 0755);

  std::string param_xml;
  std::string menu = "<menus>\n<menu><mid>0</mid>\n";
  for (const Param& param : Params()) {
    const std::string oid(param.oid);
    // Relative to the program's working directory, like the card root.
    const std::string value_file = "../../values/" + oid;
    WriteFile(root / "values" / oid, oid + "=" + std::string(param.value) + "\n");
    param_xml += "<param><oid>" + oid + "</oid><name>" + std::string(param.name) + "</name><type>" +
                 std::string(param.type) + "</type><file>" + value_file +
                 "</file><prog>../../bin/change</prog>" + std::string(param.extra) + "</param>\n";
    menu += "<oid>" + oid + "</oid>\n";
  }
  menu += "</menu>\n</menus>\n";
  WriteFile(root / "card" / "brix" / "etc" / "param.xml", param_xml);
  WriteFile(root / "card" / "brix" / "etc" / "control_menu.xml", menu);
  WriteFile(root / "card" / "brix" / "etc" / "refreshparams.sh", kDoNothing, 0755);
  WriteFile(root / "card" / "sbin" / "reboot", kDoNothing, 0755);
  WriteFile(root / "bin" / "change", kDoNothing, 0755);

  const fs::path includes = root / "www" / "includes";
  WriteFile(includes / "pageHeader.html", PageHeader());
  WriteFile(includes / "staticPage.html", StaticText());
  WriteFile(includes / "pageFooter.html", kPageFooter);
  WriteFile(includes / "generalHeader.html", kGeneralHeader);
  WriteFile(includes / "configHeader.html", kConfigHeader);
  WriteFile(includes / "configFooter.html", kConfigFooter);
}

std::string FormBody(bool rejected) {
  // The fields in the order a browser sends the form's inputs.
  const std::string port = rejected ? "16a" : "161";
  return "0oid-frame_ip.conf=192&1oid-frame_ip.conf=168&2oid-frame_ip.conf=1&3oid-frame_ip.conf=20"
         "&0oid-frame_mask.conf=255&1oid-frame_mask.conf=255&2oid-frame_mask.conf=255&3oid-frame_"
         "mask.conf=0"
         "&oid-use_dhcp.conf=0&oid-card_name.conf=Merovane-01&oid-location.conf=Rack+3+%2F+Slot+7"
         "&oid-contact.conf=NOC+%3Cnoc%40example.net%3E&oid-snmp_port.conf=" +
         port +
         "&oid-community.conf=public&oid-gain.conf=1.5&oid-mode.conf=0&oid-baud.conf=9600"
         "&oid-alarm.conf=1&oid-timezone.conf=3&oid-redundancy.conf=1";
}

}  // namespace bench_card
