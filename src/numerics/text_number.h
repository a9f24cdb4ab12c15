// Numbers read from text given by a user (options, keyword arguments): the whole
// text must be one finite number, with nothing before or after it.
#pragma once

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace rg {

// A finite double written as the whole of text (no blanks around it, no
// overflow); false and *out untouched otherwise.
inline bool ParseFiniteNumber(const std::string& text, double* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

}  // namespace rg
