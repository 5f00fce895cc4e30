// SdlGl.cpp: device contexts, pixel formats, WGL rendering contexts and the buffer swap over
// SDL's GL support. An X11 window's visual is fixed when the window is made, while Win32
// sets the pixel format afterwards: every window is created GL-capable with at least 5/6/5
// colour, a 16-bit depth buffer and double buffering, and its pixel format 1 describes
// that visual exactly as the driver gave it.
#include "SdlBackend.h"

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

// Reads the window's real GL visual through a short-lived context, leaving whatever
// context was current as it was.
bool QueryFormat(SdlWindow& window) {
  if (window.formatKnown) {
    return true;
  }
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
  SDL_GLContext probe = SDL_GL_CreateContext(window.window);
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

  PIXELFORMATDESCRIPTOR& f = window.format;
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
  window.formatKnown = true;
  return true;
}

// The one pixel format a window offers.
constexpr int WindowFormat = 1;

} // namespace

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
  return QueryFormat(*window) ? WindowFormat : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* /*request*/) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr || format != WindowFormat || !QueryFormat(*window)) {
    return FALSE;
  }
  if (window->pixelFormat != 0 && window->pixelFormat != format) {
    return FALSE; // a window's pixel format is set once
  }
  window->pixelFormat = format;
  return TRUE;
}

int DescribePixelFormat(HDC dc, int format, UINT size, PIXELFORMATDESCRIPTOR* out) {
  SdlWindow* window = SdlFindWindowByDc(dc);
  if (window == nullptr || !QueryFormat(*window)) {
    return 0;
  }
  if (out != nullptr) {
    if (format != WindowFormat || size < sizeof(PIXELFORMATDESCRIPTOR)) {
      return 0;
    }
    *out = window->format;
  }
  return WindowFormat; // the highest format number
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
