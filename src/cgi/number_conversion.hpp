#pragma once

#include <cstdint>

// strtol/strtod reading of a NUL-terminated text: leading white space and a
// sign are taken, reading stops at the first character that does not fit,
// text without a number reads 0. Both return false on a range error.

// 32 bits on every platform: a number outside the int32_t range is a range
// error also where long is wider.
bool CgiConvertLong32(const char* text, std::int32_t& value);
bool CgiConvertDouble(const char* text, double& value);
