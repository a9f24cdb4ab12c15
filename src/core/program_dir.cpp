#include "core/program_dir.h"

#include <filesystem>
#include <system_error>

namespace rg {

std::string ProgramDir(std::string* why) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !self.has_parent_path()) {
    if (why != nullptr) why->assign(ec ? ec.message() : "no folder in " + self.string());
    return "";
  }
  return self.parent_path().string();
}

}  // namespace rg
