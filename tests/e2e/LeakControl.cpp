// LeakControl.cpp: leak-control, a program for sanitizer builds that loads the GL driver the
// way the viewer (SDL, GLX on X11) or the headless tests (EGL surfaceless) do, draws once,
// and, when asked, leaks one block of its own. The suite runs it both ways to show that the
// sanitizer options and suppressions the tests use pass a clean run through the system's
// GL libraries, yet still report a leak made by our code.
//
//   leak-control sdl|egl clean|leak
//       Exits 0 after a clean run (LeakSanitizer then reports nothing); exits 2 when the GL
//       driver cannot be loaded or the arguments are wrong.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace {

// Kept out of line so that its name is in the report: a block that nothing points at once
// this returns.
[[gnu::noinline]] void LeakOnPurpose() {
  char* volatile block = new char[4096];
  std::memset(block, 0x5a, 4096);
  block = nullptr;
}

bool DrawWithSdl() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "leak-control: SDL_Init: %s\n", SDL_GetError());
    return false;
  }
  SDL_Window* window =
      SDL_CreateWindow("Leak Control", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
  if (context == nullptr) {
    std::fprintf(stderr, "leak-control: no GL window: %s\n", SDL_GetError());
    return false;
  }
  glClear(GL_COLOR_BUFFER_BIT);
  glFinish();
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  // Like the viewer, SDL is left loaded: unloading the GL driver at exit is what the
  // system's libraries do not expect.
  return true;
}

bool DrawWithEgl() {
  auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLDisplay display = getDisplay != nullptr
                           ? getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)
                           : EGL_NO_DISPLAY;
  if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
    std::fprintf(stderr, "leak-control: no EGL display\n");
    return false;
  }
  const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                           EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  eglBindAPI(EGL_OPENGL_API);
  const EGLint none[] = {EGL_NONE};
  EGLContext context = eglChooseConfig(display, wanted, &config, 1, &count) == EGL_TRUE && count > 0
                           ? eglCreateContext(display, config, EGL_NO_CONTEXT, none)
                           : EGL_NO_CONTEXT;
  if (context == EGL_NO_CONTEXT ||
      eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
    std::fprintf(stderr, "leak-control: no EGL context\n");
    return false;
  }
  glFinish();
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(display, context);
  eglTerminate(display);
  return true;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "sdl") != 0 && std::strcmp(argv[1], "egl") != 0) ||
      (std::strcmp(argv[2], "clean") != 0 && std::strcmp(argv[2], "leak") != 0)) {
    std::fprintf(stderr, "usage: leak-control sdl|egl clean|leak\n");
    return 2;
  }
  const bool drawn = std::strcmp(argv[1], "sdl") == 0 ? DrawWithSdl() : DrawWithEgl();
  if (!drawn) {
    return 2;
  }
  if (std::strcmp(argv[2], "leak") == 0) {
    LeakOnPurpose();
  }
  std::puts("drawn");
  return 0;
}
