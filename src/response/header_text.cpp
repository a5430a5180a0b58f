#include "response/header_text.hpp"

std::string HeaderSafe(const char* value) {
  std::string safe;
  if (value == nullptr) {
    return safe;
  }
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c != '\r' && *c != '\n') {
      safe.push_back(*c);
    }
  }
  return safe;
}
