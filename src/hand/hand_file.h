// Hands from URDF description files (docs/hands.md): a palm link with a cylinder
// collision shape as the root, and on it two to five fingers, each a fixed mount
// joint, four revolute joints about their frames' z axes (the last two carrying a
// cylinder link each) and a fixed joint to a ball tip. What the family cannot
// express is refused with one line naming the element and its line in the file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/model.h"

namespace rg {

struct HandFileResult {
  std::shared_ptr<const Model> model;  // null when refused
  std::string error;                   // "FILE:LINE: element 'name': why", one line
};

// The bounds of a description file: its size in bytes (a five-finger hand takes
// about 13 kB) and how deep its elements nest (a hand file needs 5 levels). Both
// are checked in one pass before any parser, which would recurse once per level.
constexpr std::size_t kMaxHandFileBytes = 256 * 1024;
constexpr int kMaxHandFileDepth = 32;

// Reads and checks the description file at path: at most kMaxHandFileBytes + 1
// bytes are read, so an endless device or pipe is refused as too large.
HandFileResult LoadHandFile(const std::string& path);
// The same for a description already in memory; where names it in the messages.
HandFileResult ParseHandDescription(const std::string& xml, const std::string& where);

}  // namespace rg
