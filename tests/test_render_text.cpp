// The clock over the renderer's frames on a real offscreen OpenGL context: when it is written,
// where, at what size, and that text written into a frame has the pixels of text on an image.
#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "population.h"
#include "render_fixture.h"
#include "text/image_text_surface.h"

namespace {

using namespace render_test;

// The text surface's calls, in order.
class TRecordingSurface : public TGLSurface, public TTextSurface {
 public:
  explicit TRecordingSurface(TOffscreenSurface& inner) : Inner(inner) {}
  bool MakeCurrent() override { return Inner.MakeCurrent(); }
  void ReleaseCurrent() override { Inner.ReleaseCurrent(); }
  void SwapBuffers() override {
    Log.push_back("swap");
    Inner.SwapBuffers();
  }
  TTextRect WindowRect() override { return Inner.WindowRect(); }
  void Invalidate() override { Log.push_back("invalidate"); }
  TTextSurface& Text() override { return *this; }
  bool TextGoesIntoFrame() const override { return InFrame; }

  TTextRect ClipBox() override { return Inner.Text().ClipBox(); }
  int PixelsPerInch() override { return Inner.Text().PixelsPerInch(); }
  double PixelScale() override { return Scale; }
  // Two monitors side by side: the scale of the one the selected area starts on.
  void SelectArea(const TTextRect& area) override {
    Scale = area.Left < Width / 2 ? LeftScale : RightScale;
  }
  void SetFont(const TFontSpec& font) override {
    Log.push_back("font " + font.Name + " " + std::to_string(font.Size) + " " +
                  std::to_string(font.Red) + "," + std::to_string(font.Green) + "," +
                  std::to_string(font.Blue));
  }
  void SetTransparentBackground(bool transparent) override {
    Log.push_back(transparent ? "transparent" : "opaque");
  }
  void DrawText(int x, int y, const std::string& text) override {
    Log.push_back("text " + std::to_string(x) + "," + std::to_string(y));
    EXPECT_FALSE(text.empty());
  }

  TOffscreenSurface& Inner;
  std::vector<std::string> Log;
  bool InFrame = false;
  double Scale = 1;
  double LeftScale = 1, RightScale = 1;
};

TEST_F(RenderTest, FramePresentsThenWritesTheClockOnlyWhenSwitchedOnThenInvalidates) {
  Drawer.reset();
  TRecordingSurface recording(*Surface);
  Drawer = std::make_unique<TDrawer>(recording, *Env);
  Drawer->UseSwitches(&ShowTrail, &ShowTime);
  EXPECT_EQ(recording.Log, std::vector<std::string>{"transparent"});

  recording.Log.clear();
  Drawer->Render();
  EXPECT_EQ(recording.Log, (std::vector<std::string>{"swap", "invalidate"}));

  recording.Log.clear();
  ShowTime = true;
  Drawer->Render();
  // 480 pixels high: 16 points, and 16 pixels from the top-left corner.
  EXPECT_EQ(recording.Log, (std::vector<std::string>{"swap", "font Verdana 16 255,255,0",
                                                     "text 16,16", "invalidate"}));

  // A surface that takes text into the frame gets the clock before the frame is presented.
  recording.InFrame = true;
  recording.Log.clear();
  Drawer->Render();
  EXPECT_EQ(recording.Log, (std::vector<std::string>{"font Verdana 16 255,255,0", "text 16,16",
                                                     "swap", "invalidate"}));

  // On a screen scaled to 2 the same 480 pixels are 240 of a 96-per-inch screen: 8 points, drawn
  // twice as dense, and 8 of those pixels from the corner.
  recording.LeftScale = 2;
  recording.Log.clear();
  Drawer->Render();
  EXPECT_EQ(recording.Log, (std::vector<std::string>{"font Verdana 8 255,255,0", "text 16,16",
                                                     "swap", "invalidate"}));

  // Views on monitors of scales 1 and 2 side by side: each clock at its own monitor's scale.
  {
    TDrawer right(recording, *Env);
    right.UseSwitches(&ShowTrail, &ShowTime);
    Drawer->View = TTextRect{0, 0, Width / 2, Height};
    right.View = TTextRect{Width / 2, 0, Width, Height};
    recording.LeftScale = 1;
    recording.RightScale = 2;
    recording.Log.clear();
    TDrawer::RenderViews({Drawer.get(), &right}, Width, Height);
    EXPECT_EQ(recording.Log, (std::vector<std::string>{"font Verdana 16 255,255,0", "text 16,16",
                                                       "font Verdana 8 255,255,0", "text 336,16",
                                                       "swap", "invalidate"}));
  }
  Drawer.reset();  // before the surface it draws on
}

// The clock's points count the view's height in pixels of a 96-per-inch screen: drawn at the
// screen's density, it is the same share of the height at every scale, and so is its margin. An X
// screen of 100 or 192 pixels per inch draws 23 or 12 points as 32 pixels, as 96 draws 24.
TEST(ClockPlacement, CountsTheHeightInPixelsOfANinetySixPerInchScreen) {
  struct TCase {
    int Height;
    double Scale;
    int Points, Margin;
  };
  const TCase cases[] = {{480, 1, 16, 16},         {200, 1, 8, 8},      {720, 1, 24, 24},
                         {900, 1.25, 24, 30},      {1080, 1.5, 24, 36}, {1440, 2, 24, 48},
                         {768, 2, 12, 24},         {300, 2, 8, 16},     {1081, 1.5, 24, 36},
                         {720, 100 / 96.0, 23, 24}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Height) + " pixels at scale " + std::to_string(c.Scale));
    const TClockPlacement place = ClockPlacement(c.Height, c.Scale);
    EXPECT_EQ(place.Points, c.Points);
    EXPECT_EQ(place.Margin, c.Margin);
  }
}

// Text written into the frame before it is presented gives the pixels the image text surface
// gives on the presented frame, to within a step of each channel, anti-aliasing included: in the
// corner, clipped at every edge, on a white box, with the viewport away from the frame's corner,
// over the scene and over a frame of one bright colour.
TEST_F(RenderTest, TextInTheFrameHasThePixelsOfTextOnTheImage) {
  CreateStartPopulation(*Env);
  TSnowflakes& flakes = Env->Snowflakes;
  for (size_t i = 0; i < flakes.size(); ++i) {
    const double x = 450 + 100 * Random();
    const double y = 450 + 100 * Random();
    Place(flakes, i, x, y, 100 * Random());
  }
  LookFrom(400, 400, 30, 500, 500, 10);
  struct TCase {
    int X, Y;
    bool Transparent;
  };
  const TCase cases[] = {{16, 16, true},
                         {-9, -7, true},
                         {Width - 60, Height - 12, true},
                         {200, 100, false},
                         {Width - 30, 200, false}};
  for (bool shiftedViewport : {false, true}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y) +
                   (c.Transparent ? " transparent" : " opaque") +
                   (shiftedViewport ? ", viewport away from the corner, on blue" : ""));
      Drawer->Resize(Width, Height);
      TImage expected = Frame();
      if (shiftedViewport) {
        glClearColor(0.2f, 0.55f, 0.9f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
        Surface->SwapBuffers();
        expected = Surface->Frame();
      }
      TFontSpec font;
      font.Name = "Verdana";
      font.Size = 16;
      font.Red = 255;
      font.Green = 255;
      TImageTextSurface onImage(expected);
      onImage.SetFont(font);
      onImage.SetTransparentBackground(c.Transparent);
      onImage.DrawText(c.X, c.Y, "12:34:56");

      // The pbuffer keeps the presented frame: the text goes onto it and it is presented again.
      if (shiftedViewport) glViewport(100, 50, Width / 2, Height / 2);
      TTextSurface& inFrame = Surface->Text();
      inFrame.SetFont(font);
      inFrame.SetTransparentBackground(c.Transparent);
      inFrame.DrawText(c.X, c.Y, "12:34:56");
      inFrame.SetTransparentBackground(true);
      Surface->SwapBuffers();
      const TImage& actual = Surface->Frame();
      int largestDifference = 0;
      for (size_t i = 0; i < expected.Pixels.size(); ++i)
        largestDifference =
            std::max(largestDifference, std::abs(expected.Pixels[i] - actual.Pixels[i]));
      EXPECT_LE(largestDifference, 1);
      EXPECT_FALSE(PixelsWhere(actual, IsYellow).empty());
    }
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

// The box around every yellow pixel of the frame, or an empty box.
TTextRect YellowBox(const TImage& image) {
  TTextRect box{image.Width, image.Height, -1, -1};
  for (const TPixel& p : PixelsWhere(image, IsYellow)) {
    box.Left = std::min(box.Left, p.X);
    box.Top = std::min(box.Top, p.Y);
    box.Right = std::max(box.Right, p.X);
    box.Bottom = std::max(box.Bottom, p.Y);
  }
  return box;
}

TEST_F(RenderTest, ClockIsYellowTextFromTheCornerAtItsPointSizeOnlyWhenSwitchedOn) {
  EXPECT_TRUE(PixelsWhere(Frame(), IsYellow).empty());

  ShowTime = true;
  for (int height : {480, 200}) {
    Drawer.reset();
    Surface.reset();
    MAKE_SURFACE_OR_STOP(Surface, Width, height);
    Drawer = std::make_unique<TDrawer>(*Surface, *Env);
    Drawer->UseSwitches(&ShowTrail, &ShowTime);
    Drawer->Resize(Width, height);
    const TTextRect box = YellowBox(Frame());
    // A thirtieth of the height in points, at least 8; 96 pixels per inch.
    const int size = std::max(height / 30, 8);
    const int pixels = (size * 96 + 36) / 72;
    SCOPED_TRACE("height " + std::to_string(height));
    ASSERT_GE(box.Right, 0) << "no clock drawn";
    EXPECT_GE(box.Left, size - 1);
    EXPECT_LE(box.Left, size + pixels / 2);
    EXPECT_GE(box.Top, size);
    EXPECT_LE(box.Top, size + pixels / 2);
    EXPECT_LT(box.Bottom, size + 2 * pixels);
    EXPECT_GT(box.Right - box.Left, 2 * pixels);  // several characters wide
  }
  // A frame nobody looked at takes its clock with it when the next one replaces it.
  Drawer->Render();
  ShowTime = false;
  EXPECT_TRUE(PixelsWhere(Frame(), IsYellow).empty());
}

}  // namespace
