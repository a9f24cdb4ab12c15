// Window text drawn as a few large blocks instead of one glBitmap per character.
// The glyphs are taken once per font from what glutBitmapCharacter draws into an
// off-screen buffer, the characters of the lines are placed where the GL would
// put them one at a time, and each group of nearby lines goes to the window as
// one block: the same pixels, at a fraction of the rasterising cost of Mesa's
// software renderer, which draws every small bitmap it is given as a 512 x 32
// pixel quad.
//
// A block is kept as a texture of the GL context and drawn as one quad per line,
// pixel for pixel; it is composed and uploaded again only when its lines change
// (their text, font or place, so also when a resize moves them). A frame whose
// step counter changes remakes the block of the mode panel and draws the others
// from their textures. Without textures of any size (OpenGL before 2.0) a block
// is drawn as one glBitmap. No GL types here.
#pragma once

#include <string>
#include <vector>

namespace rg {

class TextBlocks {
 public:
  // Places the characters of text up to stop (or the terminating zero) at the
  // raster position of (x, y) under the current matrices; they reach the window
  // at the next Flush, in the colour current then. False when the glyphs of the
  // font cannot be had (no off-screen buffer): the caller draws the line itself
  // then.
  bool Add(void* font, float x, float y, const char* text, char stop);

  // Draws every line added since the last Flush, in the current colour, over
  // everything (no depth test), and forgets them. Call it before anything that
  // is to cover earlier lines (a banner's box) and at the end. The colour's
  // alpha must be 1, as glColor3f makes it.
  void Flush();

  // How many block textures this process has composed and uploaded so far; a
  // frame that draws the same text at the same places adds none.
  static long TexturesMade();

  struct Glyphs;  // a font's captured glyphs (text_blocks.cpp)

  // One line: where its characters start and what they are; its pixels follow
  // from these alone.
  struct Line {
    const Glyphs* glyphs = nullptr;
    float penX = 0.0f;  // raster x of the first character
    int oy = 0;         // pixel row of the glyphs' origin
    std::string text;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // bounds of the pixels set, inclusive
  };

 private:
  std::vector<Line> lines_;
};

}  // namespace rg
