// kestrelworks preview and export --preview as a user runs them: pictures
// written whole or not at all, and refusals in one line with the right status.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "preview/layout.h"
#include "preview/preview.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

bool IsPng(const std::string& path) { return ReadFile(path).compare(0, 8, kPngSignature) == 0; }

const char kSequence[] =
    "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n"
    "time 1\n0 0 0 1 0 0 0\nend\n";
const char kReference[] =
    "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n"
    "triangles\nm.tga\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 0 0\n0 0 0 1 0 0 1 0 0\nend\n";

TEST(PreviewCommand, RefusalsLeaveTheEarlierPictureAlone) {
  ScratchFolder folder;
  WriteFile(folder / "ref.smd", kReference);
  WriteFile(folder / "seq.smd", kSequence);
  WriteFile(folder / "bad.smd", "this is not an SMD\n");
  ASSERT_EQ(::mkfifo((folder / "fifo.smd").c_str(), 0600), 0);
  // The same line as check gives.
  const RunResult check = RunCli(folder, {"check", "bad.smd"});
  ASSERT_EQ(check.status, kExitSceneUnreadable) << Describe(check);
  ASSERT_EQ(check.err.rfind("kestrelworks: ", 0), 0u) << check.err;
  const std::string notSmd = check.err.substr(14);

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;  // the start of the one line after "kestrelworks: "
  };
  const Case cases[] = {
      {{"bad.smd"}, kExitSceneUnreadable, notSmd},
      {{"ref.smd", "--sequence", "bad.smd"}, kExitSceneUnreadable, notSmd},
      {{"absent.smd"}, kExitSceneUnreadable, "absent.smd: "},
      {{"fifo.smd"}, kExitSceneUnreadable, "fifo.smd: it is a FIFO, not a regular file"},
      {{"ref.smd", "--sequence", "fifo.smd"}, kExitSceneUnreadable, "fifo.smd: it is a FIFO"},
      {{"ref.smd", "--size", "8193x600"},
       kExitUsage,
       "--size: \"8193x600\" is not WxH with 128 to 8192"},
      {{"ref.smd", "--size", "800"}, kExitUsage, "--size: \"800\""},
      {{"ref.smd", "--size", "4294967424x200"}, kExitUsage, "--size: \"4294967424x200\""},
      {{"ref.smd", "--frames", "0"}, kExitUsage, "--frames: only with --sequence"},
      {{"ref.smd", "--sequence", "seq.smd", "--frames", "0,2"},
       kExitUsage,
       "--frames: seq.smd: frame 2 is not in the sequence (it has 2 frames, 0 to 1)"},
      {{"ref.smd", "--sequence", "seq.smd", "--frames", "0,1,0,1,0,1,0", "--size", "200x200"},
       kExitUsage,
       "7 rows of views do not fit a picture 200 pixels high"},
  };
  for (const Case& c : cases) {
    WriteFile(folder / "out.png", "earlier");
    std::vector<std::string> arguments = {"preview", "-o", "out.png"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const RunResult run = RunCli(folder, arguments);
    SCOPED_TRACE(c.arguments[0] + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
    EXPECT_EQ(run.status, c.status) << Describe(run);
    EXPECT_TRUE(IsOneLine(run.err)) << run.err;
    EXPECT_EQ(run.err.rfind("kestrelworks: " + c.message, 0), 0u) << run.err;
    EXPECT_EQ(ReadFile(folder / "out.png"), "earlier");
  }
  EXPECT_EQ(ListFolder(folder.Path()),
            (std::vector<std::string>{"bad.smd", "fifo.smd", "out.png", "ref.smd", "seq.smd"}));

  // The picture never goes over what it draws, by any name.
  ASSERT_EQ(::symlink("seq.smd", (folder / "link.png").c_str()), 0);
  for (const char* output : {"ref.smd", "link.png"}) {
    const RunResult run =
        RunCli(folder, {"preview", "ref.smd", "--sequence", "seq.smd", "-o", output});
    EXPECT_EQ(run.status, kExitUsage) << Describe(run);
    EXPECT_NE(run.err.find("that is the "), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(folder / "ref.smd"), kReference);
  EXPECT_EQ(ReadFile(folder / "seq.smd"), kSequence);
}

TEST(PreviewCommand, DrawsReferencesSequencesEmptyFilesAndExports) {
  ScratchFolder folder;
  WriteFile(folder / "ref.smd", kReference);
  WriteFile(folder / "seq.smd", kSequence);
  WriteFile(folder / "empty.smd", "version 1\nnodes\nend\nskeleton\nend\ntriangles\nend\n");
  // As other tools write them: CR LF, tabs, a texture name without extension,
  // vertex lines without links.
  WriteFile(folder / "other.smd",
            "version 1\r\nnodes\r\n0 \"root\" -1\r\nend\r\nskeleton\r\ntime 0\r\n0\t0 0 0\t0 0 "
            "0\r\nend\r\n"
            "triangles\r\nwood\r\n0\t0 0 0\t0 0 1\t0 0\r\n0\t1 0 0\t0 0 1\t1 0\r\n0\t0 1 0\t0 0 "
            "1\t0 1\r\n"
            "end\r\n");
  // Numbers no view can place, and one triangle so large its normal would
  // overflow a float.
  WriteFile(folder / "odd.smd",
            "version 1\nnodes\n0 \"root\" -1\n1 \"lost\" 0\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n"
            "1 nan 1e30 0 0 0 0\nend\ntriangles\na\n0 nan 0 0 0 0 1 0 0\n0 1 inf 0 0 0 1 0 0\n"
            "0 0 0 1 0 0 1 0 0\nb\n0 1e38 0 0 0 0 1 0 0\n0 -1e38 0 0 0 0 1 0 0\n0 0 1e38 0 0 0 1 0 "
            "0\nend\n");
  // Far out on one axis and thin on the others: the grid's steps are below a
  // double's resolution there.
  WriteFile(folder / "far.smd",
            "version 1\nnodes\n0 \"a\" -1\n1 \"b\" 0\nend\nskeleton\ntime 0\n"
            "0 100000000000000000.0 0 0 0 0 0\n1 0 0.001 0 0 0 0\nend\n");
  // Texture names a valid SMD may hold: Latin-1 bytes, and Cyrillic too long
  // for the legend, which must cut it between characters.
  std::string cyrillic;
  for (int i = 0; i < 120; ++i) cyrillic += "\xd1\x82";
  WriteFile(
      folder / "names.smd",
      std::string(kReference).replace(std::string(kReference).find("m.tga"), 5, "caf\xe9.tga") +
          "triangles\n" + cyrillic +
          "\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 0 0\n0 0 0 1 0 0 1 0 0\nend\n");
  const std::vector<std::vector<std::string>> runs = {
      {"preview", "ref.smd", "-o", "a.png", "--size", "300x200"},
      {"preview", "ref.smd", "-o", "b.png", "--sequence", "seq.smd", "--frames", "1,0"},
      {"preview", "seq.smd", "-o", "c.png"},
      {"preview", "empty.smd", "-o", "d.png"},
      {"preview", "other.smd", "-o", "e.png"},
      {"preview", "odd.smd", "-o", "f.png", "--size", "128x128"},
      {"preview", "far.smd", "-o", "g.png"},
      {"preview", "names.smd", "-o", "h.png", "--size", "300x200"},
      {"export", KW_SOURCE_DIR "/samples/figure.json", "-o", "figure.smd", "--preview"},
  };
  for (const std::vector<std::string>& arguments : runs) {
    const RunResult run = RunCli(folder, arguments);
    EXPECT_EQ(run.status, kExitSuccess) << Describe(run);
    EXPECT_EQ(run.err, "");
  }
  for (const char* name :
       {"a.png", "b.png", "c.png", "d.png", "e.png", "f.png", "g.png", "h.png", "figure.png"}) {
    EXPECT_TRUE(IsPng(folder / name)) << name;
  }
}

// A sequence that shares no node name with the reference moves nothing: a
// warning, and under --strict no picture.
TEST(PreviewCommand, ASequenceThatMovesNothingIsAWarning) {
  ScratchFolder folder;
  WriteFile(folder / "ref.smd", kReference);
  std::string other = kSequence;
  other.replace(other.find("root"), 4, "hips");
  WriteFile(folder / "other.smd", other);
  const std::string warning =
      "warning: other.smd: no node has the name of a node of ref.smd, so the picture shows the "
      "reference unmoved\n";
  const RunResult run =
      RunCli(folder, {"preview", "ref.smd", "--sequence", "other.smd", "-o", "a.png"});
  EXPECT_EQ(run.status, kExitSuccess) << Describe(run);
  EXPECT_EQ(run.err, warning);
  EXPECT_TRUE(IsPng(folder / "a.png"));
  const RunResult strict =
      RunCli(folder, {"preview", "ref.smd", "--sequence", "other.smd", "-o", "b.png", "--strict"});
  EXPECT_EQ(strict.status, kExitStrictWarnings) << Describe(strict);
  EXPECT_EQ(strict.err, warning +
                            "kestrelworks: --strict: the preview raised a warning; b.png was not "
                            "written\n");
  EXPECT_FALSE(Exists(folder / "b.png"));
  WriteFile(folder / "seq.smd", kSequence);
  EXPECT_EQ(
      RunCli(folder, {"preview", "ref.smd", "--sequence", "seq.smd", "-o", "c.png", "--strict"})
          .status,
      kExitSuccess);
}

// A VTA of two shapes by hand: a row of the reference, then one per shape,
// each moving the corners it names. The reference lies flat in z = 0, so its
// front view is an edge; shape 1 lifts corner 2 out of it, shape 2 stretches
// corner 1 along x, which the top view shows.
TEST(PreviewCommand, FlexShapesMoveTheCornersTheyName) {
  ScratchFolder folder;
  WriteFile(folder / "ref.smd",
            "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n"
            "triangles\nm\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 1 0\n0 0 1 0 0 0 1 0 1\nend\n");
  WriteFile(folder / "shapes.vta",
            "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\ntime 1\ntime 2\nend\n"
            "vertexanimation\ntime 0\n0 0 0 0 0 0 1\n1 1 0 0 0 0 1\n2 0 1 0 0 0 1\n"
            "time 1\n2 0 1 0.5 0 0 1\ntime 2\n1 1.5 0 0 0 0 1\nend\n");
  const RunResult run = RunCli(
      folder, {"preview", "ref.smd", "--flex", "shapes.vta", "--size", "800x600", "-o", "f.png"});
  ASSERT_EQ(run.status, 0) << Describe(run);
  EXPECT_EQ(run.err, "");
  preview::Picture picture;
  std::string error;
  ASSERT_TRUE(preview::Picture::ReadPng(folder / "f.png", &picture, &error)) << error;
  const preview::Layout layout = preview::MakeLayout(800, 600, 3, 4, 1);
  // Pixels of a view that differ from the reference's view, below the labels.
  const auto changed = [&](int row, int column) {
    const preview::Rect& a = layout.panels[static_cast<std::size_t>(column)];
    const preview::Rect& b = layout.panels[static_cast<std::size_t>(row * 4 + column)];
    int count = 0;
    for (int y = 20; y < a.height - 20; ++y)
      for (int x = 0; x < a.width; ++x)
        count += picture.Pixel(a.x + x, a.y + y) != picture.Pixel(b.x + x, b.y + y);
    return count;
  };
  enum { kFront = 0, kTop = 2 };
  EXPECT_GT(changed(1, kFront), 1000);  // lifted out of the plane
  EXPECT_GT(changed(2, kTop), 1000);    // stretched
  EXPECT_LT(changed(2, kFront), 50);    // still flat: only the joint's ring, at most

  // A corner the reference does not have is a warning, and --strict draws nothing.
  WriteFile(folder / "far.vta",
            "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\ntime 1\nend\n"
            "vertexanimation\ntime 0\n0 0 0 0 0 0 1\n9 0 0 0 0 0 1\ntime 1\n9 0 0 1 0 0 1\nend\n");
  const RunResult strict =
      RunCli(folder, {"preview", "ref.smd", "--flex", "far.vta", "--strict", "-o", "far.png"});
  EXPECT_EQ(strict.status, kExitStrictWarnings) << Describe(strict);
  EXPECT_EQ(strict.err.rfind("warning: far.vta: 2 vertex lines name a vertex not there", 0), 0u)
      << strict.err;
  EXPECT_FALSE(IsPng(folder / "far.png"));
}

}  // namespace
}  // namespace kw::test

namespace kw::test {
namespace {

// Pixels of the collision model's red, which nothing else in a picture has.
int RedPixels(const std::string& png) {
  kw::preview::Picture picture;
  std::string error;
  if (!kw::preview::Picture::ReadPng(png, &picture, &error)) {
    ADD_FAILURE() << error;
    return -1;
  }
  int red = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const std::uint32_t rgb = picture.Pixel(x, y);
      red += (rgb >> 16 & 0xff) > 180 && (rgb >> 8 & 0xff) < 110 && (rgb & 0xff) < 110;
    }
  }
  return red;
}

// The hulls of export --all beside the reference are drawn over it; named
// with --collision they are drawn too, and without either nothing is red.
TEST(PreviewCommand, DrawsTheCollisionModelBesideTheReference) {
  const std::string duck = "/usr/share/assimp/models/Collada/duck.dae";
  if (!Exists(duck)) GTEST_SKIP() << "no assimp-testmodels";
  ScratchFolder folder;
  const RunResult all = RunCli(folder, {"export", duck, "--all", "-o", "d", "--quiet"});
  ASSERT_EQ(all.status, kExitSuccess) << Describe(all);
  const RunResult beside = RunCli(folder, {"preview", "d/duck.smd", "-o", "beside.png"});
  ASSERT_EQ(beside.status, kExitSuccess) << Describe(beside);
  EXPECT_GT(RedPixels(folder / "beside.png"), 500);

  ASSERT_EQ(std::rename((folder / "d/duck_phys.smd").c_str(), (folder / "hulls.smd").c_str()), 0);
  const RunResult alone = RunCli(folder, {"preview", "d/duck.smd", "-o", "alone.png"});
  ASSERT_EQ(alone.status, kExitSuccess) << Describe(alone);
  EXPECT_EQ(RedPixels(folder / "alone.png"), 0);
  const RunResult named =
      RunCli(folder, {"preview", "d/duck.smd", "--collision", "hulls.smd", "-o", "named.png"});
  ASSERT_EQ(named.status, kExitSuccess) << Describe(named);
  EXPECT_GT(RedPixels(folder / "named.png"), 500);
}

}  // namespace
}  // namespace kw::test
