// scene_gl_test.cpp: the GL state that InitSceneState and ResizeScene leave in a real
// (headless) context, read back with glGet*, and the textures LoadSceneTextures makes,
// including a second context after the window is rebuilt.
#include "BitmapDecoder.h"
#include "Headless.h"
#include "SceneRender.h"
#include "SceneTextures.h"
#include "scratch_dir.h"
#include "snapshot_scene.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

void CopyAllPictures() {
  for (const char* name : {"floor1.bmp", "pillars1.bmp", "ceiling.bmp"}) {
    CopyCommittedPicture(name);
  }
}

std::vector<float> Light(GLenum light, GLenum pname, int count) {
  std::vector<float> values(4, -99.0f);
  glGetLightfv(light, pname, values.data());
  values.resize(static_cast<std::size_t>(count));
  return values;
}

std::vector<float> Floats(GLenum pname, int count) {
  std::vector<float> values(16, -99.0f);
  glGetFloatv(pname, values.data());
  values.resize(static_cast<std::size_t>(count));
  return values;
}

GLint Integer(GLenum pname) {
  GLint value = -99;
  glGetIntegerv(pname, &value);
  return value;
}

GLint TextureLevel(GLuint name, GLenum pname) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint value = -1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, pname, &value);
  return value;
}

// The texture's level-0 image as packed RGB rows, first row first.
std::vector<unsigned char> TextureImage(GLuint name, int width, int height) {
  glBindTexture(GL_TEXTURE_2D, name);
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return pixels;
}

std::vector<unsigned char> DecodedPixels(const char* path, int& width, int& height) {
  RgbImage* image = DecodeBitmapFile(path);
  if (image == nullptr) {
    return {};
  }
  width = image->width;
  height = image->height;
  std::vector<unsigned char> pixels(image->pixels,
                                    image->pixels + static_cast<std::size_t>(width) * height * 3);
  std::free(image->pixels);
  std::free(image);
  return pixels;
}

class SceneGl : public ::testing::Test {
protected:
  void SetUp() override {
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    SceneTextures = {};
    SceneCamera = {};
  }
  void TearDown() override { CloseSnapshotWindow(); }
  ScratchDirectory scratch;
};

} // namespace

TEST_F(SceneGl, InitSceneStateSetsTheFixedStateAndFourLightsAndLeavesLightingOff) {
  CopyAllPictures();
  ASSERT_TRUE(OpenSnapshotWindow(640, 480));
  ResizeScene(640, 480);
  ASSERT_TRUE(InitSceneState());

  for (GLenum on : {GL_TEXTURE_2D, GL_DEPTH_TEST, GL_COLOR_MATERIAL, GL_LIGHT1, GL_LIGHT2,
                    GL_LIGHT3, GL_LIGHT4}) {
    EXPECT_TRUE(glIsEnabled(on)) << std::hex << on;
  }
  for (GLenum off : {GL_LIGHTING, GL_LIGHT0, GL_NORMALIZE, GL_CULL_FACE, GL_BLEND, GL_FOG}) {
    EXPECT_FALSE(glIsEnabled(off)) << std::hex << off;
  }
  EXPECT_EQ(Floats(GL_COLOR_CLEAR_VALUE, 4), (std::vector<float>{0, 0, 0, 0.5f}));
  EXPECT_EQ(Floats(GL_DEPTH_CLEAR_VALUE, 1)[0], 1.0f);
  EXPECT_EQ(Integer(GL_DEPTH_FUNC), GL_LEQUAL);
  EXPECT_EQ(Integer(GL_SHADE_MODEL), GL_SMOOTH);
  EXPECT_EQ(Integer(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
  EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
  EXPECT_EQ(Integer(GL_UNPACK_ALIGNMENT), 4);
  // Colour material with GL's default mode: the colour drives ambient and diffuse.
  EXPECT_EQ(Integer(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);

  // Lights 4, 1 and 2: white, positional, hanging 10 above eye level, cones straight down;
  // read back in eye coordinates.
  struct SpotLight {
    GLenum light;
    std::vector<float> position;
  };
  const SpotLight spots[] = {
      {GL_LIGHT4, {8, 10, 55, 1}}, {GL_LIGHT1, {8, 10, 5, 1}}, {GL_LIGHT2, {15, 10, 70, 1}}};
  for (const SpotLight& spot : spots) {
    EXPECT_EQ(Light(spot.light, GL_POSITION, 4), spot.position);
    EXPECT_EQ(Light(spot.light, GL_SPOT_DIRECTION, 3), (std::vector<float>{0, -1, 0}));
    EXPECT_EQ(Light(spot.light, GL_SPOT_CUTOFF, 1)[0], 48.0f);
  }
  for (GLenum light : {GL_LIGHT1, GL_LIGHT2, GL_LIGHT3, GL_LIGHT4}) {
    EXPECT_EQ(Light(light, GL_AMBIENT, 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(Light(light, GL_DIFFUSE, 4), (std::vector<float>{1, 1, 1, 1}));
    // Untouched: no highlights, no fall-off.
    EXPECT_EQ(Light(light, GL_SPECULAR, 4), (std::vector<float>{0, 0, 0, 1}));
    EXPECT_EQ(Light(light, GL_SPOT_EXPONENT, 1)[0], 0.0f);
    EXPECT_EQ(Light(light, GL_CONSTANT_ATTENUATION, 1)[0], 1.0f);
    EXPECT_EQ(Light(light, GL_LINEAR_ATTENUATION, 1)[0], 0.0f);
    EXPECT_EQ(Light(light, GL_QUADRATIC_ATTENUATION, 1)[0], 0.0f);
  }
  // Light 3 has a defined place: positional, at or above the ceiling's eye height (10),
  // with a cone narrower than a half-space opening upward, so no surface of the corridor
  // can fall inside it, whatever a GL does with zero-length directions.
  const std::vector<float> position3 = Light(GL_LIGHT3, GL_POSITION, 4);
  const std::vector<float> direction3 = Light(GL_LIGHT3, GL_SPOT_DIRECTION, 3);
  EXPECT_EQ(position3[3], 1.0f);
  EXPECT_GE(position3[1], 10.0f);
  EXPECT_LT(Light(GL_LIGHT3, GL_SPOT_CUTOFF, 1)[0], 90.0f);
  EXPECT_GT(direction3[1], 0.0f);
  EXPECT_EQ(direction3[0], 0.0f);
  EXPECT_EQ(direction3[2], 0.0f);
  // Light 0 keeps every initial value.
  EXPECT_EQ(Light(GL_LIGHT0, GL_POSITION, 4), (std::vector<float>{0, 0, 1, 0}));
  EXPECT_EQ(Light(GL_LIGHT0, GL_AMBIENT, 4), (std::vector<float>{0, 0, 0, 1}));
  EXPECT_EQ(Light(GL_LIGHT0, GL_DIFFUSE, 4), (std::vector<float>{1, 1, 1, 1}));
  EXPECT_EQ(Light(GL_LIGHT0, GL_SPOT_CUTOFF, 1)[0], 180.0f);
  EXPECT_EQ(Light(GL_LIGHT0, GL_SPOT_DIRECTION, 3), (std::vector<float>{0, 0, -1}));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "a rejected GL call";
}

TEST_F(SceneGl, FailedTextureLoadLeavesTheContextInItsInitialState) {
  ASSERT_TRUE(OpenSnapshotWindow(640, 480));
  EXPECT_FALSE(InitSceneState());
  for (GLenum off : {GL_TEXTURE_2D, GL_DEPTH_TEST, GL_COLOR_MATERIAL, GL_LIGHT1, GL_LIGHT2,
                     GL_LIGHT3, GL_LIGHT4, GL_LIGHTING}) {
    EXPECT_FALSE(glIsEnabled(off)) << std::hex << off;
  }
  EXPECT_EQ(Floats(GL_COLOR_CLEAR_VALUE, 4), (std::vector<float>{0, 0, 0, 0}));
  EXPECT_EQ(Light(GL_LIGHT4, GL_SPOT_CUTOFF, 1)[0], 180.0f);
  EXPECT_TRUE(HeadlessDialogs().empty());
}

TEST_F(SceneGl, ResizeSetsViewportAndPerspectiveAndIgnoresAMissingContext) {
  ASSERT_TRUE(OpenSnapshotWindow(640, 480));
  struct Case {
    int width, height;
    std::vector<GLint> viewport;
    double aspect; // 0: GLU refuses a zero aspect and the projection stays the identity
  };
  const Case cases[] = {{640, 480, {0, 0, 640, 480}, 640.0 / 480.0},
                        {640, 0, {0, 0, 640, 1}, 640.0},
                        {0, 0, {0, 0, 0, 1}, 0.0}};
  for (const Case& c : cases) {
    glMatrixMode(GL_TEXTURE); // make sure the resize selects the matrices itself
    ResizeScene(c.width, c.height);
    std::vector<GLint> viewport(4, -1);
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    EXPECT_EQ(viewport, c.viewport) << c.width << "x" << c.height;
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);

    // The perspective matrix for a 60-degree field of view, near 0.1 and far 100.
    double expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (c.aspect != 0.0) {
      const double near = 0.1, far = 100.0, f = 1.0 / std::tan(30.0 * M_PI / 180.0);
      for (double& m : expected) {
        m = 0;
      }
      expected[0] = f / c.aspect;
      expected[5] = f;
      expected[10] = (far + near) / (near - far);
      expected[11] = -1;
      expected[14] = 2 * far * near / (near - far);
    }
    const std::vector<float> projection = Floats(GL_PROJECTION_MATRIX, 16);
    const std::vector<float> modelview = Floats(GL_MODELVIEW_MATRIX, 16);
    for (int i = 0; i < 16; ++i) {
      EXPECT_NEAR(projection[i], expected[i], 1e-5 * (1 + std::fabs(expected[i])))
          << c.width << "x" << c.height << " element " << i;
      EXPECT_EQ(modelview[i], (i % 5 == 0) ? 1.0f : 0.0f);
    }
  }

  // A size message before the new context is current must neither fail nor touch the
  // context that is not current.
  ResizeScene(640, 480);
  const std::vector<float> before = Floats(GL_PROJECTION_MATRIX, 16);
  ASSERT_TRUE(MakeSnapshotContextCurrent(false));
  ASSERT_EQ(wglGetCurrentContext(), nullptr);
  ResizeScene(320, 0);
  ASSERT_TRUE(MakeSnapshotContextCurrent(true));
  std::vector<GLint> viewport(4, -1);
  glGetIntegerv(GL_VIEWPORT, viewport.data());
  EXPECT_EQ(viewport, (std::vector<GLint>{0, 0, 640, 480}));
  EXPECT_EQ(Floats(GL_PROJECTION_MATRIX, 16), before);
}

TEST_F(SceneGl, PicturesBecomeThreeTexturesHoldingTheDecodedPixels) {
  CopyAllPictures();
  WriteTestBitmap("Data/ceiling.bmp", 6, 5, 40); // rows of 18 bytes, not a multiple of 4
  ASSERT_TRUE(OpenSnapshotWindow(64, 64));
  ASSERT_TRUE(LoadSceneTextures());
  const GLuint names[3] = {SceneTextures.floorTexture, SceneTextures.pillarTexture,
                           SceneTextures.ceilingTexture};
  const char* paths[3] = {"Data/floor1.bmp", "Data/pillars1.bmp", "Data/ceiling.bmp"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(names[i], 0u);
    EXPECT_TRUE(glIsTexture(names[i]));
    for (int j = 0; j < i; ++j) {
      EXPECT_NE(names[i], names[j]);
    }
    int width = 0, height = 0;
    const std::vector<unsigned char> decoded = DecodedPixels(paths[i], width, height);
    ASSERT_FALSE(decoded.empty()) << paths[i];
    EXPECT_EQ(TextureLevel(names[i], GL_TEXTURE_WIDTH), width) << paths[i];
    EXPECT_EQ(TextureLevel(names[i], GL_TEXTURE_HEIGHT), height) << paths[i];
    // One level only: level 1 is empty.
    GLint level1 = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
    EXPECT_EQ(level1, 0);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    // The texture holds the decoded rows as they are, bottom row first (t = 0).
    EXPECT_TRUE(TextureImage(names[i], width, height) == decoded) << paths[i];
  }
  EXPECT_EQ(Integer(GL_UNPACK_ALIGNMENT), 4);
  EXPECT_TRUE(HeadlessDialogs().empty());
}

TEST_F(SceneGl, ANewContextReadsTheFilesAgainAndForgetsNamesOfTheOldOne) {
  CopyAllPictures();
  ASSERT_TRUE(OpenSnapshotWindow(64, 64));
  ResizeScene(64, 64);
  ASSERT_TRUE(InitSceneState());
  const SceneTextureSet first = SceneTextures;
  CloseSnapshotWindow();

  // Between the two contexts the floor goes missing and the pillar picture changes.
  std::filesystem::remove("Data/floor1.bmp");
  WriteTestBitmap("Data/pillars1.bmp", 32, 16, 9);
  ASSERT_TRUE(OpenSnapshotWindow(64, 64));
  ResizeScene(64, 64);
  ASSERT_TRUE(InitSceneState());
  EXPECT_EQ(SceneTextures.floorTexture, 0u) << "a name from the destroyed context survived";
  ASSERT_NE(SceneTextures.pillarTexture, 0u);
  EXPECT_EQ(TextureLevel(SceneTextures.pillarTexture, GL_TEXTURE_WIDTH), 32);
  EXPECT_EQ(TextureLevel(SceneTextures.pillarTexture, GL_TEXTURE_HEIGHT), 16);
  EXPECT_TRUE(glIsTexture(SceneTextures.ceilingTexture));
  EXPECT_EQ(TextureLevel(SceneTextures.ceilingTexture, GL_TEXTURE_WIDTH), 256);
  // The old floor name, if it names anything here, is not the floor picture any more.
  EXPECT_NE(first.floorTexture, 0u);
  // The new context is set up from scratch just like the first.
  EXPECT_TRUE(glIsEnabled(GL_LIGHT4));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(HeadlessDialogs().empty());
}
