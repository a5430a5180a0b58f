#pragma once

#include <string_view>

// Whether `text` begins with `prefix`, letters compared without regard to
// case (ASCII only: request methods, media types and header names).
inline bool CgiStartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::string_view::size_type i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(text[i]) != lower(prefix[i])) {
      return false;
    }
  }
  return true;
}
