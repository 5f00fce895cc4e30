// SceneRender.cpp: the corridor's GL set-up (fixed state, the four lights, the projection)
// and the per-frame drawing of the corridor from SceneCamera.
#include "SceneRender.h"

#include "SceneTextures.h"

#include "Win32.h" // the GL and GLU headers, with what they need on each platform

CameraPose SceneCamera;

namespace {

// One light's set-up, in the order the values are handed to GL.
struct LightSetup {
  GLenum light;
  GLfloat position[4];      // eye coordinates: the modelview matrix is the identity then
  GLfloat spotDirection[3]; // eye coordinates
  GLfloat spotCutoff[1];    // half-angle of the cone, degrees
};

// Every light is white: a mid-grey ambient (alpha 0.5) and a full-white diffuse colour.
const GLfloat LightAmbient[4] = {0.5f, 0.5f, 0.5f, 0.5f};
const GLfloat LightDiffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};

// The lights hang 10 units above eye level, to the right of and behind the viewer, and
// shine straight down in 48-degree cones. Light 3 hangs 20 units above eye level with its
// cone pointing straight up: the ceiling is 10 units above eye level and no surface is
// higher, so every point of the scene lies outside its cone and it adds neither ambient
// nor diffuse light anywhere. The corridor stays a dark place lit only by the three pools
// of the downward spots, and the result never depends on how a GL treats a direction of
// zero length (as an all-zero position would have given it).
const LightSetup SceneLights[4] = {
    {GL_LIGHT4, {8.0f, 10.0f, 55.0f, 1.0f}, {0.0f, -1.0f, 0.0f}, {48.0f}},
    {GL_LIGHT1, {8.0f, 10.0f, 5.0f, 1.0f}, {0.0f, -1.0f, 0.0f}, {48.0f}},
    {GL_LIGHT2, {15.0f, 10.0f, 70.0f, 1.0f}, {0.0f, -1.0f, 0.0f}, {48.0f}},
    {GL_LIGHT3, {0.0f, 20.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}, {48.0f}},
};

// The near plane is the single-precision 0.1 widened to double
// (0.100000001490116119384765625), not the double nearest to 0.1.
constexpr GLdouble NearPlane = static_cast<GLdouble>(0.1f);
constexpr GLdouble FarPlane = 100.0;
constexpr GLdouble FieldOfView = 60.0;

// Sends one face: four vertices, each a texture coordinate followed by its position.
struct TexturedVertex {
  GLfloat s, t;
  GLfloat x, y, z;
};

void SendVertices(const TexturedVertex (&vertices)[4]) {
  for (const TexturedVertex& v : vertices) {
    glTexCoord2f(v.s, v.t);
    glVertex3f(v.x, v.y, v.z);
  }
}

void DrawCeiling() {
  glBindTexture(GL_TEXTURE_2D, SceneTextures.ceilingTexture);
  glBegin(GL_QUADS);
  glColor3f(0.5f, 0.5f, 0.5f); // the ceiling is drawn grey-tinted
  glNormal3f(0.0f, -1.0f, 0.0f);
  SendVertices(
      {{0, 0, -18, 10, 100}, {0, 1, -18, 10, -30}, {1, 1, 30, 10, -30}, {1, 0, 30, 10, 100}});
  glEnd();
}

void DrawBackWall() {
  glBindTexture(GL_TEXTURE_2D, SceneTextures.pillarTexture);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glColor3f(1.0f, 1.0f, 1.0f); // white holds for the batches that follow
  SendVertices(
      {{0, 0, -11, -10, -10}, {0, 1, -11, 10, -10}, {1, 1, 10, 10, -10}, {1, 0, 10, -10, -10}});
  glEnd();
}

// Six slanted pillars along the left side, c = 0, 17, ..., 85. Each draws its front, its
// back and its inner slanted face; the inner face's normal (0, -1, -10) is deliberately
// left unnormalised.
void DrawPillars() {
  glBindTexture(GL_TEXTURE_2D, SceneTextures.pillarTexture);
  glBegin(GL_QUADS);
  for (int c = 0; c < 90; c += 17) {
    const GLfloat front = static_cast<GLfloat>(c - 6);
    const GLfloat back = static_cast<GLfloat>(c - 10);
    glNormal3f(0.0f, 0.0f, 1.0f);
    SendVertices({{0, 0, -20, -10, front},
                  {0, 1, -14, 10, front},
                  {1, 1, -8, 10, front},
                  {1, 0, -14, -10, front}});
    glNormal3f(0.0f, 0.0f, -1.0f);
    SendVertices({{0, 0, -20, -10, back},
                  {0, 1, -14, 10, back},
                  {1, 1, -8, 10, back},
                  {1, 0, -14, -10, back}});
    glNormal3f(0.0f, -1.0f, -10.0f);
    SendVertices({{0, 0, -14, -10, front},
                  {0, 1, -8, 10, front},
                  {1, 1, -8, 10, back},
                  {1, 0, -14, -10, back}});
  }
  glEnd();
}

// The low ledge at the pillars' feet: its front face and its top. The pillar texture is
// still bound.
void DrawLedge() {
  glBegin(GL_QUADS);
  glNormal3f(1.0f, 0.0f, 0.0f);
  SendVertices(
      {{0, 0, -8, -10, 100}, {0, 1, -8, -3, 100}, {1, 1, -8, -3, -10}, {1, 0, -8, -10, -10}});
  glNormal3f(0.0f, 1.0f, 0.0f);
  SendVertices(
      {{1, 1, -8, -3, 100}, {0, 1, -12, -3, 100}, {0, 0, -12, -3, -10}, {1, 0, -8, -3, -10}});
  glEnd();
}

// The right wall (z = 10 to 100) and the side bay's far and end walls.
void DrawRightSide() {
  glBegin(GL_QUADS);
  glNormal3f(-1.0f, 0.0f, 0.0f);
  SendVertices(
      {{0, 0, 10, -10, 10}, {0, 1, 10, -10, 100}, {1, 1, 10, 10, 100}, {1, 0, 10, 10, 10}});
  glNormal3f(-1.0f, 0.0f, 0.0f);
  SendVertices(
      {{0, 0, 30, -10, 10}, {0, 1, 30, -10, -30}, {1, 1, 30, 10, -30}, {1, 0, 30, 10, 10}});
  glNormal3f(0.0f, 0.0f, -1.0f);
  SendVertices({{0, 0, 10, -10, 10}, {1, 0, 30, -10, 10}, {1, 1, 30, 10, 10}, {0, 1, 10, 10, 10}});
  glEnd();
}

void DrawFloor() {
  glBindTexture(GL_TEXTURE_2D, SceneTextures.floorTexture);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 1.0f, 0.0f);
  SendVertices(
      {{0, 0, -10, -10, -10}, {0, 1, -10, -10, 100}, {1, 1, 10, -10, 100}, {1, 0, 10, -10, -10}});
  glNormal3f(0.0f, 1.0f, 0.0f);
  SendVertices(
      {{0, 0, 10, -10, 10}, {1, 0, 30, -10, 10}, {1, 1, 30, -10, -30}, {0, 1, 10, -10, -30}});
  glEnd();
}

// Fourteen black openings in the right wall, c = 0, 6, ..., 78, drawn after the wall in its
// plane so that the less-or-equal depth test lets them cover it. They send no texture
// coordinate: the last one sent, (0, 1), holds, and black modulates any texel to black.
void DrawWindowOpenings() {
  glBegin(GL_QUADS);
  glColor3f(0.0f, 0.0f, 0.0f);
  for (int c = 0; c < 80; c += 6) {
    const GLfloat nearEdge = static_cast<GLfloat>(c + 11);
    const GLfloat farEdge = static_cast<GLfloat>(c + 16);
    glNormal3f(-1.0f, 0.0f, 0.0f);
    glVertex3f(10.0f, -2.0f, nearEdge);
    glVertex3f(10.0f, -2.0f, farEdge);
    glVertex3f(10.0f, 8.0f, farEdge);
    glVertex3f(10.0f, 8.0f, nearEdge);
  }
  glEnd();
}

} // namespace

void ResizeScene(int width, int height) {
  // A size message can arrive while a window is being created, before its context is
  // current; with no current context there is nothing to set (and glGetString says so by
  // returning null).
  if (glGetString(GL_VERSION) == nullptr) {
    return;
  }
  if (height == 0) {
    height = 1;
  }
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(FieldOfView, static_cast<GLdouble>(width) / static_cast<GLdouble>(height),
                 NearPlane, FarPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

bool InitSceneState() {
  if (!LoadSceneTextures()) {
    return false;
  }
  glEnable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

  // Set while the modelview matrix is the identity, so the lights stay fixed to the viewer.
  for (const LightSetup& setup : SceneLights) {
    glLightfv(setup.light, GL_AMBIENT, LightAmbient);
    glLightfv(setup.light, GL_DIFFUSE, LightDiffuse);
    glLightfv(setup.light, GL_POSITION, setup.position);
    glLightfv(setup.light, GL_SPOT_DIRECTION, setup.spotDirection);
    glLightfv(setup.light, GL_SPOT_CUTOFF, setup.spotCutoff);
  }
  for (const LightSetup& setup : SceneLights) {
    glEnable(setup.light);
  }
  glEnable(GL_COLOR_MATERIAL);
  return true;
}

bool DrawScene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(0.0, 0.0, 5.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  glRotatef(SceneCamera.yawRight, 0.0f, 1.0f, 0.0f);
  glRotatef(SceneCamera.yawLeft, 0.0f, 1.0f, 0.0f);
  glTranslatef(0.0f, 0.0f, SceneCamera.forwardOffset);

  DrawCeiling();
  DrawBackWall();
  DrawPillars();
  DrawLedge();
  DrawRightSide();
  DrawFloor();
  DrawWindowOpenings();

  // Lighting goes on only now, after all geometry: the first frame of a new context is
  // drawn unlit, every later one lit.
  glEnable(GL_LIGHTING);
  return true;
}
