// gl_recorder.cpp: records the GL 1.1 and GLU calls of the scene code instead of making them.
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <utility>

namespace {

std::vector<RecordedCall> Calls;
bool ContextCurrent = true;
GLuint NextTextureName = 1;
GLint UnpackAlignment = 4;

void Record(const char* name, std::vector<double> args) {
  Calls.push_back({name, std::move(args)});
}

int LightValueCount(GLenum pname) {
  switch (pname) {
  case GL_SPOT_DIRECTION:
    return 3;
  case GL_SPOT_EXPONENT:
  case GL_SPOT_CUTOFF:
  case GL_CONSTANT_ATTENUATION:
  case GL_LINEAR_ATTENUATION:
  case GL_QUADRATIC_ATTENUATION:
    return 1;
  default:
    return 4;
  }
}

} // namespace

void ClearRecordedCalls() {
  Calls.clear();
  ContextCurrent = true;
  NextTextureName = 1;
  UnpackAlignment = 4;
}
const std::vector<RecordedCall>& RecordedCalls() {
  return Calls;
}
void SetRecorderContextCurrent(bool current) {
  ContextCurrent = current;
}

std::vector<RecordedCall> CallsNamed(const std::string& name) {
  std::vector<RecordedCall> found;
  for (const RecordedCall& call : Calls) {
    if (call.name == name) {
      found.push_back(call);
    }
  }
  return found;
}

extern "C" {

const GLubyte* GLAPIENTRY glGetString(GLenum name) {
  Record("glGetString", {static_cast<double>(name)});
  static const GLubyte version[] = "1.1 recorder";
  return ContextCurrent ? version : nullptr;
}
void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  Record("glViewport", {double(x), double(y), double(width), double(height)});
}
void GLAPIENTRY glMatrixMode(GLenum mode) {
  Record("glMatrixMode", {double(mode)});
}
void GLAPIENTRY glLoadIdentity() {
  Record("glLoadIdentity", {});
}
void GLAPIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  Record("gluPerspective", {fovy, aspect, zNear, zFar});
}
void GLAPIENTRY gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX,
                          GLdouble centerY, GLdouble centerZ, GLdouble upX, GLdouble upY,
                          GLdouble upZ) {
  Record("gluLookAt", {eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ});
}
void GLAPIENTRY glEnable(GLenum cap) {
  Record("glEnable", {double(cap)});
}
void GLAPIENTRY glDisable(GLenum cap) {
  Record("glDisable", {double(cap)});
}
void GLAPIENTRY glShadeModel(GLenum mode) {
  Record("glShadeModel", {double(mode)});
}
void GLAPIENTRY glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
  Record("glClearColor", {r, g, b, a});
}
void GLAPIENTRY glClearDepth(GLclampd depth) {
  Record("glClearDepth", {depth});
}
void GLAPIENTRY glDepthFunc(GLenum func) {
  Record("glDepthFunc", {double(func)});
}
void GLAPIENTRY glHint(GLenum target, GLenum mode) {
  Record("glHint", {double(target), double(mode)});
}
void GLAPIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
  std::vector<double> args = {double(light), double(pname)};
  for (int i = 0; i < LightValueCount(pname); ++i) {
    args.push_back(params[i]);
  }
  Record("glLightfv", std::move(args));
}
void GLAPIENTRY glClear(GLbitfield mask) {
  Record("glClear", {double(mask)});
}
void GLAPIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  Record("glRotatef", {angle, x, y, z});
}
void GLAPIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  Record("glTranslatef", {x, y, z});
}
void GLAPIENTRY glBindTexture(GLenum target, GLuint texture) {
  Record("glBindTexture", {double(target), double(texture)});
}
void GLAPIENTRY glBegin(GLenum mode) {
  Record("glBegin", {double(mode)});
}
void GLAPIENTRY glEnd() {
  Record("glEnd", {});
}
void GLAPIENTRY glColor3f(GLfloat r, GLfloat g, GLfloat b) {
  Record("glColor3f", {r, g, b});
}
void GLAPIENTRY glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  Record("glNormal3f", {x, y, z});
}
void GLAPIENTRY glTexCoord2f(GLfloat s, GLfloat t) {
  Record("glTexCoord2f", {s, t});
}
void GLAPIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  Record("glVertex3f", {x, y, z});
}
void GLAPIENTRY glPushMatrix() {
  Record("glPushMatrix", {});
}
void GLAPIENTRY glPopMatrix() {
  Record("glPopMatrix", {});
}
void GLAPIENTRY glGenTextures(GLsizei n, GLuint* textures) {
  for (GLsizei i = 0; i < n; ++i) {
    textures[i] = NextTextureName++;
  }
  Record("glGenTextures", {double(n)});
}
void GLAPIENTRY glPixelStorei(GLenum pname, GLint param) {
  if (pname == GL_UNPACK_ALIGNMENT) {
    UnpackAlignment = param;
  }
  Record("glPixelStorei", {double(pname), double(param)});
}
// Recorded with the unpack alignment in force as the last argument.
void GLAPIENTRY glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                             GLsizei height, GLint border, GLenum format, GLenum type,
                             const GLvoid* pixels) {
  Record("glTexImage2D", {double(target), double(level), double(internalFormat), double(width),
                          double(height), double(border), double(format), double(type),
                          pixels != nullptr ? 1.0 : 0.0, double(UnpackAlignment)});
}
void GLAPIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param) {
  Record("glTexParameteri", {double(target), double(pname), double(param)});
}

} // extern "C"
