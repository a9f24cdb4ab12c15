// The folder of the running program, where its loadable modules (the planner, the
// drawing module) and the replay viewer's files are looked for first.
#pragma once

#include <string>

namespace rg {

// The folder that holds the running program's file (read from /proc/self/exe, no
// trailing slash), or "" when it cannot be read, with *why saying why.
std::string ProgramDir(std::string* why = nullptr);

}  // namespace rg
