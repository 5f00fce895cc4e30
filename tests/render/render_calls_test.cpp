// render_calls_test.cpp: the scene code's GL call stream, seen through the call recorder
// (no GL context): the frame's batches, bindings, colours and camera calls; the order of
// the one-time set-up; the projection's arguments; and the texture uploads, including the
// probe's treatment of missing, corrupt and non-regular files.
#include "Headless.h"
#include "SceneRender.h"
#include "SceneTextures.h"
#include "gl_recorder.h"
#include "scratch_dir.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Vec3 {
  double x, y, z;
};
Vec3 Sub(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
double Length(Vec3 a) {
  return std::sqrt(Dot(a, a));
}

// One glBegin/glEnd pair and what was sent inside it.
struct Batch {
  double mode = 0;
  std::vector<RecordedCall> calls;
  int bindingsBefore = 0;
  double boundTexture = -1; // the last binding before the batch
};

// A face: four vertices with the normal and texture coordinates current at each.
struct Face {
  int batch = 0;
  Vec3 normal{};
  Vec3 vertices[4]{};
  double texcoords[4][2]{};
  bool hasTexcoords = true;
};

std::vector<Batch> SplitBatches(const std::vector<RecordedCall>& calls) {
  std::vector<Batch> batches;
  bool inside = false;
  int bindings = 0;
  double bound = -1;
  for (const RecordedCall& call : calls) {
    if (call.name == "glBegin") {
      EXPECT_FALSE(inside) << "nested glBegin";
      inside = true;
      batches.push_back({call.args[0], {}, bindings, bound});
      bindings = 0;
    } else if (call.name == "glEnd") {
      EXPECT_TRUE(inside) << "glEnd without glBegin";
      inside = false;
    } else if (inside) {
      batches.back().calls.push_back(call);
    } else if (call.name == "glBindTexture") {
      ++bindings;
      bound = call.args[1];
    }
  }
  EXPECT_FALSE(inside);
  return batches;
}

std::vector<Face> CollectFaces(const std::vector<Batch>& batches) {
  std::vector<Face> faces;
  Vec3 normal{0, 0, 1};
  double texcoord[2] = {0, 0};
  for (std::size_t b = 0; b < batches.size(); ++b) {
    int corner = 0;
    bool texcoordSent = false;
    for (const RecordedCall& call : batches[b].calls) {
      if (call.name == "glNormal3f") {
        normal = {call.args[0], call.args[1], call.args[2]};
      } else if (call.name == "glTexCoord2f") {
        texcoord[0] = call.args[0];
        texcoord[1] = call.args[1];
        texcoordSent = true;
      } else if (call.name == "glVertex3f") {
        if (corner == 0) {
          faces.push_back({static_cast<int>(b) + 1, normal, {}, {}, true});
        }
        Face& face = faces.back();
        face.vertices[corner] = {call.args[0], call.args[1], call.args[2]};
        face.texcoords[corner][0] = texcoord[0];
        face.texcoords[corner][1] = texcoord[1];
        face.hasTexcoords = face.hasTexcoords && texcoordSent;
        texcoordSent = false;
        corner = (corner + 1) % 4;
      }
    }
  }
  return faces;
}

std::vector<RecordedCall> RecordFrame(const CameraPose& pose) {
  SceneCamera = pose;
  ClearRecordedCalls();
  EXPECT_TRUE(DrawScene());
  return RecordedCalls();
}

bool SameCall(const RecordedCall& call, const char* name, std::vector<double> args) {
  return call.name == name && call.args == args;
}

} // namespace

TEST(SceneFrameCalls, SevenQuadBatchesWithFourBindingsCameraFirstAndLightingLast) {
  SceneTextures = {101, 202, 303};
  const std::vector<RecordedCall> calls = RecordFrame({12.5f, -3.0f, -41.0f});
  ASSERT_GE(calls.size(), 7u);
  // Clear, rebuild the modelview matrix from the camera, in this order.
  EXPECT_TRUE(SameCall(calls[0], "glClear", {double(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)}));
  EXPECT_TRUE(SameCall(calls[1], "glLoadIdentity", {}));
  EXPECT_TRUE(SameCall(calls[2], "gluLookAt", {0, 0, 5, 0, 0, 0, 0, 1, 0}));
  EXPECT_TRUE(SameCall(calls[3], "glRotatef", {12.5, 0, 1, 0}));
  EXPECT_TRUE(SameCall(calls[4], "glRotatef", {-3, 0, 1, 0}));
  EXPECT_TRUE(SameCall(calls[5], "glTranslatef", {0, 0, -41}));
  // Lighting goes on after all geometry, and nothing else is enabled during a frame.
  EXPECT_TRUE(SameCall(calls.back(), "glEnable", {double(GL_LIGHTING)}));
  EXPECT_EQ(CallsNamed("glEnable").size(), 1u);
  for (const char* forbidden : {"glMatrixMode", "glPushMatrix", "glPopMatrix", "glLightfv",
                                "glDisable", "glGenTextures", "glTexImage2D"}) {
    EXPECT_TRUE(CallsNamed(forbidden).empty()) << forbidden << " called during a frame";
  }

  const std::vector<Batch> batches = SplitBatches(calls);
  ASSERT_EQ(batches.size(), 7u);
  const int expectedVertices[7] = {4, 4, 72, 8, 12, 8, 56};
  const int expectedBindings[7] = {1, 1, 1, 0, 0, 1, 0};
  const double expectedTexture[7] = {303, 202, 202, 202, 202, 101, 101};
  int vertexTotal = 0;
  for (int b = 0; b < 7; ++b) {
    int vertices = 0;
    for (const RecordedCall& call : batches[b].calls) {
      vertices += call.name == "glVertex3f";
    }
    EXPECT_EQ(batches[b].mode, double(GL_QUADS)) << "batch " << b + 1;
    EXPECT_EQ(vertices, expectedVertices[b]) << "batch " << b + 1;
    EXPECT_EQ(batches[b].bindingsBefore, expectedBindings[b]) << "batch " << b + 1;
    EXPECT_EQ(batches[b].boundTexture, expectedTexture[b]) << "batch " << b + 1;
    vertexTotal += vertices;
  }
  EXPECT_EQ(vertexTotal, 164);
  EXPECT_EQ(CallsNamed("glBindTexture").size(), 4u);
  for (const RecordedCall& bind : CallsNamed("glBindTexture")) {
    EXPECT_EQ(bind.args[0], double(GL_TEXTURE_2D));
  }

  // Colours: grey before the ceiling's normal, white between the back wall's normal and its
  // first vertex, black at the start of the openings, and none anywhere else.
  ASSERT_FALSE(batches[0].calls.empty());
  EXPECT_TRUE(SameCall(batches[0].calls[0], "glColor3f", {0.5, 0.5, 0.5}));
  ASSERT_GE(batches[1].calls.size(), 3u);
  EXPECT_EQ(batches[1].calls[0].name, "glNormal3f");
  EXPECT_TRUE(SameCall(batches[1].calls[1], "glColor3f", {1, 1, 1}));
  EXPECT_TRUE(SameCall(batches[6].calls[0], "glColor3f", {0, 0, 0}));
  EXPECT_EQ(CallsNamed("glColor3f").size(), 3u);

  // Every face gets its normal before its first vertex; only the openings send no texture
  // coordinates.
  const std::vector<Face> faces = CollectFaces(batches);
  ASSERT_EQ(faces.size(), 41u);
  int normalsSinceFace = 0;
  int corner = 0;
  for (const RecordedCall& call : calls) {
    if (call.name == "glNormal3f") {
      ++normalsSinceFace;
    } else if (call.name == "glVertex3f") {
      if (corner == 0) {
        EXPECT_EQ(normalsSinceFace, 1) << "each face needs exactly one normal before it";
      }
      normalsSinceFace = 0;
      corner = (corner + 1) % 4;
    }
  }
  for (const Face& face : faces) {
    EXPECT_EQ(face.hasTexcoords, face.batch != 7) << "batch " << face.batch;
  }
}

TEST(SceneFrameGeometry, FacesArePlanarWithMatchingNormalsAndTheRepeatedPartsCounted) {
  SceneTextures = {1, 2, 3};
  const std::vector<Face> faces = CollectFaces(SplitBatches(RecordFrame({})));
  ASSERT_EQ(faces.size(), 41u);
  int unnormalised = 0;
  for (const Face& face : faces) {
    const Vec3 geometric =
        Cross(Sub(face.vertices[1], face.vertices[0]), Sub(face.vertices[3], face.vertices[0]));
    ASSERT_GT(Length(geometric), 0.0);
    // All four corners lie in one plane.
    EXPECT_NEAR(Dot(geometric, Sub(face.vertices[2], face.vertices[0])), 0.0, 1e-6);
    // Everything stays inside the corridor and its side bay.
    for (const Vec3& v : face.vertices) {
      EXPECT_TRUE(v.x >= -20 && v.x <= 30 && v.y >= -10 && v.y <= 10 && v.z >= -30 && v.z <= 100);
    }
    if (Length(face.normal) > 1.0 + 1e-9) {
      // The pillars' inner faces: the normal goes out exactly as (0, -1, -10).
      ++unnormalised;
      EXPECT_EQ(face.batch, 3);
      EXPECT_EQ(face.normal.x, 0.0);
      EXPECT_EQ(face.normal.y, -1.0);
      EXPECT_EQ(face.normal.z, -10.0);
      continue;
    }
    // Every other normal is a unit vector across the face.
    EXPECT_NEAR(Length(face.normal), 1.0, 1e-9);
    EXPECT_NEAR(std::fabs(Dot(face.normal, geometric)) / Length(geometric), 1.0, 1e-9)
        << "batch " << face.batch;
    if (face.hasTexcoords) {
      // Each face shows its whole texture once: the four corners of the unit square.
      int corners = 0;
      for (const auto& st : face.texcoords) {
        EXPECT_TRUE((st[0] == 0 || st[0] == 1) && (st[1] == 0 || st[1] == 1));
        corners |= 1 << static_cast<int>(st[0] * 2 + st[1]);
      }
      EXPECT_EQ(corners, 15);
    }
  }
  EXPECT_EQ(unnormalised, 6);

  // Six pillars (front faces at z = c - 6 for c = 0, 17, ..., 85) and fourteen openings
  // 5 units long with 1-unit gaps, from z = 11..16 to z = 89..94 in the right wall.
  std::vector<double> pillarFronts;
  std::vector<std::pair<double, double>> openings;
  for (const Face& face : faces) {
    if (face.batch == 3 && face.normal.z == 1.0) {
      pillarFronts.push_back(face.vertices[0].z);
    }
    if (face.batch == 7) {
      double lo = 1e9, hi = -1e9;
      for (const Vec3& v : face.vertices) {
        EXPECT_EQ(v.x, 10.0);
        EXPECT_TRUE(v.y == -2.0 || v.y == 8.0);
        lo = std::min(lo, v.z);
        hi = std::max(hi, v.z);
      }
      openings.push_back({lo, hi});
    }
  }
  ASSERT_EQ(pillarFronts.size(), 6u);
  for (std::size_t i = 0; i < pillarFronts.size(); ++i) {
    EXPECT_EQ(pillarFronts[i], 17.0 * static_cast<double>(i) - 6.0);
  }
  ASSERT_EQ(openings.size(), 14u);
  EXPECT_EQ(openings.front().first, 11.0);
  EXPECT_EQ(openings.back().second, 94.0);
  for (std::size_t i = 0; i < openings.size(); ++i) {
    EXPECT_EQ(openings[i].second - openings[i].first, 5.0);
    if (i > 0) {
      EXPECT_EQ(openings[i].first - openings[i - 1].second, 1.0);
    }
  }
}

// The corridor as its drawings give it, face by face in drawing order: the batch, the
// normal, and each corner's texture coordinate and position. Written out here from the
// plans rather than derived from the scene code, so that a wrong constant, a swapped
// corner or a rotated texture shows up.
struct PlannedCorner {
  double s, t, x, y, z;
};
struct PlannedFace {
  int batch;
  Vec3 normal;
  PlannedCorner corners[4];
};

std::vector<PlannedFace> PlannedCorridor() {
  std::vector<PlannedFace> plan = {
      {1,
       {0, -1, 0},
       {{0, 0, -18, 10, 100}, {0, 1, -18, 10, -30}, {1, 1, 30, 10, -30}, {1, 0, 30, 10, 100}}},
      {2,
       {0, 0, 1},
       {{0, 0, -11, -10, -10}, {0, 1, -11, 10, -10}, {1, 1, 10, 10, -10}, {1, 0, 10, -10, -10}}},
  };
  for (double c = 0; c < 90; c += 17) {
    plan.push_back({3,
                    {0, 0, 1},
                    {{0, 0, -20, -10, c - 6},
                     {0, 1, -14, 10, c - 6},
                     {1, 1, -8, 10, c - 6},
                     {1, 0, -14, -10, c - 6}}});
    plan.push_back({3,
                    {0, 0, -1},
                    {{0, 0, -20, -10, c - 10},
                     {0, 1, -14, 10, c - 10},
                     {1, 1, -8, 10, c - 10},
                     {1, 0, -14, -10, c - 10}}});
    plan.push_back({3,
                    {0, -1, -10},
                    {{0, 0, -14, -10, c - 6},
                     {0, 1, -8, 10, c - 6},
                     {1, 1, -8, 10, c - 10},
                     {1, 0, -14, -10, c - 10}}});
  }
  const std::vector<PlannedFace> walls = {
      {4,
       {1, 0, 0},
       {{0, 0, -8, -10, 100}, {0, 1, -8, -3, 100}, {1, 1, -8, -3, -10}, {1, 0, -8, -10, -10}}},
      {4,
       {0, 1, 0},
       {{1, 1, -8, -3, 100}, {0, 1, -12, -3, 100}, {0, 0, -12, -3, -10}, {1, 0, -8, -3, -10}}},
      {5,
       {-1, 0, 0},
       {{0, 0, 10, -10, 10}, {0, 1, 10, -10, 100}, {1, 1, 10, 10, 100}, {1, 0, 10, 10, 10}}},
      {5,
       {-1, 0, 0},
       {{0, 0, 30, -10, 10}, {0, 1, 30, -10, -30}, {1, 1, 30, 10, -30}, {1, 0, 30, 10, 10}}},
      {5,
       {0, 0, -1},
       {{0, 0, 10, -10, 10}, {1, 0, 30, -10, 10}, {1, 1, 30, 10, 10}, {0, 1, 10, 10, 10}}},
      {6,
       {0, 1, 0},
       {{0, 0, -10, -10, -10}, {0, 1, -10, -10, 100}, {1, 1, 10, -10, 100}, {1, 0, 10, -10, -10}}},
      {6,
       {0, 1, 0},
       {{0, 0, 10, -10, 10}, {1, 0, 30, -10, 10}, {1, 1, 30, -10, -30}, {0, 1, 10, -10, -30}}},
  };
  plan.insert(plan.end(), walls.begin(), walls.end());
  // The openings send no texture coordinate: the bay floor's last one, (0, 1), holds.
  for (double c = 0; c < 80; c += 6) {
    plan.push_back({7,
                    {-1, 0, 0},
                    {{0, 1, 10, -2, c + 11},
                     {0, 1, 10, -2, c + 16},
                     {0, 1, 10, 8, c + 16},
                     {0, 1, 10, 8, c + 11}}});
  }
  return plan;
}

TEST(SceneFrameGeometry, EveryFaceMatchesTheCorridorPlans) {
  SceneTextures = {1, 2, 3};
  const std::vector<Face> faces = CollectFaces(SplitBatches(RecordFrame({})));
  const std::vector<PlannedFace> plan = PlannedCorridor();
  ASSERT_EQ(plan.size(), 41u);
  ASSERT_EQ(faces.size(), plan.size());
  for (std::size_t i = 0; i < plan.size(); ++i) {
    SCOPED_TRACE("face " + std::to_string(i) + " of batch " + std::to_string(plan[i].batch));
    EXPECT_EQ(faces[i].batch, plan[i].batch);
    EXPECT_EQ(faces[i].hasTexcoords, plan[i].batch != 7);
    EXPECT_EQ(faces[i].normal.x, plan[i].normal.x);
    EXPECT_EQ(faces[i].normal.y, plan[i].normal.y);
    EXPECT_EQ(faces[i].normal.z, plan[i].normal.z);
    for (int k = 0; k < 4; ++k) {
      const PlannedCorner& want = plan[i].corners[k];
      EXPECT_EQ(faces[i].texcoords[k][0], want.s) << "corner " << k;
      EXPECT_EQ(faces[i].texcoords[k][1], want.t) << "corner " << k;
      EXPECT_EQ(faces[i].vertices[k].x, want.x) << "corner " << k;
      EXPECT_EQ(faces[i].vertices[k].y, want.y) << "corner " << k;
      EXPECT_EQ(faces[i].vertices[k].z, want.z) << "corner " << k;
    }
  }
}

TEST(SceneProjectionCalls, ViewportAndPerspectiveForOrdinaryZeroHeightAndMinimisedSizes) {
  struct Case {
    int width, height;
    double viewportHeight, aspect;
  };
  const Case cases[] = {{640, 480, 480, 640.0 / 480.0}, {640, 0, 1, 640}, {0, 0, 1, 0}};
  for (const Case& c : cases) {
    ClearRecordedCalls();
    ResizeScene(c.width, c.height);
    const std::vector<RecordedCall> viewports = CallsNamed("glViewport");
    const std::vector<RecordedCall> perspectives = CallsNamed("gluPerspective");
    ASSERT_EQ(viewports.size(), 1u);
    ASSERT_EQ(perspectives.size(), 1u);
    EXPECT_EQ(viewports[0].args, (std::vector<double>{0, 0, double(c.width), c.viewportHeight}));
    EXPECT_EQ(perspectives[0].args[0], 60.0);
    EXPECT_EQ(perspectives[0].args[1], c.aspect) << c.width << "x" << c.height;
    // The near plane is the single-precision 0.1 widened, not the double nearest to 0.1.
    EXPECT_EQ(perspectives[0].args[2], 0.100000001490116119384765625);
    EXPECT_NE(perspectives[0].args[2], 0.1);
    EXPECT_EQ(perspectives[0].args[3], 100.0);
    // The projection is rebuilt from the identity and the modelview matrix left selected
    // as an identity.
    const std::vector<RecordedCall>& calls = RecordedCalls();
    std::vector<std::string> names;
    for (const RecordedCall& call : calls) {
      if (call.name != "glGetString") {
        names.push_back(call.name);
      }
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"glViewport", "glMatrixMode", "glLoadIdentity",
                                        "gluPerspective", "glMatrixMode", "glLoadIdentity"}));
    EXPECT_EQ(CallsNamed("glMatrixMode").back().args[0], double(GL_MODELVIEW));
  }
  // With no current context a resize touches nothing.
  ClearRecordedCalls();
  SetRecorderContextCurrent(false);
  ResizeScene(640, 480);
  for (const RecordedCall& call : RecordedCalls()) {
    EXPECT_EQ(call.name, "glGetString");
  }
  SetRecorderContextCurrent(true);
}

TEST(SceneStateCalls, TexturesFirstThenFixedStateThenLightsInOrderAndLightingLeftOff) {
  ScratchDirectory scratch;
  for (const char* name : {"floor1.bmp", "pillars1.bmp", "ceiling.bmp"}) {
    CopyCommittedPicture(name);
  }
  HeadlessReset();
  ClearRecordedCalls();
  ASSERT_TRUE(InitSceneState());
  const std::vector<RecordedCall>& calls = RecordedCalls();
  std::size_t lastTextureCall = 0, firstStateCall = calls.size();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name.rfind("glTex", 0) == 0 || calls[i].name == "glGenTextures") {
      lastTextureCall = i;
    } else if (calls[i].name == "glEnable" && firstStateCall == calls.size()) {
      firstStateCall = i;
    }
  }
  EXPECT_LT(lastTextureCall, firstStateCall);

  std::vector<double> enabled;
  for (const RecordedCall& call : CallsNamed("glEnable")) {
    enabled.push_back(call.args[0]);
  }
  EXPECT_EQ(enabled, (std::vector<double>{GL_TEXTURE_2D, GL_DEPTH_TEST, GL_LIGHT4, GL_LIGHT1,
                                          GL_LIGHT2, GL_LIGHT3, GL_COLOR_MATERIAL}));

  // Lights 4, 1, 2 in that order, each with ambient, diffuse, position, spot direction and
  // cutoff; light 3 last, starting with the shared colours; light 0 never; no parameter
  // outside the light parameters (such as GL_INTENSITY, which GL would reject).
  const std::vector<RecordedCall> lights = CallsNamed("glLightfv");
  ASSERT_GE(lights.size(), 17u);
  const double order[3] = {GL_LIGHT4, GL_LIGHT1, GL_LIGHT2};
  const double pnames[5] = {GL_AMBIENT, GL_DIFFUSE, GL_POSITION, GL_SPOT_DIRECTION, GL_SPOT_CUTOFF};
  for (int l = 0; l < 3; ++l) {
    for (int p = 0; p < 5; ++p) {
      EXPECT_EQ(lights[l * 5 + p].args[0], order[l]);
      EXPECT_EQ(lights[l * 5 + p].args[1], pnames[p]);
    }
  }
  EXPECT_TRUE(SameCall(lights[15], "glLightfv", {GL_LIGHT3, GL_AMBIENT, 0.5, 0.5, 0.5, 0.5}));
  EXPECT_TRUE(SameCall(lights[16], "glLightfv", {GL_LIGHT3, GL_DIFFUSE, 1, 1, 1, 1}));
  for (std::size_t i = 17; i < lights.size(); ++i) {
    EXPECT_EQ(lights[i].args[0], double(GL_LIGHT3));
  }
  for (const RecordedCall& call : lights) {
    EXPECT_NE(call.args[0], double(GL_LIGHT0));
    const double pname = call.args[1];
    EXPECT_TRUE(pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_POSITION ||
                pname == GL_SPOT_DIRECTION || pname == GL_SPOT_CUTOFF)
        << "light parameter " << pname;
  }
}

TEST(SceneStateCalls, NoTextureLeavesEveryStateUntouchedAndShowsNothing) {
  ScratchDirectory scratch;
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  SceneTextures = {};
  ClearRecordedCalls();
  EXPECT_FALSE(InitSceneState());
  EXPECT_TRUE(RecordedCalls().empty());
  EXPECT_TRUE(HeadlessDialogs().empty());
  EXPECT_EQ(SceneTextures.floorTexture, 0u);
  EXPECT_EQ(SceneTextures.pillarTexture, 0u);
  EXPECT_EQ(SceneTextures.ceilingTexture, 0u);
}

TEST(SceneTextureUploads, OneLevelLinearFilteredRgbWithByteAlignmentOnlyForOddRows) {
  ScratchDirectory scratch;
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  WriteTestBitmap("Data/floor1.bmp", 6, 4, 1);   // 18-byte rows
  WriteTestBitmap("Data/pillars1.bmp", 8, 2, 2); // 24-byte rows
  WriteTestBitmap("Data/ceiling.bmp", 1, 1, 3);  // 3-byte rows
  SceneTextures = {};
  ClearRecordedCalls();
  ASSERT_TRUE(LoadSceneTextures());
  EXPECT_TRUE(HeadlessDialogs().empty());
  EXPECT_EQ(SceneTextures.floorTexture, 1u);
  EXPECT_EQ(SceneTextures.pillarTexture, 2u);
  EXPECT_EQ(SceneTextures.ceilingTexture, 3u);

  const std::vector<RecordedCall> uploads = CallsNamed("glTexImage2D");
  ASSERT_EQ(uploads.size(), 3u);
  const double sizes[3][2] = {{6, 4}, {8, 2}, {1, 1}};
  const double alignments[3] = {1, 4, 1};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(uploads[i].args,
              (std::vector<double>{GL_TEXTURE_2D, 0, 3, sizes[i][0], sizes[i][1], 0, GL_RGB,
                                   GL_UNSIGNED_BYTE, 1, alignments[i]}));
  }
  // The default alignment is back in force afterwards.
  EXPECT_TRUE(
      SameCall(CallsNamed("glPixelStorei").back(), "glPixelStorei", {GL_UNPACK_ALIGNMENT, 4}));
  // Each texture: generated, bound, uploaded, then both filters linear.
  std::vector<std::string> perTexture;
  for (const RecordedCall& call : RecordedCalls()) {
    if (call.name != "glPixelStorei") {
      perTexture.push_back(call.name);
    }
  }
  const std::vector<std::string> one = {"glGenTextures", "glBindTexture", "glTexImage2D",
                                        "glTexParameteri", "glTexParameteri"};
  ASSERT_EQ(perTexture.size(), 15u);
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(perTexture[i], one[i % 5]);
  }
  for (const RecordedCall& call : CallsNamed("glTexParameteri")) {
    EXPECT_TRUE(
        call.args == (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}) ||
        call.args == (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}));
  }
}

TEST(SceneTextureUploads, MissingCorruptAndNonRegularFilesAreSkippedAndStaleNamesCleared) {
  ScratchDirectory scratch;
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  for (const char* name : {"floor1.bmp", "pillars1.bmp", "ceiling.bmp"}) {
    CopyCommittedPicture(name);
  }
  SceneTextures = {};
  ClearRecordedCalls();
  ASSERT_TRUE(LoadSceneTextures());
  const SceneTextureSet first = SceneTextures;

  // A new context: the floor file is gone. Its old name belonged to the previous context,
  // so the field goes back to 0; the other two get fresh names; no message.
  std::filesystem::remove("Data/floor1.bmp");
  ASSERT_TRUE(LoadSceneTextures());
  EXPECT_EQ(SceneTextures.floorTexture, 0u);
  EXPECT_NE(SceneTextures.pillarTexture, 0u);
  EXPECT_NE(SceneTextures.pillarTexture, first.pillarTexture);
  EXPECT_NE(SceneTextures.ceilingTexture, first.ceilingTexture);
  EXPECT_TRUE(HeadlessDialogs().empty());
  EXPECT_EQ(CallsNamed("glGenTextures").size(), 5u);

  // A present but corrupt pillar file: the decoder's own message, exactly once, and the
  // entry skipped like a missing one.
  {
    std::ofstream corrupt("Data/pillars1.bmp", std::ios::binary | std::ios::trunc);
    corrupt << "BM this is not a bitmap";
  }
  ClearRecordedCalls();
  ASSERT_TRUE(LoadSceneTextures());
  ASSERT_EQ(HeadlessDialogs().size(), 1u);
  EXPECT_EQ(HeadlessDialogs()[0].caption, "Error");
  EXPECT_EQ(SceneTextures.pillarTexture, 0u);
  EXPECT_NE(SceneTextures.ceilingTexture, 0u);
  EXPECT_EQ(CallsNamed("glGenTextures").size(), 1u);

  CopyCommittedPicture("pillars1.bmp");

  // A FIFO in place of the floor file must not be opened: a reader would block until some
  // writer came along. The watcher plays that writer: a non-blocking open for writing
  // succeeds only while a reader is waiting, and then releases it.
  ASSERT_EQ(mkfifo("Data/floor1.bmp", 0600), 0);
  std::atomic<bool> done{false};
  std::atomic<bool> readerBlocked{false};
  std::thread watcher([&] {
    while (!done) {
      const int fd = open("Data/floor1.bmp", O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        readerBlocked = true;
        close(fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  ClearRecordedCalls();
  const bool loaded = LoadSceneTextures();
  done = true;
  watcher.join();
  EXPECT_TRUE(loaded);
  EXPECT_FALSE(readerBlocked) << "the FIFO was opened for reading";
  EXPECT_EQ(SceneTextures.floorTexture, 0u);
  EXPECT_EQ(HeadlessDialogs().size(), 1u) << "a skipped FIFO shows no message";

  // Nothing decodes any more: false, and no name generated.
  std::filesystem::remove("Data/floor1.bmp");
  std::filesystem::remove("Data/pillars1.bmp");
  std::filesystem::remove("Data/ceiling.bmp");
  ClearRecordedCalls();
  EXPECT_FALSE(LoadSceneTextures());
  EXPECT_TRUE(CallsNamed("glGenTextures").empty());
  EXPECT_EQ(SceneTextures.floorTexture, 0u);
  EXPECT_EQ(SceneTextures.pillarTexture, 0u);
  EXPECT_EQ(SceneTextures.ceilingTexture, 0u);
}
