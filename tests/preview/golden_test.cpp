// The sample figure skinned by its walk, against a picture looked at and kept
// (scripts/make-preview-images.sh makes it again). Text is drawn with whatever
// fonts the machine has, so the caption, the legend and the strips at the top
// and bottom of each panel where labels go are left out; in the rest of the
// picture every pixel must agree within a few levels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "preview/layout.h"
#include "preview/preview.h"
#include "smd/smd_reader.h"

namespace {

constexpr int kChannelTolerance = 6;
constexpr int kLabelStrip = 22;

bool UnderText(const kw::preview::Layout& layout, int x, int y) {
  if (y < layout.caption.height || y >= layout.legend.y) return true;
  for (const kw::preview::Rect& panel : layout.panels) {
    if (x >= panel.x && x < panel.x + panel.width && y >= panel.y && y < panel.y + panel.height) {
      return y < panel.y + kLabelStrip || y >= panel.y + panel.height - kLabelStrip;
    }
  }
  return false;
}

TEST(PreviewGolden, SampleFigureWalkMatchesTheKeptPicture) {
  const std::string golden = KW_TEST_DATA_DIR "/export/golden/";
  kw::smd::File reference, walk;
  std::string error;
  ASSERT_TRUE(kw::smd::ReadSmd(golden + "figure_reference.smd", &reference, &error)) << error;
  ASSERT_TRUE(kw::smd::ReadSmd(golden + "figure_walk.smd", &walk, &error)) << error;
  kw::preview::Picture picture, kept;
  kw::preview::Options options;
  options.frames = {0, 15, 30};  // the frames the kept picture shows
  ASSERT_TRUE(kw::preview::Render(
      kw::preview::SubjectOf(&reference, "figure_reference.smd", &walk, "figure_walk.smd"), options,
      &picture, &error))
      << error;
  ASSERT_TRUE(kw::preview::Picture::ReadPng(KW_TEST_DATA_DIR "/preview/golden/figure_walk.png",
                                            &kept, &error))
      << error;
  ASSERT_EQ(picture.Width(), kept.Width());
  ASSERT_EQ(picture.Height(), kept.Height());

  const kw::preview::Layout layout = kw::preview::MakeLayout(
      picture.Width(), picture.Height(), 3, 4, static_cast<int>(reference.materials.size()));
  long long differing = 0, compared = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      if (UnderText(layout, x, y)) continue;
      ++compared;
      const std::uint32_t a = picture.Pixel(x, y), b = kept.Pixel(x, y);
      for (int shift = 0; shift <= 16; shift += 8) {
        if (std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > kChannelTolerance) {
          ++differing;
          break;
        }
      }
    }
  }
  EXPECT_GT(compared, picture.Width() * picture.Height() / 2);
  // Room for edge smoothing that another build of the drawing library does
  // differently; a bone line left out alone is twenty times this.
  EXPECT_LE(differing, compared / 2000) << differing << " of " << compared << " pixels differ";
}

}  // namespace
