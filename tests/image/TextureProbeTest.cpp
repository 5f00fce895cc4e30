// TextureProbeTest.cpp: the texture probe's rules, which need no GL: a missing file and a
// directory are skipped without a message, a real file is decoded, and a present but
// broken file gets the decoder's own message.
#include "FailureSupport.h"
#include "SceneTextures.h"

#include <gtest/gtest.h>

using decodetest::Decoded;
using decodetest::TempDir;

TEST(TextureProbe, MissingFilesAndDirectoriesAreSkippedSilentlyAndFilesDecode) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(BeginDialogCapture());
  EXPECT_EQ(LoadBitmapFile(nullptr), nullptr);
  EXPECT_EQ(LoadBitmapFile(dir.File("missing.bmp").c_str()), nullptr);
  EXPECT_EQ(LoadBitmapFile(dir.path.c_str()), nullptr);
  EXPECT_TRUE(CapturedDialogs().empty());

  // A real file decodes to the picture: every pixel is palette entry 1.
  const std::string good = dir.File("good.bmp");
  ASSERT_TRUE(bmpw::SaveFile(good, bmpw::Write(decodetest::GoodPaletteFile())));
  Decoded d = decodetest::Collect(LoadBitmapFile(good.c_str()));
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.dialogs.empty());
  EXPECT_EQ(d.width, 5);
  EXPECT_EQ(d.height, 3);
  ASSERT_EQ(d.rgb.size(), 45u);
  for (std::size_t i = 0; i < d.rgb.size(); i += 3) {
    EXPECT_EQ(d.rgb[i], 4);
    EXPECT_EQ(d.rgb[i + 1], 5);
    EXPECT_EQ(d.rgb[i + 2], 6);
  }

  // A file that is there but is no bitmap is the decoder's to report, once.
  const std::string broken = dir.File("broken.bmp");
  ASSERT_TRUE(bmpw::SaveFile(broken, {'B', 'M', 'x'}));
  ASSERT_TRUE(BeginDialogCapture());
  decodetest::ExpectOneMessage(decodetest::Collect(LoadBitmapFile(broken.c_str())),
                               decodetest::kUnknown);
}
