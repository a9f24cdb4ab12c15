// The tests' shared toolkit: a started simulation, keys typed as a user types them,
// the console text, files read whole, and the paths of the built programs and of
// the source tree.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/state.h"

namespace rgtest {

// The text a simulation's console keeps from now on (a started simulation keeps
// all its console text; see StartedSim).
class Capture {
 public:
  explicit Capture(rg::Sim& s) : s_(s) { s_.con.ClearText(); }
  const std::string& text() const { return s_.con.text(); }
  void clear() { s_.con.ClearText(); }

 private:
  rg::Sim& s_;
};

// A simulation after the start-up sequence whose console keeps its text and
// answers every wait at once.
std::unique_ptr<rg::Sim> StartedSim();

// Types the keys into s one at a time, as the window hands them on. After each key,
// `after` (when given) is called with the key's index and stops the typing by
// returning false. The typing also stops after a key that ends the program (Escape
// in mode 'I'); true when one did.
bool Press(rg::Sim& s, const std::string& keys,
           const std::function<bool(std::size_t)>& after = nullptr);

// The whole content of a file, byte for byte ("" when it cannot be read).
std::string ReadText(const std::filesystem::path& file);

// A program or module of this build (in RG_BUILD_DIR), and a file of the source
// tree (RG_SOURCE_DIR), by their relative paths.
std::string BuildPath(const std::string& name);
std::filesystem::path SourcePath(const std::string& name);

}  // namespace rgtest

// A caller's bug inside internal code (an index out of range) stops the program at
// an assert. The test builds keep asserts on (CMakeLists.txt); a build without them
// cannot check this and fails the test.
#ifdef NDEBUG
#define RG_EXPECT_ASSERT(statement) \
  if (false) {                       \
    statement;                       \
  } else                             \
    ADD_FAILURE() << "asserts are off (NDEBUG) in this build"
#else
#define RG_EXPECT_ASSERT(statement) EXPECT_DEATH(statement, "Assertion")
#endif
