// Window text as a few large blocks; see text_blocks.h.
//
// Where a character lands: glBitmap puts the lower left corner of a glyph at
// floor(raster x + 0.0001 - xorig), floor(raster y + 0.0001 - yorig) and then
// moves the raster x by the glyph's advance. The glyphs are captured at whole
// raster positions, so their pixels are known relative to the raster position;
// the same rounding of the raster position of each character then puts them
// where the GL would (GLUT's fonts have whole-pixel origins).
//
// How a block's texture lands on the same pixels: the viewport is set to the
// block's rectangle with one unit a pixel, and each line's rectangle is drawn as
// a quad with the matching part of the texture, so the centre of every pixel
// samples (GL_NEAREST) the centre of its own texel; quads with corners on pixel
// corners cover exactly the pixels inside them. The texture is an alpha map, 255
// where a glyph sets the pixel; its fragments take the current colour, the alpha
// test drops the others, as glBitmap's do. A quad per line, not one for the
// whole block, leaves out the blank rows between the lines and the blank ends of
// the shorter ones: Mesa's software renderer pays for every pixel a quad covers.
#define GL_GLEXT_PROTOTYPES 1
#include "render/text_blocks.h"

#include <GL/freeglut.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace rg {

// The pixels a font's characters set, relative to the raster position they are
// drawn at, their bounds, and how far each moves the raster position.
struct GlyphBox {
  int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;  // empty: x0 > x1
};

struct TextBlocks::Glyphs {
  void* font = nullptr;
  bool ok = false;
  float advance[256] = {};
  std::vector<int> px[256];  // (dx, dy) pairs
  GlyphBox box[256];
};

namespace {

using Glyphs = TextBlocks::Glyphs;
using Line = TextBlocks::Line;

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
  for (int c = 1; c < 256; ++c) {
    GlyphBox& b = g.box[c];
    const std::vector<int>& px = g.px[c];
    for (size_t i = 0; i < px.size(); i += 2) {
      b.x0 = std::min(b.x0, px[i]);
      b.x1 = std::max(b.x1, px[i]);
      b.y0 = std::min(b.y0, px[i + 1]);
      b.y1 = std::max(b.y1, px[i + 1]);
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

// Lines closer than this many pixel rows share one block.
constexpr int kJoinRows = 12;

// A block: lines that go to the window together, and the rectangle they cover.
struct Block {
  std::vector<const Line*> lines;
  int x0 = 0, y0 = 0, w = 0, h = 0;
};

// Calls f(x, y) for every pixel a line sets.
template <class F>
void ForEachPixel(const Line& l, F f) {
  float penX = l.penX;
  for (const char ch : l.text) {
    const auto c = static_cast<unsigned char>(ch);
    const int ox = GlyphPixel(penX);
    const std::vector<int>& px = l.glyphs->px[c];
    for (size_t i = 0; i < px.size(); i += 2) f(ox + px[i], l.oy + px[i + 1]);
    penX += l.glyphs->advance[c];
  }
}

bool SameLine(const Line& a, const Line& b) {
  return a.glyphs == b.glyphs && std::memcmp(&a.penX, &b.penX, sizeof a.penX) == 0 &&
         a.oy == b.oy && a.text == b.text;
}

// ---- blocks kept as textures

// A block's texture in the GL context it was made in, with the lines it shows.
struct Texture {
  GLXContext context = nullptr;
  GLuint name = 0;
  std::vector<Line> lines;
  unsigned long lastUse = 0;
};

// The textures of the latest blocks, reused while their lines stay the same.
// A frame has a handful of blocks; what is not drawn again soon is given up,
// the least recently drawn first.
constexpr size_t kMaxTextures = 16;
std::vector<Texture> gTextures;
unsigned long gClock = 0;
long gTexturesMade = 0;

bool SameLines(const Texture& t, const Block& b) {
  if (t.lines.size() != b.lines.size()) return false;
  for (size_t i = 0; i < t.lines.size(); ++i)
    if (!SameLine(t.lines[i], *b.lines[i])) return false;
  return true;
}

// Textures of any size are core from OpenGL 2.0 on.
bool HaveTextures() {
  static const bool have = [] {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return version != nullptr && std::atoi(version) >= 2;
  }();
  return have;
}

// The block's pixels, one byte each (255 set, 0 clear), bottom row first.
const std::vector<unsigned char>& Compose(const Block& b) {
  static std::vector<unsigned char> image;
  image.assign(static_cast<size_t>(b.w) * b.h, 0);
  for (const Line* l : b.lines)
    ForEachPixel(*l, [&](int x, int y) {
      image[static_cast<size_t>(y - b.y0) * b.w + (x - b.x0)] = 255;
    });
  return image;
}

// The texture that shows the block, made now when none of this context does.
GLuint TextureFor(const Block& b) {
  const GLXContext context = glXGetCurrentContext();
  ++gClock;
  for (Texture& t : gTextures)
    if (t.context == context && SameLines(t, b) && glIsTexture(t.name)) {
      t.lastUse = gClock;
      return t.name;
    }
  Texture* t = nullptr;
  if (gTextures.size() < kMaxTextures) {
    gTextures.emplace_back();
    t = &gTextures.back();
  } else {
    t = &*std::min_element(gTextures.begin(), gTextures.end(),
                           [](const Texture& a, const Texture& c) { return a.lastUse < c.lastUse; });
    // a name of another context means nothing here: that texture is left to it
    if (t->context != context) t->name = 0;
  }
  if (t->name == 0 || !glIsTexture(t->name)) glGenTextures(1, &t->name);
  t->context = context;
  t->lastUse = gClock;
  t->lines.clear();
  for (const Line* l : b.lines) t->lines.push_back(*l);
  glBindTexture(GL_TEXTURE_2D, t->name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, b.w, b.h, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
               Compose(b).data());
  ++gTexturesMade;
  return t->name;
}

// Draws the blocks as textured quads. Everything that would treat a polygon
// otherwise than a bitmap is switched off meanwhile; the rest of the fragment
// processing (scissor, blending, stencil, ...) stays as the caller has it, as
// for glBitmap.
void DrawTextures(const std::vector<Block>& blocks) {
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT |
               GL_VIEWPORT_BIT | GL_TRANSFORM_BIT | GL_POLYGON_BIT | GL_LIGHTING_BIT);
  for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_CULL_FACE, GL_POLYGON_STIPPLE,
                     GL_POLYGON_SMOOTH, GL_POLYGON_OFFSET_FILL, GL_TEXTURE_1D, GL_TEXTURE_3D,
                     GL_TEXTURE_CUBE_MAP, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_COLOR_SUM,
                     GL_FOG})
    glDisable(cap);
  GLint planes = 0;
  glGetIntegerv(GL_MAX_CLIP_PLANES, &planes);
  for (GLint i = 0; i < planes; ++i) glDisable(GL_CLIP_PLANE0 + static_cast<GLenum>(i));
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.5f);
  glActiveTexture(GL_TEXTURE0);
  for (GLenum m : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
    glMatrixMode(m);
    glPushMatrix();
    glLoadIdentity();
  }
  for (const Block& b : blocks) {
    const GLuint name = TextureFor(b);
    glBindTexture(GL_TEXTURE_2D, name);
    glViewport(b.x0, b.y0, b.w, b.h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, b.w, 0.0, b.h, -1.0, 1.0);
    glBegin(GL_QUADS);
    for (const Line* l : b.lines) {
      const float x0 = static_cast<float>(l->x0 - b.x0), x1 = static_cast<float>(l->x1 + 1 - b.x0);
      const float y0 = static_cast<float>(l->y0 - b.y0), y1 = static_cast<float>(l->y1 + 1 - b.y0);
      const float w = static_cast<float>(b.w), h = static_cast<float>(b.h);
      glTexCoord2f(x0 / w, y0 / h);
      glVertex2f(x0, y0);
      glTexCoord2f(x1 / w, y0 / h);
      glVertex2f(x1, y0);
      glTexCoord2f(x1 / w, y1 / h);
      glVertex2f(x1, y1);
      glTexCoord2f(x0 / w, y1 / h);
      glVertex2f(x0, y1);
    }
    glEnd();
  }
  for (GLenum m : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
    glMatrixMode(m);
    glPopMatrix();
  }
  glPopAttrib();
}

// Draws the blocks as one bitmap each (the raster colour is the current colour,
// as for the characters one by one).
void DrawBitmaps(const std::vector<Block>& blocks) {
  std::vector<unsigned char> bits;
  for (const Block& b : blocks) {
    const int rowBytes = (b.w + 7) / 8;
    bits.assign(static_cast<size_t>(rowBytes) * b.h, 0);
    for (const Line* l : b.lines)
      ForEachPixel(*l, [&](int x, int y) {
        const int dx = x - b.x0, dy = y - b.y0;
        bits[static_cast<size_t>(dy) * rowBytes + dx / 8] |= static_cast<unsigned char>(0x80 >> (dx % 8));
      });
    glWindowPos2i(b.x0, b.y0);
    glBitmap(b.w, b.h, 0.0f, 0.0f, 0.0f, 0.0f, bits.data());
  }
}

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
  l.glyphs = g;
  l.penX = raster[0];
  l.oy = GlyphPixel(raster[1]);
  l.x0 = l.y0 = INT_MAX;
  l.x1 = l.y1 = INT_MIN;
  float penX = l.penX;
  for (const char* t = text; *t != '\0' && *t != stop; ++t) {
    const auto c = static_cast<unsigned char>(*t);
    l.text.push_back(*t);
    const GlyphBox& b = g->box[c];
    if (b.x0 <= b.x1) {
      const int ox = GlyphPixel(penX);
      l.x0 = std::min(l.x0, ox + b.x0);
      l.x1 = std::max(l.x1, ox + b.x1);
      l.y0 = std::min(l.y0, l.oy + b.y0);
      l.y1 = std::max(l.y1, l.oy + b.y1);
    }
    penX += g->advance[c];
  }
  if (l.x0 <= l.x1) lines_.push_back(std::move(l));
  return true;
}

void TextBlocks::Flush() {
  if (lines_.empty()) return;
  // the same lines always form the same blocks in the same order
  std::stable_sort(lines_.begin(), lines_.end(),
                   [](const Line& a, const Line& b) { return a.y0 < b.y0; });
  std::vector<Block> blocks;
  size_t first = 0;
  while (first < lines_.size()) {
    // a block: the next lines while they start within kJoinRows of its top
    int x0 = lines_[first].x0, x1 = lines_[first].x1, y0 = lines_[first].y0, y1 = lines_[first].y1;
    Block b;
    b.lines.push_back(&lines_[first]);
    size_t end = first + 1;
    while (end < lines_.size() && lines_[end].y0 <= y1 + kJoinRows) {
      x0 = std::min(x0, lines_[end].x0);
      x1 = std::max(x1, lines_[end].x1);
      y1 = std::max(y1, lines_[end].y1);
      b.lines.push_back(&lines_[end]);
      ++end;
    }
    b.x0 = x0;
    b.y0 = y0;
    b.w = x1 - x0 + 1;
    b.h = y1 - y0 + 1;
    blocks.push_back(std::move(b));
    first = end;
  }
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  ResetPixelStore(GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS,
                  GL_UNPACK_SKIP_PIXELS);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  if (HaveTextures())
    DrawTextures(blocks);
  else
    DrawBitmaps(blocks);
  glPopClientAttrib();
  lines_.clear();
}

long TextBlocks::TexturesMade() { return gTexturesMade; }

}  // namespace rg
