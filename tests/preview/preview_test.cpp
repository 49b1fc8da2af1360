#include "preview/preview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "preview/layout.h"
#include "preview/posed_model.h"
#include "preview/raster.h"
#include "preview/view.h"
#include "smd/smd_reader.h"

namespace {

using kw::preview::Picture;
using kw::smd::File;

File Parse(const std::string& text) {
  File file;
  std::string error;
  EXPECT_TRUE(kw::smd::ParseSmd(text, "x", &file, &error)) << error;
  EXPECT_TRUE(file.problems.empty());
  return file;
}

bool Bluish(std::uint32_t rgb) { return (rgb & 255) > ((rgb >> 16) & 255) + 25; }
bool Greyish(std::uint32_t rgb) {
  const int r = (rgb >> 16) & 255, b = rgb & 255;
  return std::abs(r - b) < 24;
}

// One triangle, A (0,0,0), B (10,5,0), C (0,10,10), of a blue material, on a
// node at the origin. Its box is 10 units on each side around (5,5,5); a
// 200 x 200 panel shows it at 0.84 * 100 / 5 = 16.8 pixels per unit, so a
// coordinate of 0 lands on pixel 16 and 10 on pixel 184, 5 on the middle.
const char kTriangle[] =
    "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n"
    "triangles\nblue.tga\n"
    "0 0 0 0 0 0 1 0 0\n0 10 5 0 0 0 1 0 0\n0 0 10 10 0 0 1 0 0\nend\n";

TEST(PreviewViews, ATriangleLandsOnKnownPixelsInEachPanel) {
  const File file = Parse(kTriangle);
  kw::preview::Options options;
  options.width = 400;
  options.height = 454;  // caption 26, two rows of 200, one legend line of 28
  Picture picture;
  std::string error;
  ASSERT_TRUE(
      kw::preview::Render(kw::preview::SubjectOf(&file, "t.smd"), options, &picture, &error))
      << error;
  const kw::preview::Layout layout = kw::preview::MakeLayout(400, 454, 2, 2, 1);
  ASSERT_EQ(layout.panels[3].y, 226);
  ASSERT_EQ(layout.panels[3].height, 200);

  struct Case {
    int panel;
    int inX, inY;    // inside the projected triangle
    int outX, outY;  // in the panel, clear of it
  };
  // front (x, z): (16,184) (184,184) (16,16); side (y, z): (16,184) (100,184)
  // (184,16); top (x, y): (16,184) (184,100) (16,16).
  const Case cases[] = {{0, 50, 150, 150, 50}, {1, 100, 150, 40, 60}, {2, 60, 100, 150, 40}};
  for (const Case& c : cases) {
    const kw::preview::Rect& panel = layout.panels[static_cast<std::size_t>(c.panel)];
    SCOPED_TRACE("panel " + std::to_string(c.panel));
    EXPECT_TRUE(Bluish(picture.Pixel(panel.x + c.inX, panel.y + c.inY)));
    EXPECT_TRUE(Greyish(picture.Pixel(panel.x + c.outX, panel.y + c.outY)));
  }
  // The perspective panel: its centroid where the view puts it, the corner empty.
  kw::preview::Box box;
  box.Add(Point3(0, 0, 0));
  box.Add(Point3(10, 10, 10));
  const kw::preview::View view(kw::preview::ViewKind::kPerspective, box, 200, 200);
  kw::preview::ScreenPoint centroid;
  ASSERT_TRUE(view.Project(Point3(10 / 3.0f, 5, 10 / 3.0f), &centroid));
  const kw::preview::Rect& panel = layout.panels[3];
  EXPECT_TRUE(Bluish(picture.Pixel(panel.x + int(centroid.x), panel.y + int(centroid.y))));
  EXPECT_TRUE(Greyish(picture.Pixel(panel.x + 30, panel.y + 30)));
}

TEST(PreviewViews, OrthographicAxesAreZUp) {
  kw::preview::Box box;
  box.Add(Point3(-1, -1, -1));
  box.Add(Point3(1, 1, 1));
  struct Case {
    kw::preview::ViewKind kind;
    Point3 right, up;
  };
  const Case cases[] = {{kw::preview::ViewKind::kFront, Point3(1, 0, 0), Point3(0, 0, 1)},
                        {kw::preview::ViewKind::kSide, Point3(0, 1, 0), Point3(0, 0, 1)},
                        {kw::preview::ViewKind::kTop, Point3(1, 0, 0), Point3(0, 1, 0)}};
  for (const Case& c : cases) {
    const kw::preview::View view(c.kind, box, 100, 100);
    kw::preview::ScreenPoint center, right, up;
    ASSERT_TRUE(view.Project(Point3(), &center) && view.Project(c.right, &right) &&
                view.Project(c.up, &up));
    EXPECT_FLOAT_EQ(center.x, 50);
    EXPECT_FLOAT_EQ(center.y, 50);
    EXPECT_FLOAT_EQ(right.x, 50 + 42);  // 0.84 of the half panel per unit
    EXPECT_FLOAT_EQ(up.y, 50 - 42);
  }
}

// A root and an arm 10 up; the sequence, which lists its nodes the other way
// round, turns the arm a quarter about z. Vertices: one on the arm 10 along
// x, one shared half and half with the root.
const char kArm[] =
    "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\nend\n"
    "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 0 0 10 0 0 0\nend\n"
    "triangles\nskin\n"
    "1 10 0 10 0 0 1 0 0\n"
    "1 10 0 10 0 0 1 0 0 2 0 0.5 1 0.5\n"
    "1 0 0 10 0 0 1 0 0\nend\n";
const char kTurn[] =
    "version 1\nnodes\n0 \"arm\" 1\n1 \"root\" -1\nend\n"
    "skeleton\ntime 0\n0 0 0 10 0 0 0\n1 0 0 0 0 0 0\n"
    "time 1\n0 0 0 10 0 0 1.5707963\n1 0 0 0 0 0 0\nend\n";

TEST(PreviewPose, ABoneTurnedAQuarterMovesItsVertices) {
  const File reference = Parse(kArm);
  const File sequence = Parse(kTurn);
  const kw::preview::PosedModel rest(reference, sequence, sequence.frames[0]);
  const kw::preview::PosedModel turned(reference, sequence, sequence.frames[1]);
  struct Case {
    const kw::preview::PosedModel* pose;
    int corner;
    Point3 expected;
  };
  const Case cases[] = {
      {&rest, 0, Point3(10, 0, 10)},   {&rest, 1, Point3(10, 0, 10)},
      {&turned, 0, Point3(0, 10, 10)}, {&turned, 1, Point3(5, 5, 10)},
      {&turned, 2, Point3(0, 0, 10)},  // on the joint: it turns in place
  };
  for (const Case& c : cases) {
    const Point3 p = c.pose->Corner(0, c.corner);
    EXPECT_NEAR(p.x, c.expected.x, 1e-4f);
    EXPECT_NEAR(p.y, c.expected.y, 1e-4f);
    EXPECT_NEAR(p.z, c.expected.z, 1e-4f);
  }
  ASSERT_EQ(turned.Joints().size(), 2u);
  EXPECT_NEAR(turned.Joints()[1].z, 10, 1e-6f);
  EXPECT_EQ(turned.Parents()[1], 0);
}

// A loop, whose last frame is its first: by default the first frame and the
// two that differ most from it and from each other; a still sequence shows
// its first frame alone.
TEST(PreviewFrames, TheFramesThatDifferMostUnlessAskedAndNothingOutside) {
  std::string loop = "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\nend\nskeleton\n";
  for (int f = 0; f < 9; ++f) {
    const double angle = f <= 4 ? f * 0.25 : (8 - f) * 0.25;  // there and back
    loop += "time " + std::to_string(f) + "\n0 0 0 0 0 0 0\n1 0 0 10 0 0 " + std::to_string(angle) +
            "\n";
  }
  std::string still = loop;
  for (std::size_t at = still.find("\n1 0 0 10 0 0 "); at != std::string::npos;
       at = still.find("\n1 0 0 10 0 0 ", at + 1)) {
    still.replace(at + 14, still.find('\n', at + 1) - at - 14, "0");
  }
  std::vector<int> frames;
  std::string error;
  ASSERT_TRUE(kw::preview::ChooseFrames(Parse(loop + "end\n"), {}, &frames, &error));
  EXPECT_EQ(frames, (std::vector<int>{0, 2, 4}));
  ASSERT_TRUE(kw::preview::ChooseFrames(Parse(still + "end\n"), {}, &frames, &error));
  EXPECT_EQ(frames, (std::vector<int>{0}));

  const File sequence = Parse(kTurn);
  ASSERT_TRUE(kw::preview::ChooseFrames(sequence, {1, 0}, &frames, &error));
  EXPECT_EQ(frames, (std::vector<int>{1, 0}));
  EXPECT_FALSE(kw::preview::ChooseFrames(sequence, {0, 2}, &frames, &error));
  EXPECT_EQ(error, "frame 2 is not in the sequence (it has 2 frames, 0 to 1)");
}

// Past its budget the rasteriser fills, row by row, the samples nothing has
// covered: exactly those the depth test would give a triangle on its own.
TEST(PreviewRaster, PastTheBudgetATriangleCoversWhatTheDepthTestWould) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> place(-10, 50);
  constexpr int kSide = 40;
  int filledPastBudget = 0;
  for (int round = 0; round < 300; ++round) {
    kw::preview::ScreenPoint corners[3];
    for (auto& corner : corners) corner = {place(random), place(random), 1};
    std::vector<std::uint32_t> exact(kSide * kSide, 0), filled(kSide * kSide, 0);
    kw::preview::Raster depthTest(kSide, kSide, 1), overBudget(kSide, kSide, 1, 0);
    depthTest.Fill(corners, 0xffffff);
    overBudget.Fill(corners, 0xffffff);
    EXPECT_FALSE(depthTest.OverBudget());
    filledPastBudget += overBudget.OverBudget();
    depthTest.Resolve(reinterpret_cast<unsigned char*>(exact.data()), kSide * 4, 0, 0);
    overBudget.Resolve(reinterpret_cast<unsigned char*>(filled.data()), kSide * 4, 0, 0);
    ASSERT_EQ(exact, filled) << "round " << round;
  }
  EXPECT_GT(filledPastBudget, 250);  // the rest lie outside the panel
}

// A skeleton past what cairo's paths draw in time is plotted pixel by pixel:
// its bones and joints still show.
TEST(PreviewViews, AHugeSkeletonIsStillDrawn) {
  std::string text = "version 1\nnodes\n";
  for (int i = 0; i < 5000; ++i)
    text += std::to_string(i) + " \"b" + std::to_string(i) + "\" " + std::to_string(i - 1) + "\n";
  text += "end\nskeleton\ntime 0\n0 0 0 0 0 0 0\n";
  for (int i = 1; i < 5000; ++i) text += std::to_string(i) + " 1 0 0 0 0 0\n";
  const File file = Parse(text + "end\n");
  kw::preview::Options options;
  options.width = 400;
  options.height = 400;
  Picture picture;
  std::string error;
  ASSERT_TRUE(
      kw::preview::Render(kw::preview::SubjectOf(&file, "t.smd"), options, &picture, &error))
      << error;
  // The front view's middle row, where the chain runs along x.
  const kw::preview::Layout layout = kw::preview::MakeLayout(400, 400, 2, 2, 0);
  const kw::preview::Rect& front = layout.panels[0];
  int dark = 0, yellow = 0;
  for (int x = front.x + 40; x < front.x + front.width - 40; ++x) {
    const std::uint32_t rgb = picture.Pixel(x, front.y + front.height / 2);
    dark += (rgb & 255) < 0x40 && ((rgb >> 16) & 255) < 0x40;
    yellow += ((rgb >> 16) & 255) > 0xe0 && (rgb & 255) < 0x40;
  }
  EXPECT_GT(dark + yellow, front.width / 2) << dark << " " << yellow;
}

}  // namespace
