// Snapshot of a frame: draw into the back buffer of a 600 x 600 GLUT window,
// read the pixels back and write them as an RGB PNG.
#include "render/snapshot.h"

#include <GL/freeglut.h>
#include <png.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/output_file.h"
#include "render/draw.h"
#include "render/window.h"

namespace {

int gWindow = 0;
bool gExposed = false;

bool WindowIs600() {
  return glutGet(GLUT_WINDOW_WIDTH) == rg::kWindowSize &&
         glutGet(GLUT_WINDOW_HEIGHT) == rg::kWindowSize;
}

void MarkExposed() { gExposed = true; }

// Creates the snapshot window once and waits until the server has mapped it.
bool EnsureWindow() {
  if (gWindow != 0) {
    glutSetWindow(gWindow);
    return true;
  }
  if (!glutGet(GLUT_INIT_STATE)) {
    int argc = 1;
    char name[] = "rollgrasp";
    char* argv[] = {name, nullptr};
    glutInitWindowSize(rg::kWindowSize, rg::kWindowSize);
    glutInit(&argc, argv);
  }
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glutInitWindowSize(rg::kWindowSize, rg::kWindowSize);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  gWindow = glutCreateWindow(rg::kWindowTitle);
  if (gWindow <= 0) return false;
  glutDisplayFunc(MarkExposed);
  glutReshapeFunc(rg::Reshape);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!gExposed && std::chrono::steady_clock::now() < deadline) glutMainLoopEvent();
  glutSetWindow(gWindow);
  // a window manager may have given the window another size: ask for 600 x 600 again
  if (!WindowIs600()) {
    glutReshapeWindow(rg::kWindowSize, rg::kWindowSize);
    const auto again = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!WindowIs600() && std::chrono::steady_clock::now() < again) glutMainLoopEvent();
  }
  return WindowIs600();
}

// The rows appended to the PNG bytes being built.
void AppendPNG(png_structp png, png_bytep data, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}
void FlushPNG(png_structp) {}

// An RGB picture as the bytes of a PNG file; only libpng's own objects live
// across its setjmp.
bool EncodePNG(int w, int h, const std::vector<unsigned char>& rgbTopDown, std::string* out) {
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, AppendPNG, FlushPNG);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(&rgbTopDown[static_cast<size_t>(y) * w * 3]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// The w x h pixels of the back buffer just drawn, as the bytes of a PNG file.
int BackBufferPNG(int w, int h, std::string* png) {
  glFinish();
  std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
  while (glGetError() != GL_NO_ERROR) {
  }
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  if (glGetError() != GL_NO_ERROR) {
    std::fprintf(stderr, "snapshot: cannot read the drawn pixels\n");
    return 1;
  }
  // GL rows run bottom-up, PNG rows top-down
  std::vector<unsigned char> rows(pixels.size());
  const size_t stride = static_cast<size_t>(w) * 3;
  for (int y = 0; y < h; ++y)
    std::memcpy(&rows[static_cast<size_t>(h - 1 - y) * stride],
                &pixels[static_cast<size_t>(y) * stride], stride);
  if (!EncodePNG(w, h, rows, png)) {
    std::fprintf(stderr, "snapshot: cannot encode the picture as PNG\n");
    return 1;
  }
  return 0;
}

}  // namespace

int RenderSnapshotPNG(const rg::Sim& s, const char* path) {
  return RenderSnapshotPNG(s, rg::WindowView{}, path);
}

int RenderSnapshotPNG(const rg::Sim& s, const rg::WindowView& v, const char* path) {
  if (path == nullptr || path[0] == '\0') {
    std::fprintf(stderr, "snapshot: no file name given\n");
    return 1;
  }
  // a path that cannot be written is refused before anything is drawn
  const std::string problem = rg::OutputTargetProblem(path);
  if (!problem.empty()) {
    std::fprintf(stderr, "snapshot: cannot write %s: %s\n", path, problem.c_str());
    return 1;
  }
  std::string png, why;
  if (RenderSnapshotPNGData(s, v, &png) != 0) return 1;
  if (!rg::WriteFileWhole(path, png, &why)) {
    std::fprintf(stderr, "snapshot: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

int RenderSnapshotPNGData(const rg::Sim& s, const rg::WindowView& v, std::string* png) {
  std::string why;
  if (!rg::DisplayAvailable(&why)) {
    std::fprintf(stderr,
                 "snapshot: %s; a snapshot needs an X display (run headless with xvfb-run -a)\n",
                 why.c_str());
    return 1;
  }
  if (!EnsureWindow()) {
    std::fprintf(stderr, "snapshot: cannot get a 600 x 600 drawing window\n");
    return 1;
  }
  const int w = rg::kWindowSize, h = rg::kWindowSize;
  rg::Reshape(w, h);
  rg::DrawFrame(s, v);
  return BackBufferPNG(w, h, png);
}

int WindowPNGData(const rg::Sim& s, const rg::WindowView& v, std::string* png) {
  // the window keeps its size and projection: the frame is drawn as it is shown
  const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
  if (w <= 0 || h <= 0) {
    std::fprintf(stderr, "snapshot: the window has no size\n");
    return 1;
  }
  rg::DrawFrame(s, v);
  return BackBufferPNG(w, h, png);
}
