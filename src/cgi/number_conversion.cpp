#include "cgi/number_conversion.hpp"

#include <cerrno>
#include <cstdlib>
#include <limits>

bool CgiConvertLong32(const char* text, std::int32_t& value) {
  errno = 0;
  const long number = std::strtol(text, nullptr, 10);
  if (errno == ERANGE || number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  value = static_cast<std::int32_t>(number);
  return true;
}

bool CgiConvertDouble(const char* text, double& value) {
  errno = 0;
  const double number = std::strtod(text, nullptr);
  if (errno == ERANGE) {
    return false;
  }
  value = number;
  return true;
}
