// The batch driver's option parsing judged on one command line: a refusal is one
// line without control characters; an accepted run has every value within its
// range and means the same when its options are written out again in one
// canonical form and parsed once more. Used by the option fuzzer and by the
// regression tests of its inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rgfuzz {

// data: the arguments after the program name, each ended by a zero byte (the
// last one may be unended); at most kMaxArgs are taken. Empty when the parse
// keeps its promises, else the first broken one.
constexpr int kMaxArgs = 64;
std::string CheckBatchArgs(const uint8_t* data, size_t size);

}  // namespace rgfuzz
