// Window text as a few large bitmaps; see text_blocks.h.
//
// Where a character lands: glBitmap puts the lower left corner of a glyph at
// floor(raster x + 0.0001 - xorig), floor(raster y + 0.0001 - yorig) and then
// moves the raster x by the glyph's advance. The glyphs are captured at whole
// raster positions, so their pixels are known relative to the raster position;
// the same rounding of the raster position of each character then puts them
// where the GL would (GLUT's fonts have whole-pixel origins).
#define GL_GLEXT_PROTOTYPES 1
#include "render/text_blocks.h"

#include <GL/freeglut.h>
#include <GL/glext.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace rg {
namespace {

// The pixels a font's characters set, relative to the raster position they are
// drawn at, and how far each moves the raster position.
struct Glyphs {
  void* font = nullptr;
  bool ok = false;
  float advance[256] = {};
  std::vector<int> px[256];  // (dx, dy) pairs
};

// Off-screen buffers (framebuffer objects) are core from OpenGL 3.0 on.
bool HaveFramebufferObjects() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return version != nullptr && std::atoi(version) >= 3;
}

void ResetPixelStore(GLenum alignment, GLenum rowLength, GLenum skipRows, GLenum skipPixels) {
  glPixelStorei(alignment, 1);
  glPixelStorei(rowLength, 0);
  glPixelStorei(skipRows, 0);
  glPixelStorei(skipPixels, 0);
}

// Draws every character 1..255 of the font with glutBitmapCharacter, black on
// white, each at a whole raster position in a cell of its own, into an
// off-screen buffer and reads the pixels back. Leaves the GL state, the window's
// framebuffer binding included, as it found it.
void Capture(Glyphs& g) {
  int maxAdvance = 0;
  for (int c = 1; c < 256; ++c) {
    g.advance[c] = static_cast<float>(glutBitmapWidth(g.font, c));
    maxAdvance = std::max(maxAdvance, glutBitmapWidth(g.font, c));
  }
  // room on every side for the glyph's origin offsets; the outermost ring of
  // every cell must stay blank, or a glyph may reach into its neighbour's cell
  const int pad = 6;
  const int cellW = maxAdvance + 2 * pad, cellH = glutBitmapHeight(g.font) + 2 * pad;
  const int cols = 16, W = cols * cellW, H = 16 * cellH;

  GLint drawFb = 0, readFb = 0, renderbuffer = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFb);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFb);
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &renderbuffer);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  GLuint fb = 0, rb = 0;
  glGenFramebuffers(1, &fb);
  glGenRenderbuffers(1, &rb);
  glBindRenderbuffer(GL_RENDERBUFFER, rb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, W, H);
  glBindFramebuffer(GL_FRAMEBUFFER, fb);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
  std::vector<unsigned char> image;
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
    glViewport(0, 0, W, H);
    const GLenum off[] = {GL_SCISSOR_TEST, GL_BLEND,      GL_ALPHA_TEST,     GL_DEPTH_TEST,
                          GL_STENCIL_TEST, GL_COLOR_LOGIC_OP, GL_FOG,        GL_LIGHTING,
                          GL_TEXTURE_1D,   GL_TEXTURE_2D, GL_TEXTURE_3D,     GL_DITHER};
    for (GLenum cap : off) glDisable(cap);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 0.0f, 0.0f);
    for (int c = 1; c < 256; ++c) {
      glWindowPos2i((c % cols) * cellW + pad, (c / cols) * cellH + pad);
      glutBitmapCharacter(g.font, c);
    }
    ResetPixelStore(GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS);
    image.assign(static_cast<size_t>(W) * H, 255);
    glReadPixels(0, 0, W, H, GL_RED, GL_UNSIGNED_BYTE, image.data());
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFb));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFb));
  glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(renderbuffer));
  glDeleteRenderbuffers(1, &rb);
  glDeleteFramebuffers(1, &fb);
  glPopClientAttrib();
  glPopAttrib();
  if (image.empty()) return;
  for (int c = 1; c < 256; ++c) {
    const int cx = (c % cols) * cellW, cy = (c / cols) * cellH;
    for (int y = cy; y < cy + cellH; ++y)
      for (int x = cx; x < cx + cellW; ++x)
        if (image[static_cast<size_t>(y) * W + x] < 128) {
          if (x == cx || y == cy || x == cx + cellW - 1 || y == cy + cellH - 1) {
            for (auto& p : g.px) p.clear();
            return;  // a glyph larger than its cell: not to be trusted
          }
          g.px[c].push_back(x - (cx + pad));
          g.px[c].push_back(y - (cy + pad));
        }
  }
  g.ok = true;
}

// The glyphs of a font, captured on first use; null when they cannot be had.
const Glyphs* GlyphsOf(void* font) {
  static std::unique_ptr<Glyphs> fonts[8];
  for (auto& f : fonts) {
    if (f && f->font == font) return f->ok ? f.get() : nullptr;
    if (f) continue;
    f = std::make_unique<Glyphs>();
    f->font = font;
    if (HaveFramebufferObjects()) Capture(*f);
    return f->ok ? f.get() : nullptr;
  }
  return nullptr;
}

// glBitmap's rounding of a raster coordinate to the pixel of a glyph's origin.
int GlyphPixel(float raster) { return static_cast<int>(std::floor(raster + 0.0001f)); }

// Lines closer than this many pixel rows share one bitmap.
constexpr int kJoinRows = 12;

}  // namespace

bool TextBlocks::Add(void* font, float x, float y, const char* text, char stop) {
  const Glyphs* g = GlyphsOf(font);
  if (g == nullptr) return false;
  glRasterPos2f(x, y);
  GLint valid = GL_FALSE;
  glGetIntegerv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
  if (!valid) return true;  // the GL draws no character of this line either
  GLfloat raster[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
  Line l;
  l.x0 = l.y0 = INT_MAX;
  l.x1 = l.y1 = INT_MIN;
  float penX = raster[0];
  const int oy = GlyphPixel(raster[1]);
  for (const char* t = text; *t != '\0' && *t != stop; ++t) {
    const auto c = static_cast<unsigned char>(*t);
    const int ox = GlyphPixel(penX);
    const std::vector<int>& px = g->px[c];
    for (size_t i = 0; i < px.size(); i += 2) {
      const int X = ox + px[i], Y = oy + px[i + 1];
      l.px.push_back(X);
      l.px.push_back(Y);
      l.x0 = std::min(l.x0, X);
      l.x1 = std::max(l.x1, X);
      l.y0 = std::min(l.y0, Y);
      l.y1 = std::max(l.y1, Y);
    }
    penX += g->advance[c];
  }
  if (!l.px.empty()) lines_.push_back(std::move(l));
  return true;
}

void TextBlocks::Flush() {
  if (lines_.empty()) return;
  std::sort(lines_.begin(), lines_.end(), [](const Line& a, const Line& b) { return a.y0 < b.y0; });
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  ResetPixelStore(GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS,
                  GL_UNPACK_SKIP_PIXELS);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  size_t first = 0;
  while (first < lines_.size()) {
    // a block: the next lines while they start within kJoinRows of its top
    int x0 = lines_[first].x0, x1 = lines_[first].x1, y0 = lines_[first].y0, y1 = lines_[first].y1;
    size_t end = first + 1;
    while (end < lines_.size() && lines_[end].y0 <= y1 + kJoinRows) {
      x0 = std::min(x0, lines_[end].x0);
      x1 = std::max(x1, lines_[end].x1);
      y1 = std::max(y1, lines_[end].y1);
      ++end;
    }
    const int w = x1 - x0 + 1, h = y1 - y0 + 1, rowBytes = (w + 7) / 8;
    bits_.assign(static_cast<size_t>(rowBytes) * h, 0);
    for (size_t k = first; k < end; ++k) {
      const std::vector<int>& px = lines_[k].px;
      for (size_t i = 0; i < px.size(); i += 2) {
        const int dx = px[i] - x0, dy = px[i + 1] - y0;
        bits_[static_cast<size_t>(dy) * rowBytes + dx / 8] |= static_cast<unsigned char>(0x80 >> (dx % 8));
      }
    }
    // the raster colour is the current colour, as for the characters one by one
    glWindowPos2i(x0, y0);
    glBitmap(w, h, 0.0f, 0.0f, 0.0f, 0.0f, bits_.data());
    first = end;
  }
  glPopClientAttrib();
  lines_.clear();
}

}  // namespace rg
