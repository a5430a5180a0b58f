#include "cgi/form_entry.hpp"

#include "cgi/url_encoded.hpp"

std::string FormEntry::Value(std::size_t limit) const {
  if (url_encoded) {
    return CgiUrlDecode(raw_value, limit);
  }
  return std::string(raw_value.substr(0, limit));
}
