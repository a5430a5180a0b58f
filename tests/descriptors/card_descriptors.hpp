#pragma once
// The descriptor files of a test's card: menu "0" and param.xml records.
#include <string>
#include <vector>

namespace testing_support {

// Menu "0", its header on line 1, then one oid line for each of `oids`.
inline std::string Menu(const std::vector<std::string>& oids) {
  std::string menu = "<menu><mid>0</mid>\n";
  for (const std::string& oid : oids) menu += "<oid>" + oid + "</oid>\n";
  return menu + "</menu>\n";
}

// A record of `oid`: `fields`, then each field the program reads that `fields` does not hold, but
// for the one named `left_out`, with a good default: a writable text whose value file and change
// program lie in the card, as the program in the sandbox's www/cgi-bin reaches them.
inline std::string Rec(const std::string& oid, const std::string& fields = "",
                       const std::string& left_out = "") {
  std::string line = "<param><oid>" + oid + "</oid>" + fields;
  for (const auto& [tag, value] : {std::pair<std::string, std::string>{"name", "N"},
                                   {"type", "7"},
                                   {"access", "1"},
                                   {"file", "../../card/brix/conf/v"},
                                   {"prog", "../../card/brix/bin/set"}}) {
    if (tag != left_out && fields.find("<" + tag + ">") == std::string::npos)
      line += "<" + tag + ">" + value + "</" + tag + ">";
  }
  return line + "</param>\n";
}

}  // namespace testing_support
