#include "batch/render_loader.h"

#include <dlfcn.h>

#include "core/program_dir.h"
#include "render/module.h"

namespace rgbatch {

bool LoadRenderer(Renderer* out, std::string* why) {
  // beside the program itself, wherever it was started from
  std::string problem;
  const std::string self = rg::ProgramDir(&problem);
  if (self.empty()) {
    *why = "cannot find the program's own folder: " + problem;
    return false;
  }
  const std::string file = self + "/" + RG_RENDER_MODULE_FILE;
  void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* err = dlerror();
    *why = std::string("cannot load the drawing module: ") + (err ? err : file.c_str());
    return false;
  }
  // the module stays loaded until the program ends
  out->displayAvailable = reinterpret_cast<int (*)(char*, std::size_t)>(
      dlsym(lib, "rg_render_display_available"));
  out->snapshotPng =
      reinterpret_cast<int (*)(const rg::Sim*, const rg::WindowView*, const char*)>(
      dlsym(lib, "rg_render_snapshot_png"));
  out->snapshotPngData =
      reinterpret_cast<int (*)(const rg::Sim*, const rg::WindowView*, std::string*)>(
      dlsym(lib, "rg_render_snapshot_png_data"));
  if (out->displayAvailable == nullptr || out->snapshotPng == nullptr ||
      out->snapshotPngData == nullptr) {
    *why = "the drawing module " + file + " lacks its entry points";
    return false;
  }
  return true;
}

}  // namespace rgbatch
