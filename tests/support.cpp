#include "support.h"

#include <fstream>
#include <iterator>

#include "app/keyboard.h"
#include "app/startup.h"

namespace rgtest {

std::unique_ptr<rg::Sim> StartedSim() {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  return s;
}

bool Press(rg::Sim& s, const std::string& keys, const std::function<bool(std::size_t)>& after) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const bool quit = rg::keyboard(s, static_cast<unsigned char>(keys[i]), 0, 0);
    if (after && !after(i)) return quit;
    if (quit) return true;
  }
  return false;
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string BuildPath(const std::string& name) { return std::string(RG_BUILD_DIR) + "/" + name; }

std::filesystem::path SourcePath(const std::string& name) {
  return std::filesystem::path(RG_SOURCE_DIR) / name;
}

}  // namespace rgtest
