// scene_picture_test.cpp: rendered frames of the corridor on the headless backend, compared
// with the reference pictures in tests/render/reference within a tolerance that allows for
// small rasterisation differences between Mesa releases, plus direct checks of what the
// frames must show whatever the pictures: black window openings, an unlit first frame and
// lit later ones, a view that depends only on the sum of the two yaws, a light 3 that adds
// nothing, and talvern-snapshot's PNG output at the default and a square size.
#include "Headless.h"
#include "SceneRender.h"
#include "SceneTextures.h"
#include "scratch_dir.h"
#include "snapshot_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int Width = 640;
constexpr int Height = 480;

std::filesystem::path ReferencePath(const std::string& name) {
  return std::filesystem::path(TALVERN_SOURCE_DIR) / "tests" / "render" / "reference" / name;
}

// Loads a PNG into bottom-row-first RGB, the order glReadPixels gives.
bool LoadPng(const std::filesystem::path& path, SnapshotImage& image) {
  int width = 0, height = 0, channels = 0;
  unsigned char* data = stbi_load(path.string().c_str(), &width, &height, &channels, 3);
  if (data == nullptr) {
    return false;
  }
  image.width = width;
  image.height = height;
  image.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    std::copy(data + static_cast<std::size_t>(height - 1 - y) * row,
              data + static_cast<std::size_t>(height - y) * row,
              image.rgb.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * row));
  }
  stbi_image_free(data);
  return true;
}

struct Difference {
  double meanAbsolute = 0; // per channel, 0..255
  double farOffShare = 0;  // share of pixels with a channel more than 40 off
  double identicalShare = 0;
};

Difference Compare(const SnapshotImage& a, const SnapshotImage& b) {
  Difference d;
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) {
    d.meanAbsolute = 255;
    d.farOffShare = 1;
    return d;
  }
  const std::size_t pixels = a.rgb.size() / 3;
  long long sum = 0;
  std::size_t farOff = 0, identical = 0;
  for (std::size_t p = 0; p < pixels; ++p) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      const int delta = std::abs(int(a.rgb[p * 3 + c]) - int(b.rgb[p * 3 + c]));
      sum += delta;
      worst = std::max(worst, delta);
    }
    farOff += worst > 40;
    identical += worst == 0;
  }
  d.meanAbsolute = double(sum) / double(a.rgb.size());
  d.farOffShare = double(farOff) / double(pixels);
  d.identicalShare = double(identical) / double(pixels);
  return d;
}

double MeanLevel(const SnapshotImage& image) {
  long long sum = 0;
  for (unsigned char v : image.rgb) {
    sum += v;
  }
  return image.rgb.empty() ? 0 : double(sum) / double(image.rgb.size());
}

const unsigned char* Pixel(const SnapshotImage& image, int x, int y) {
  return &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
}

class ScenePicture : public ::testing::Test {
protected:
  void SetUp() override {
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    SceneTextures = {};
    for (const char* name : {"floor1.bmp", "pillars1.bmp", "ceiling.bmp"}) {
      CopyCommittedPicture(name);
    }
  }
  void TearDown() override { CloseSnapshotWindow(); }

  // Opens a 640x480 window and sets the new context up as the program does.
  void OpenScene() {
    ASSERT_TRUE(OpenSnapshotWindow(Width, Height));
    ResizeScene(Width, Height);
    ASSERT_TRUE(InitSceneState());
  }

  ScratchDirectory scratch;
};

} // namespace

TEST_F(ScenePicture, FramesAtSeveralPosesMatchTheReferencePictures) {
  struct Pose {
    const char* reference;
    CameraPose camera;
  };
  const Pose poses[] = {
      {"start.png", {}},                         // the start: down the corridor
      {"turned90.png", {90.0f, 0.0f, -80.0f}},   // facing the right wall's openings
      {"forward40.png", {0.0f, 0.0f, -40.0f}},   // walked 40 units forward
      {"sidebay.png", {60.0f, 0.0f, -5.0f}},     // at the far end, looking into the bay
      {"backleft.png", {-150.0f, 0.0f, -30.0f}}, // turned round toward the open end
  };
  for (const Pose& pose : poses) {
    SnapshotImage frame, reference;
    ASSERT_TRUE(TakeSceneSnapshot(pose.camera, 2, Width, Height, frame)) << pose.reference;
    ASSERT_TRUE(LoadPng(ReferencePath(pose.reference), reference)) << pose.reference;
    const Difference d = Compare(frame, reference);
    EXPECT_LT(d.meanAbsolute, 4.0) << pose.reference;
    EXPECT_LT(d.farOffShare, 0.02) << pose.reference;
  }
}

TEST_F(ScenePicture, FirstFrameOfEachContextIsUnlitAndLaterFramesLit) {
  OpenScene();
  SnapshotImage first, second, third;
  ASSERT_TRUE(RenderSnapshotFrames({}, 1, first));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING)) << "lighting is still off after a frame";
  ASSERT_TRUE(RenderSnapshotFrames({}, 1, second));
  ASSERT_TRUE(RenderSnapshotFrames({}, 1, third));
  CloseSnapshotWindow();
  // Unlit, each texture is modulated by its colour only; lit, most of the corridor lies
  // outside the three cones and gets only the scene's dim ambient light.
  EXPECT_GT(Compare(first, second).farOffShare, 0.2);
  EXPECT_LT(MeanLevel(second), MeanLevel(first) * 0.8);
  EXPECT_EQ(Compare(second, third).identicalShare, 1.0);

  // The rebuilt window's context starts unlit again.
  SceneTextures = {};
  OpenScene();
  SnapshotImage again;
  ASSERT_TRUE(RenderSnapshotFrames({}, 1, again));
  EXPECT_EQ(Compare(first, again).identicalShare, 1.0);
}

TEST_F(ScenePicture, WindowOpeningsAreBlackLitAndUnlit) {
  OpenScene();
  for (int frame = 1; frame <= 2; ++frame) {
    SnapshotImage image;
    ASSERT_TRUE(RenderSnapshotFrames({}, 1, image));
    // DrawScene leaves its viewing matrix in place: project the openings' centres with it.
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    int checked = 0;
    int gaps = 0;
    for (int c = 0; c < 80; c += 6) {
      GLdouble x = 0, y = 0, z = 0;
      ASSERT_TRUE(gluProject(10.0, 3.0, c + 13.5, modelview, projection, viewport, &x, &y, &z));
      const int px = int(std::lround(x)), py = int(std::lround(y));
      if (px < 2 || py < 2 || px >= Width - 2 || py >= Height - 2 || z < 0 || z > 1) {
        continue;
      }
      ++checked;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const unsigned char* p = Pixel(image, px + dx, py + dy);
          EXPECT_EQ(p[0] + p[1] + p[2], 0)
              << "opening c=" << c << " frame " << frame << " at " << px << "," << py;
        }
      }
      // In the 1-unit gap before the opening the wall shows, not black, in the unlit frame
      // (where the gap is at least three pixels wide on screen).
      GLdouble x0 = 0, x1 = 0, ignored = 0;
      ASSERT_TRUE(gluProject(10.0, 3.0, c + 10.0, modelview, projection, viewport, &x0, &ignored,
                             &ignored));
      ASSERT_TRUE(gluProject(10.0, 3.0, c + 11.0, modelview, projection, viewport, &x1, &y, &z));
      if (frame == 1 && c > 0 && std::fabs(x1 - x0) >= 3.0) {
        ++gaps;
        const unsigned char* wall =
            Pixel(image, int(std::lround((x0 + x1) / 2)), int(std::lround(y)));
        EXPECT_GT(wall[0] + wall[1] + wall[2], 30) << "wall between openings at c=" << c;
      }
    }
    EXPECT_GE(checked, 10) << "frame " << frame;
    if (frame == 1) {
      EXPECT_GE(gaps, 3);
    }
  }
}

TEST_F(ScenePicture, ViewDependsOnlyOnTheSumOfTheYawsAndLightThreeAddsNothing) {
  SnapshotImage straight, cancelled, turned;
  ASSERT_TRUE(TakeSceneSnapshot({0.0f, 0.0f, -80.0f}, 2, Width, Height, straight));
  ASSERT_TRUE(TakeSceneSnapshot({30.0f, -30.0f, -80.0f}, 2, Width, Height, cancelled));
  ASSERT_TRUE(TakeSceneSnapshot({30.0f, 0.0f, -80.0f}, 2, Width, Height, turned));
  const Difference same = Compare(straight, cancelled);
  EXPECT_GT(same.identicalShare, 0.995);
  EXPECT_LT(same.meanAbsolute, 0.2);
  EXPECT_GT(Compare(straight, turned).farOffShare, 0.2) << "turning changed nothing";

  // Light 3 is configured and enabled, but no surface lies in its cone: switching it off
  // changes no pixel of a lit frame.
  OpenScene();
  SnapshotImage withLight3, withoutLight3;
  ASSERT_TRUE(RenderSnapshotFrames({-20.0f, 0.0f, -60.0f}, 2, withLight3));
  glDisable(GL_LIGHT3);
  ASSERT_TRUE(RenderSnapshotFrames({-20.0f, 0.0f, -60.0f}, 1, withoutLight3));
  EXPECT_EQ(Compare(withLight3, withoutLight3).identicalShare, 1.0);
}

TEST_F(ScenePicture, SnapshotToolWritesTheRenderedFrameAsPng) {
  SnapshotImage expected, written;
  ASSERT_TRUE(TakeSceneSnapshot({90.0f, 0.0f, -60.0f}, 2, Width, Height, expected));
  const std::string command =
      std::string("'") + SNAPSHOT_PATH + "' --forward -60 --yaw 90 --out shot.png > tool.log";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(LoadPng("shot.png", written));
  EXPECT_EQ(written.width, Width);
  EXPECT_EQ(written.height, Height);
  EXPECT_EQ(Compare(expected, written).identicalShare, 1.0);

  // A square picture keeps the vertical field of view and follows the size sideways, so
  // it is the middle 480 columns of the 640x480 frame (an aspect ratio stuck at 4:3 would
  // squeeze it).
  const std::string square = std::string("'") + SNAPSHOT_PATH +
                             "' --forward -60 --yaw 90 --size 480x480 --out square.png > "
                             "square.log";
  ASSERT_EQ(std::system(square.c_str()), 0);
  SnapshotImage squareWritten, middle;
  ASSERT_TRUE(LoadPng("square.png", squareWritten));
  EXPECT_EQ(squareWritten.width, 480);
  EXPECT_EQ(squareWritten.height, 480);
  middle.width = middle.height = 480;
  for (int y = 0; y < 480; ++y) {
    const unsigned char* row = Pixel(expected, 80, y);
    middle.rgb.insert(middle.rgb.end(), row, row + 480 * 3);
  }
  const Difference squareDifference = Compare(middle, squareWritten);
  EXPECT_GT(squareDifference.identicalShare, 0.99);
  EXPECT_LT(squareDifference.meanAbsolute, 0.5);

  // One frame only: the unlit one, written to snapshot.png when no --out is given; each
  // run names the file it wrote on stdout.
  SnapshotImage unlitExpected, unlitWritten;
  ASSERT_TRUE(TakeSceneSnapshot({}, 1, Width, Height, unlitExpected));
  const std::string unlit = std::string("'") + SNAPSHOT_PATH + "' --frames 1 > unlit.log";
  ASSERT_EQ(std::system(unlit.c_str()), 0);
  ASSERT_TRUE(LoadPng("snapshot.png", unlitWritten));
  EXPECT_EQ(Compare(unlitExpected, unlitWritten).identicalShare, 1.0);
  const auto log = [](const char* path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(log("tool.log"), "talvern-snapshot: wrote shot.png (640x480)\n");
  EXPECT_EQ(log("square.log"), "talvern-snapshot: wrote square.png (480x480)\n");
  EXPECT_EQ(log("unlit.log"), "talvern-snapshot: wrote snapshot.png (640x480)\n");

  // A pose list renders each picture as its own run would, in a new context each.
  std::ofstream("poses.txt") << "# forward yaw file\n-60 90 first.png\n\n  0 -60\tsecond.png\n";
  const std::string batch = std::string("'") + SNAPSHOT_PATH + "' --poses poses.txt > poses.log";
  ASSERT_EQ(std::system(batch.c_str()), 0);
  SnapshotImage first, second, secondExpected;
  ASSERT_TRUE(LoadPng("first.png", first));
  ASSERT_TRUE(LoadPng("second.png", second));
  ASSERT_TRUE(TakeSceneSnapshot({-60.0f, 0.0f, 0.0f}, 2, Width, Height, secondExpected));
  EXPECT_EQ(Compare(expected, first).identicalShare, 1.0);
  EXPECT_EQ(Compare(secondExpected, second).identicalShare, 1.0);
  EXPECT_EQ(log("poses.log"), "talvern-snapshot: wrote first.png (640x480)\n"
                              "talvern-snapshot: wrote second.png (640x480)\n");
  // A malformed line stops the run before any picture is drawn.
  std::ofstream("bad.txt") << "-60 90 third.png\n-60 90\n";
  const std::string bad = std::string("'") + SNAPSHOT_PATH + "' --poses bad.txt 2> bad.log";
  EXPECT_NE(std::system(bad.c_str()), 0);
  EXPECT_FALSE(std::ifstream("third.png").good());
  EXPECT_EQ(
      log("bad.log").rfind("talvern-snapshot: pose list line 2: expected FORWARD YAW FILE", 0), 0u);
}
