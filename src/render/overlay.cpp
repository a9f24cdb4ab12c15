// The text overlay: the help table at the top, the mode panel in the middle, the
// hand, work and velocity lines at the bottom, and the window's own panels, all
// placed from a 600 x 600 layout space; and text at a point of the 3-D scene.
// Which lines are shown is decided by WindowLines; this file only draws them.
//
// Placement in a window of any size: the layout is scaled by k = the smaller
// window side / 600 (at most 1, the bitmap fonts do not grow), lines of the upper
// half keep their distance from the top edge and lines of the lower half their
// distance from the bottom edge, so rows never come closer than in the layout;
// below 600 pixels a smaller font keeps them apart. At 600 x 600 every line lands
// where the layout puts it.
//
// The lines go to the window as a few large blocks (TextBlocks), each kept as a
// texture and composed again only when its lines change, not one bitmap per
// character nor replayed from a display list: Mesa's software renderer replays
// the bitmaps of a display list about three times slower than it draws the same
// calls made directly, draws each small bitmap as a 512 x 32 pixel quad, and
// makes a texture of every bitmap it is given, frame after frame.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

#include "app/overlay_text.h"
#include "app/window_view.h"
#include "render/draw.h"
#include "render/text_blocks.h"

namespace rg {
namespace {

constexpr float kBackdropAlpha = 0.85f;  // of the white panel behind the text

// Characters of one line: up to its '\n'. A missing '\n' ends at the zero, so a
// malformed text never runs past its buffer.
void DrawChars(void* font, const char* text, char stop) {
  for (const char* c = text; *c != '\0' && *c != stop; ++c)
    glutBitmapCharacter(font, static_cast<unsigned char>(*c));
}

// Window-space drawing: a pixel mapping of the viewport on the model-view matrix
// (the projection is the identity), black, no depth test, no lighting.
void BeginText2D(double w, double h) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluOrtho2D(0.0, w, 0.0, h);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
}

void EndText2D() {
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glPopAttrib();
  glPopMatrix();
}

struct Viewport {
  int w = 0, h = 0;
};

Viewport CurrentViewport() {
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  Viewport v;
  v.w = vp[2];
  v.h = vp[3];
  return v;
}

// Layout-to-window scale of a viewport.
float LayoutScale(const Viewport& vp) {
  const int side = vp.w < vp.h ? vp.w : vp.h;
  const float k = side / 600.0f;
  return k < 1.0f ? k : 1.0f;
}

float PlaceX(float x, float k) { return x * k; }

float PlaceY(float y, float k, const Viewport& vp) {
  return y >= 300.0f ? static_cast<float>(vp.h) - (600.0f - y) * k : y * k;
}

void* FontFor(TextLine::Font f, float k) {
  if (f == TextLine::Small) return k >= 0.95f ? GLUT_BITMAP_HELVETICA_12 : GLUT_BITMAP_HELVETICA_10;
  if (k >= 0.95f) return GLUT_BITMAP_HELVETICA_18;
  return k >= 0.6f ? GLUT_BITMAP_HELVETICA_12 : GLUT_BITMAP_HELVETICA_10;
}

int LineWidth(void* font, const char* text) {
  int w = 0;
  for (const char* c = text; *c != '\0' && *c != '\n'; ++c)
    w += glutBitmapWidth(font, static_cast<unsigned char>(*c));
  return w;
}

// A translucent white panel behind every block of text, so that the text reads
// over any scene (the dark palm, the axis lines): the lines of one font whose
// rows follow each other (the help table, the mode panel, the bottom lines, the
// information panel) share one box, as wide as their widest line and as high as
// their rows. Banners have boxes of their own.
struct Box {
  TextLine::Font font;
  float layoutY, x0, y0, x1, y1;
};

// The pale yellow box behind a banner's text.
Box BannerBox(const TextLine& l, const Viewport& vp, float k) {
  const float x = PlaceX(l.x, k), y = PlaceY(l.y, k, vp);
  const float w = static_cast<float>(LineWidth(FontFor(l.font, k), l.text));
  return {l.font, l.y, x - 4.0f, y - 7.0f, x + w + 4.0f, y + 19.0f};
}

// The white panels: one box per block of plain lines.
std::vector<Box> Blocks(const OverlayText& o, const Viewport& vp, float k) {
  std::vector<Box> boxes;
  for (int i = 0; i < o.n; ++i) {
    const TextLine& l = o.line[i];
    if (l.style == TextLine::Banner) continue;
    const float w = static_cast<float>(LineWidth(FontFor(l.font, k), l.text));
    if (w <= 0.0f) continue;
    const float x = PlaceX(l.x, k), y = PlaceY(l.y, k, vp);
    const float row = (l.font == TextLine::Small ? 15.0f : 20.0f) * k;
    boxes.push_back({l.font, l.y, x - 3.0f, y - 0.25f * row, x + w + 3.0f, y + 0.75f * row});
  }
  std::sort(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
    return a.font != b.font ? a.font < b.font : a.layoutY > b.layoutY;
  });
  std::vector<Box> blocks;
  for (const Box& b : boxes) {
    const float rowGap = b.font == TextLine::Small ? 15.0f : 20.0f;
    if (!blocks.empty() && blocks.back().font == b.font &&
        blocks.back().layoutY - b.layoutY <= 1.5f * rowGap) {
      Box& m = blocks.back();
      m.layoutY = b.layoutY;
      m.x0 = std::min(m.x0, b.x0);
      m.x1 = std::max(m.x1, b.x1);
      m.y0 = std::min(m.y0, b.y0);
      m.y1 = std::max(m.y1, b.y1);
    } else {
      blocks.push_back(b);
    }
  }
  return blocks;
}

void Backdrop(const OverlayText& o, const Viewport& vp, float k) {
  const std::vector<Box> blocks = Blocks(o, vp, k);
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(1.0f, 1.0f, 1.0f, kBackdropAlpha);
  for (const Box& b : blocks) glRectf(b.x0, b.y0, b.x1, b.y1);
  glPopAttrib();
}

// The lines in order; a banner's box covers the lines drawn before it. With
// blocks the characters go to the window through TextBlocks, otherwise (and
// for a font whose glyphs cannot be captured) one glBitmap at a time.
void DrawLines(const OverlayText& o, const Viewport& vp, bool blocks) {
  const float k = LayoutScale(vp);
  TextBlocks text;
  BeginText2D(vp.w, vp.h);
  Backdrop(o, vp, k);
  for (int i = 0; i < o.n; ++i) {
    const TextLine& l = o.line[i];
    void* font = FontFor(l.font, k);
    const float x = PlaceX(l.x, k), y = PlaceY(l.y, k, vp);
    if (l.style == TextLine::Banner) {
      text.Flush();
      // a pale yellow box behind the text, so that it reads over any scene
      const Box b = BannerBox(l, vp, k);
      glColor3f(1.0f, 0.92f, 0.45f);
      glRectf(b.x0, b.y0, b.x1, b.y1);
      glColor3f(0.0f, 0.0f, 0.0f);
    }
    if (blocks && text.Add(font, x, y, l.text, '\n')) continue;
    glRasterPos2f(x, y);
    DrawChars(font, l.text, '\n');
  }
  text.Flush();
  EndText2D();
}

}  // namespace

void* OverlayFont() { return GLUT_BITMAP_HELVETICA_18; }

void DrawText2D(float x, float y, void* font, const char* text) {
  BeginText2D(600.0, 600.0);
  glRasterPos2f(x, y);
  DrawChars(font, text, '\n');
  EndText2D();
}

void DrawTextLines(float x, float y, int n, float dy, void* font, const char rows[][100]) {
  BeginText2D(600.0, 600.0);
  for (int i = 0; i < n; ++i) {
    glRasterPos2f(x, y + i * dy);
    // a row without '\n' ends at its zero or at the end of its 100 characters
    for (int c = 0; c < 100 && rows[i][c] != '\0' && rows[i][c] != '\n'; ++c)
      glutBitmapCharacter(font, static_cast<unsigned char>(rows[i][c]));
  }
  EndText2D();
}

void DrawText3D(float x, float y, float z, void* font, const char* text) {
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  glRasterPos3f(x, y, z);
  DrawChars(font, text, '\0');
  glEnable(GL_LIGHTING);
  glPopAttrib();
}

std::vector<WindowRect> OverlayPanels(const OverlayText& lines) {
  const Viewport vp = CurrentViewport();
  const float k = LayoutScale(vp);
  std::vector<Box> boxes = Blocks(lines, vp, k);
  for (int i = 0; i < lines.n; ++i)
    if (lines.line[i].style == TextLine::Banner) boxes.push_back(BannerBox(lines.line[i], vp, k));
  std::vector<WindowRect> out;
  for (const Box& b : boxes) out.push_back({b.x0, b.y0, b.x1, b.y1});
  return out;
}

void DrawOverlay(const OverlayText& lines) { DrawLines(lines, CurrentViewport(), true); }

void DrawOverlay(const Sim& s, const WindowView& v) {
  OverlayText lines;
  WindowLines(s, v, lines);
  DrawOverlay(lines);
}

void DrawOverlayByCharacter(const Sim& s, const WindowView& v) {
  OverlayText lines;
  WindowLines(s, v, lines);
  DrawLines(lines, CurrentViewport(), false);
}

void DrawOverlay(const Sim& s) { DrawOverlay(s, WindowView{}); }

}  // namespace rg
