// The drawing code's entry points with C linkage, for loading with dlopen.
#include "render/module.h"

#include <cstdio>
#include <string>

#include "render/snapshot.h"
#include "render/window.h"

extern "C" {

int rg_render_display_available(char* why, std::size_t n) {
  std::string reason;
  const bool ok = rg::DisplayAvailable(&reason);
  if (why != nullptr && n > 0) std::snprintf(why, n, "%s", reason.c_str());
  return ok ? 1 : 0;
}

int rg_render_snapshot_png(const rg::Sim* s, const rg::WindowView* v, const char* path) {
  return RenderSnapshotPNG(*s, v != nullptr ? *v : rg::WindowView{}, path);
}

int rg_render_snapshot_png_data(const rg::Sim* s, const rg::WindowView* v, std::string* png) {
  return RenderSnapshotPNGData(*s, v != nullptr ? *v : rg::WindowView{}, png);
}

}  // extern "C"
