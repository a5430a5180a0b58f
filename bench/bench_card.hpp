#pragma once

#include <filesystem>
#include <string>

// A realistic card for benchmarks: twenty parameters of every widget kind in
// menu "0", page fragments of a real page's size, and stand-ins for every
// program the request may start. Laid out under `root` like a card whose
// program runs in root/www/cgi-bin with the card root "../../card":
//   card/brix/etc/   control_menu.xml, param.xml, refreshparams.sh (does nothing)
//   card/sbin/reboot (does nothing), card/tmp/ (the error log)
//   values/          the parameters' value files
//   www/includes/    the page fragments
//   www/cgi-bin/     the working directory
// Everything is readable (and card/tmp writable) by every user, so the
// program may run as its web user 1006 when started by root.
namespace bench_card {

void WriteCard(const std::filesystem::path& root);

// The URL-encoded form a browser submits for the card's menu: twenty
// parameters in twenty-two fields, with escapes and "+" for spaces. With
// `rejected`, the SNMP port holds a letter, so the request answers with the
// error page and the form; otherwise every value is acceptable.
std::string FormBody(bool rejected);

}  // namespace bench_card
