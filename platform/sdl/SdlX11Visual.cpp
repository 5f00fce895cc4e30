// SdlX11Visual.cpp: the X11 visual of a GL window, chosen as Win32's ChoosePixelFormat
// chooses a pixel format: the closest one at least as good as the request. GLX's own choice
// (which SDL uses) prefers the deepest depth buffer it has, so a 16-bit depth request gets
// 24 or 32 bits, and geometry drawn in the plane of an earlier surface (the corridor's
// window openings in the wall) then loses the less-or-equal depth test where a 16-bit
// buffer resolves both to the same depth. The chosen visual reaches SDL through its
// window-visual hint.
#include "SdlBackend.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

struct Candidate {
  unsigned long id = 0;
  std::array<long, 7> cost{}; // smaller is closer; compared in order
};

// Reads one GLX attribute of a visual, 0 when it cannot be read.
int Attribute(Display* display, XVisualInfo& visual, int attribute) {
  int value = 0;
  if (glXGetConfig(display, &visual, attribute, &value) != 0) {
    return 0;
  }
  return value;
}

unsigned long ChooseOnDisplay(Display* display, const SdlVisual& wanted) {
  XVisualInfo pattern{};
  pattern.screen = DefaultScreen(display);
  int count = 0;
  XVisualInfo* visuals = XGetVisualInfo(display, VisualScreenMask, &pattern, &count);
  if (visuals == nullptr) {
    return 0;
  }
  const int screenDepth = DefaultDepth(display, pattern.screen);
  Candidate best;
  best.cost.fill(std::numeric_limits<long>::max());
  for (int i = 0; i < count; ++i) {
    XVisualInfo& visual = visuals[i];
    if (Attribute(display, visual, GLX_USE_GL) == 0 || Attribute(display, visual, GLX_RGBA) == 0 ||
        Attribute(display, visual, GLX_LEVEL) != 0 || visual.depth != screenDepth) {
      continue;
    }
    const bool doubleBuffer = Attribute(display, visual, GLX_DOUBLEBUFFER) != 0;
    const int red = Attribute(display, visual, GLX_RED_SIZE);
    const int green = Attribute(display, visual, GLX_GREEN_SIZE);
    const int blue = Attribute(display, visual, GLX_BLUE_SIZE);
    const int alpha = Attribute(display, visual, GLX_ALPHA_SIZE);
    const int depth = Attribute(display, visual, GLX_DEPTH_SIZE);
    const int stencil = Attribute(display, visual, GLX_STENCIL_SIZE);
    if (doubleBuffer != wanted.doubleBuffer || red < wanted.red || green < wanted.green ||
        blue < wanted.blue || alpha < wanted.alpha || depth < wanted.depth ||
        stencil < wanted.stencil) {
      continue;
    }
    const int accumulation = Attribute(display, visual, GLX_ACCUM_RED_SIZE) +
                             Attribute(display, visual, GLX_ACCUM_ALPHA_SIZE);
    const int samples = Attribute(display, visual, GLX_SAMPLES);
    Candidate candidate;
    candidate.id = visual.visualid;
    candidate.cost = {depth - wanted.depth,
                      stencil - wanted.stencil,
                      accumulation,
                      samples,
                      alpha - wanted.alpha,
                      red + green + blue - (wanted.red + wanted.green + wanted.blue),
                      visual.c_class == TrueColor ? 0 : 1};
    if (candidate.cost < best.cost) {
      best = candidate;
    }
  }
  XFree(visuals);
  return best.id;
}

} // namespace

unsigned long SdlClosestX11Visual(const SdlVisual& wanted) {
  // The display's visuals do not change during a run: remember each answer.
  static std::vector<std::pair<SdlVisual, unsigned long>> answers;
  for (const auto& [visual, id] : answers) {
    if (visual == wanted) {
      return id;
    }
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::strcmp(driver, "x11") != 0) {
    return 0;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return 0;
  }
  const unsigned long id = ChooseOnDisplay(display, wanted);
  XCloseDisplay(display);
  answers.emplace_back(wanted, id);
  return id;
}
