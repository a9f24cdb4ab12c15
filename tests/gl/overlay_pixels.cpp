// The overlay as the window draws it (characters composed into large bitmaps)
// against the same overlay drawn one glutBitmapCharacter at a time, pixel for
// pixel, in a real GL context: every panel, the play line, the wait banner and
// windows of many sizes, small ones where rows leave the window included.
// Needs an X display; tests/gui/check_overlay_pixels.sh runs it under its own Xvfb.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/keyboard.h"
#include "app/startup.h"
#include "app/window_view.h"
#include "core/state.h"
#include "render/draw.h"
#include "render/text_blocks.h"
#include "render/window.h"

namespace {

constexpr int kWinW = 900, kWinH = 700;
bool gExposed = false;
void MarkExposed() { gExposed = true; }

class OverlayPixels : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string why;
    ASSERT_TRUE(rg::DisplayAvailable(&why)) << "no display: " << why;
    int argc = 1;
    char name[] = "overlay_pixels";
    char* argv[] = {name, nullptr};
    glutInitWindowSize(kWinW, kWinH);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("overlay pixels");
    glutDisplayFunc(MarkExposed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!gExposed && std::chrono::steady_clock::now() < deadline) glutMainLoopEvent();
    ASSERT_TRUE(gExposed) << "the window was never shown";
  }

  // The viewport's pixels after clearing to grey and drawing the overlay one way.
  static std::vector<unsigned char> Draw(const rg::Sim& s, const rg::WindowView& v, int w, int h,
                                         bool byCharacter) {
    rg::Reshape(w, h);
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (byCharacter)
      rg::DrawOverlayByCharacter(s, v);
    else
      rg::DrawOverlay(s, v);
    glFinish();
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    return px;
  }

  static size_t Black(const std::vector<unsigned char>& px) {
    size_t n = 0;
    for (size_t i = 0; i + 2 < px.size(); i += 3) n += px[i] == 0 && px[i + 1] == 0 && px[i + 2] == 0;
    return n;
  }

  static std::unique_ptr<rg::Sim> Started(const std::string& keys) {
    auto s = std::make_unique<rg::Sim>();
    rg::StartUpQuiet(*s);
    Press(*s, keys);
    return s;
  }

  static void Press(rg::Sim& s, const std::string& keys) {
    for (char k : keys) rg::keyboard(s, static_cast<unsigned char>(k), 0, 0);
  }

  // Both drawings for each window size; the text must be there and equal.
  static void Compare(const std::string& keys, const rg::WindowView& v) {
    auto s = Started(keys);
    const int sizes[][2] = {{600, 600}, {900, 700}, {800, 600}, {450, 700}, {357, 611},
                            {599, 601}, {500, 480}, {300, 300}, {200, 150}, {90, 60}};
    for (const auto& sz : sizes) {
      SCOPED_TRACE("keys \"" + keys + "\", window " + std::to_string(sz[0]) + " x " +
                   std::to_string(sz[1]));
      const auto byCharacter = Draw(*s, v, sz[0], sz[1], true);
      const auto blocks = Draw(*s, v, sz[0], sz[1], false);
      if (sz[0] >= 300) {
        EXPECT_GT(Black(byCharacter), 1000u) << "hardly any text drawn";
      }
      size_t differ = 0;
      for (size_t i = 0; i < blocks.size(); i += 3)
        differ += blocks[i] != byCharacter[i] || blocks[i + 1] != byCharacter[i + 1] ||
                  blocks[i + 2] != byCharacter[i + 2];
      EXPECT_EQ(differ, 0u) << "pixels that differ from the drawing one character at a time";
    }
  }
};

TEST_F(OverlayPixels, GlyphsAreCapturedOnThisGL) {
  rg::Reshape(600, 600);
  rg::TextBlocks text;
  EXPECT_TRUE(text.Add(GLUT_BITMAP_HELVETICA_18, 5.0f, 5.0f, "Wg\n", '\n'));
  text.Flush();
}

TEST_F(OverlayPixels, StartUpHelpAndPanel) { Compare("", rg::WindowView{}); }

TEST_F(OverlayPixels, ManipulationCounterAndInformationPanel) {
  rg::WindowView v;
  v.info = true;
  v.traces = true;
  Compare("GssA" + std::string(10, 's'), v);
}

TEST_F(OverlayPixels, PlayLineWithoutHelp) {
  rg::WindowView v;
  v.help = false;
  v.playing = true;
  Compare("GssA" + std::string(3, 's'), v);
}

// The banner's box covers the lines drawn before it and the lines after it go
// over the box.
TEST_F(OverlayPixels, WaitBannerOverTheText) {
  rg::WindowView v;
  v.waitingKey = 'c';
  v.info = true;
  Compare("GssA" + std::string(40, 's') + "Dss", v);
}

TEST_F(OverlayPixels, OtherModes) {
  for (const char* keys : {"H2", "W1", "J21pp", "Mzzz", "I", "Vxxy"}) Compare(keys, rg::WindowView{});
}

// The blocks are kept as textures: drawing the same overlay again makes none,
// a change of the step counter remakes only the mode panel's block, and a taller
// window, which moves the upper lines, remakes their blocks; every frame still
// has the pixels of the drawing one character at a time.
TEST_F(OverlayPixels, BlocksRemadeOnlyWhenTheirTextChanges) {
  auto s = Started("GssA");
  const rg::WindowView v;
  Draw(*s, v, 600, 600, false);
  const auto byCharacter = Draw(*s, v, 600, 600, true);
  long made = rg::TextBlocks::TexturesMade();
  EXPECT_EQ(Draw(*s, v, 600, 600, false), byCharacter) << "the same text drawn again";
  EXPECT_EQ(rg::TextBlocks::TexturesMade(), made) << "a block was remade with its text unchanged";

  const int row = s->cntMainip1;
  Press(*s, "sssss");
  ASSERT_EQ(s->cntMainip1, row + 1) << "five steps store one row";
  made = rg::TextBlocks::TexturesMade();
  EXPECT_EQ(Draw(*s, v, 600, 600, false), Draw(*s, v, 600, 600, true)) << "after the counter changed";
  EXPECT_EQ(rg::TextBlocks::TexturesMade(), made + 1) << "blocks remade for the counter";

  made = rg::TextBlocks::TexturesMade();
  EXPECT_EQ(Draw(*s, v, 600, 700, false), Draw(*s, v, 600, 700, true)) << "in a taller window";
  EXPECT_GT(rg::TextBlocks::TexturesMade(), made) << "moved blocks drawn from their old textures";
}

}  // namespace
