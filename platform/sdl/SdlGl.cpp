// SdlGl.cpp: device contexts, pixel formats, WGL rendering contexts and the buffer swap over
// SDL's GL support. An X11 window's visual is fixed when the window is made, while Win32
// sets the pixel format afterwards: every window is made GL-capable with the usual
// request's sizes (SdlVisual), and pixel format 1 describes that visual as the driver gave
// it. A request that asks for more is offered format 2, what a window made for it gets,
// and setting that makes the native window again with it.
#include "SdlBackend.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace {

struct SdlContext {
  SDL_GLContext context = nullptr;
  SdlWindow* window = nullptr; // the window it was made for; null once that is gone
};

std::map<std::uintptr_t, SdlContext> contexts;
std::uintptr_t nextContextHandle = 0x30000;
HGLRC currentContext = nullptr;

SdlContext* FindContext(HGLRC handle) {
  auto found = contexts.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == contexts.end() ? nullptr : &found->second;
}

// Reads a native window's real GL visual through a short-lived context, leaving whatever
// context was current as it was.
bool QueryVisual(SDL_Window* native, PIXELFORMATDESCRIPTOR& f) {
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
  SDL_GLContext probe = SDL_GL_CreateContext(native);
  if (probe == nullptr) {
    return false;
  }
  int red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0, doubleBuffer = 0;
  SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &red);
  SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &green);
  SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &blue);
  SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &alpha);
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
  SDL_GL_MakeCurrent(previousWindow, previousContext);
  SDL_GL_DeleteContext(probe);

  f = PIXELFORMATDESCRIPTOR{};
  f.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  f.nVersion = 1;
  f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doubleBuffer != 0 ? PFD_DOUBLEBUFFER : 0);
  f.iPixelType = PFD_TYPE_RGBA;
  f.cColorBits = static_cast<BYTE>(red + green + blue);
  f.cRedBits = static_cast<BYTE>(red);
  f.cRedShift = static_cast<BYTE>(green + blue);
  f.cGreenBits = static_cast<BYTE>(green);
  f.cGreenShift = static_cast<BYTE>(blue);
  f.cBlueBits = static_cast<BYTE>(blue);
  f.cBlueShift = 0;
  f.cAlphaBits = static_cast<BYTE>(alpha);
  f.cAlphaShift = static_cast<BYTE>(alpha != 0 ? red + green + blue : 0);
  f.cDepthBits = static_cast<BYTE>(depth);
  f.cStencilBits = static_cast<BYTE>(stencil);
  f.iLayerType = PFD_MAIN_PLANE;
  return true;
}

// Format 1: the visual the window was made with.
bool QueryFormat(SdlWindow& window) {
  if (!window.formatKnown) {
    window.formatKnown = QueryVisual(window.window, window.format);
  }
  return window.formatKnown;
}

// What a window made with `visual` would get, found with a hidden stand-in window; false
// when the display has no such visual.
bool ProbeVisual(const SdlVisual& visual, PIXELFORMATDESCRIPTOR& out) {
  SdlUseVisual(visual);
  SDL_Window* standIn = SDL_CreateWindow(
      "", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
  if (standIn == nullptr) {
    return false;
  }
  const bool found = QueryVisual(standIn, out);
  SDL_DestroyWindow(standIn);
  return found;
}

} // namespace

namespace {

constexpr DWORD DoubleBufferDontCare = 0x40000000; // PFD_DOUBLEBUFFER_DONTCARE

// Alpha bits a request asks for, counting colour depths above 24 bits as alpha.
int WantedAlpha(const PIXELFORMATDESCRIPTOR& request) {
  const int fromColour = request.cColorBits > 24 ? std::min(8, request.cColorBits - 24) : 0;
  return std::max<int>(request.cAlphaBits, fromColour);
}

} // namespace

SdlVisual SdlVisualFor(const PIXELFORMATDESCRIPTOR& request) {
  SdlVisual visual;
  if (request.cColorBits > 16) {
    visual.red = visual.green = visual.blue = 8;
  }
  visual.alpha = WantedAlpha(request);
  visual.depth = std::max<int>(visual.depth, request.cDepthBits);
  visual.stencil = request.cStencilBits;
  visual.doubleBuffer =
      (request.dwFlags & PFD_DOUBLEBUFFER) != 0 || (request.dwFlags & DoubleBufferDontCare) != 0;
  return visual;
}

bool SdlFormatSatisfies(const PIXELFORMATDESCRIPTOR& format, const PIXELFORMATDESCRIPTOR& request) {
  const int colour = format.cRedBits + format.cGreenBits + format.cBlueBits;
  const bool doubleBuffered = (format.dwFlags & PFD_DOUBLEBUFFER) != 0;
  const bool doubleWanted = (request.dwFlags & PFD_DOUBLEBUFFER) != 0;
  return colour >= std::min<int>(request.cColorBits, 24) &&
         format.cAlphaBits >= WantedAlpha(request) && format.cDepthBits >= request.cDepthBits &&
         format.cStencilBits >= request.cStencilBits &&
         ((request.dwFlags & DoubleBufferDontCare) != 0 || doubleBuffered == doubleWanted);
}

void SdlForgetContextsOf(SdlWindow& window) {
  for (auto& [handle, context] : contexts) {
    if (context.window == &window) {
      context.window = nullptr;
    }
  }
}

HDC GetDC(HWND handle) {
  SdlWindow* window = SdlFindWindow(handle);
  return window != nullptr ? window->deviceContext : nullptr;
}

int ReleaseDC(HWND handle, HDC dc) {
  // The window keeps its own device context for its whole life; releasing it only checks
  // that it is that window's.
  SdlWindow* window = SdlFindWindow(handle);
  return window != nullptr && dc != nullptr && window->deviceContext == dc ? 1 : 0;
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr || request == nullptr || request->iPixelType != PFD_TYPE_RGBA) {
    return 0; // colour-index formats are not offered
  }
  if (!QueryFormat(*window)) {
    return 0;
  }
  if (SdlFormatSatisfies(window->format, *request)) {
    return SdlOwnFormat;
  }
  // The window's visual falls short of the request: offer what a window made for the
  // request gets, or, when the display has nothing of the kind, the closest there is.
  // Only on X11: SDL's EGL drivers keep one configuration for all windows, chosen by the
  // newest, so a stand-in window there would change the visual of the others.
  if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "x11") != 0) {
    return SdlOwnFormat;
  }
  const SdlVisual wanted = SdlVisualFor(*request);
  if (!window->alternativeKnown || !(window->alternativeVisual == wanted)) {
    PIXELFORMATDESCRIPTOR found{};
    if (window->pixelFormat != 0 || !ProbeVisual(wanted, found)) {
      return SdlOwnFormat;
    }
    window->alternativeKnown = true;
    window->alternativeVisual = wanted;
    window->alternative = found;
  }
  return SdlAlternativeFormat;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* /*request*/) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr || !QueryFormat(*window)) {
    return FALSE;
  }
  if (window->pixelFormat != 0) {
    return window->pixelFormat == format ? TRUE : FALSE; // a window's format is set once
  }
  if (format == SdlAlternativeFormat && window->alternativeKnown) {
    // The X11 window's visual cannot change: the native window is made again with it.
    if (!SdlRemakeNativeWindow(*window, window->alternativeVisual)) {
      return FALSE;
    }
  } else if (format != SdlOwnFormat) {
    return FALSE;
  }
  window->pixelFormat = format;
  return TRUE;
}

int DescribePixelFormat(HDC dc, int format, UINT size, PIXELFORMATDESCRIPTOR* out) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr || !QueryFormat(*window)) {
    return 0;
  }
  const int count = window->alternativeKnown ? SdlAlternativeFormat : SdlOwnFormat;
  if (out != nullptr) {
    if (format < 1 || format > count || size < sizeof(PIXELFORMATDESCRIPTOR)) {
      return 0;
    }
    *out = format == SdlOwnFormat ? window->format : window->alternative;
  }
  return count; // the highest format number
}

BOOL SwapBuffers(HDC dc) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr) {
    return FALSE;
  }
  SDL_GL_SwapWindow(window->window);
  return TRUE;
}

HGLRC wglCreateContext(HDC dc) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr || window->pixelFormat == 0) {
    return nullptr; // as on Win32, the device context needs its pixel format first
  }
  // SDL makes a new context current; WGL does not, so the previous one is put back.
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
  SDL_GLContext context = SDL_GL_CreateContext(window->window);
  if (context == nullptr) {
    return nullptr;
  }
  SDL_GL_MakeCurrent(previousWindow, previousContext);
  HGLRC handle = reinterpret_cast<HGLRC>(nextContextHandle);
  nextContextHandle += 0x10;
  contexts[reinterpret_cast<std::uintptr_t>(handle)] = SdlContext{context, window};
  return handle;
}

BOOL wglMakeCurrent(HDC dc, HGLRC handle) {
  if (handle == nullptr) {
    // Release the current context (the device context is not looked at).
    if (currentContext != nullptr) {
      SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
      currentContext = nullptr;
    }
    return TRUE;
  }
  SdlContext* context = FindContext(handle);
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (context == nullptr || window == nullptr || window->pixelFormat == 0) {
    return FALSE;
  }
  if (SDL_GL_MakeCurrent(window->window, context->context) != 0) {
    return FALSE;
  }
  currentContext = handle;
  return TRUE;
}

BOOL wglDeleteContext(HGLRC handle) {
  SdlContext* context = FindContext(handle);
  if (context == nullptr) {
    return FALSE;
  }
  if (currentContext == handle) {
    SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    currentContext = nullptr;
  }
  SDL_GL_DeleteContext(context->context);
  contexts.erase(reinterpret_cast<std::uintptr_t>(handle));
  return TRUE;
}

HGLRC wglGetCurrentContext() {
  return currentContext;
}
