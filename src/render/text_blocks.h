// Window text drawn as a few large bitmaps instead of one glBitmap per character.
// The glyphs are taken once per font from what glutBitmapCharacter draws into an
// off-screen buffer, the characters of the lines are placed where the GL would
// put them one at a time, and each group of nearby lines goes to the window as
// one bitmap: the same pixels, at a fraction of the rasterising cost of Mesa's
// software renderer, which draws every small bitmap it is given as a 512 x 32
// pixel quad. No GL types here.
#pragma once

#include <vector>

namespace rg {

class TextBlocks {
 public:
  // Places the characters of text up to stop (or the terminating zero) at the
  // raster position of (x, y) under the current matrices, in the current
  // colour; they reach the window at the next Flush. False when the glyphs of
  // the font cannot be had (no off-screen buffer): the caller draws the line
  // itself then.
  bool Add(void* font, float x, float y, const char* text, char stop);

  // Draws every line added since the last Flush and forgets them. Call it
  // before anything that is to cover earlier lines (a banner's box) and at the
  // end.
  void Flush();

 private:
  // The window pixels one line sets, as (x, y) pairs, and their bounds.
  struct Line {
    std::vector<int> px;
    int x0, y0, x1, y1;  // inclusive
  };
  std::vector<Line> lines_;
  std::vector<unsigned char> bits_;  // the bitmap being drawn
};

}  // namespace rg
