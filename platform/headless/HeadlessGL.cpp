// HeadlessGL.cpp: the headless backend's GDI and WGL entry points. Device contexts and
// pixel formats are bookkeeping; each rendering context is its own EGL context on Mesa's
// surfaceless platform (nothing shared, so texture names start afresh in every context),
// drawing into a framebuffer object of its window's client size. SwapBuffers counts the
// frames and reads back the ones a test asked for.
#include "HeadlessInternal.h"

#define EGL_EGLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdint>
#include <map>

namespace {

// ---- EGL display, set up once per process on first use -----------------------------------

EGLDisplay display = EGL_NO_DISPLAY;
EGLConfig config = nullptr;
bool displayTried = false;

PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;

template <typename Function> bool Load(Function& function, const char* name) {
  function = reinterpret_cast<Function>(eglGetProcAddress(name));
  return function != nullptr;
}

bool EnsureDisplay() {
  if (displayTried) {
    return display != EGL_NO_DISPLAY;
  }
  displayTried = true;
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay == nullptr) {
    return false;
  }
  EGLDisplay candidate =
      getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (candidate == EGL_NO_DISPLAY || eglInitialize(candidate, nullptr, nullptr) != EGL_TRUE) {
    return false;
  }
  // The configuration only matters for the context: drawing goes to our own framebuffer.
  const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                           EGL_NONE};
  EGLint count = 0;
  if (eglChooseConfig(candidate, wanted, &config, 1, &count) != EGL_TRUE || count < 1) {
    eglTerminate(candidate);
    return false;
  }
  bool loaded = Load(genFramebuffers, "glGenFramebuffers") &&
                Load(deleteFramebuffers, "glDeleteFramebuffers") &&
                Load(bindFramebuffer, "glBindFramebuffer") &&
                Load(framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                Load(checkFramebufferStatus, "glCheckFramebufferStatus") &&
                Load(genRenderbuffers, "glGenRenderbuffers") &&
                Load(deleteRenderbuffers, "glDeleteRenderbuffers") &&
                Load(bindRenderbuffer, "glBindRenderbuffer") &&
                Load(renderbufferStorage, "glRenderbufferStorage");
  if (!loaded) {
    eglTerminate(candidate);
    return false;
  }
  display = candidate;
  return true;
}

// ---- Pixel formats ----------------------------------------------------------------------

// Format 1: 16-bit RGB565; format 2: 24-bit RGB888. Both double-buffered with a 16-bit
// depth buffer and no alpha, stencil, accumulation or auxiliary buffers.
constexpr int FormatCount = 2;

void DescribeFormat(int format, PIXELFORMATDESCRIPTOR& out) {
  out = PIXELFORMATDESCRIPTOR{};
  out.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  out.nVersion = 1;
  out.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  out.iPixelType = PFD_TYPE_RGBA;
  out.iLayerType = PFD_MAIN_PLANE;
  out.cDepthBits = 16;
  if (format == 1) {
    out.cColorBits = 16;
    out.cRedBits = 5;
    out.cRedShift = 11;
    out.cGreenBits = 6;
    out.cGreenShift = 5;
    out.cBlueBits = 5;
    out.cBlueShift = 0;
  } else {
    out.cColorBits = 24;
    out.cRedBits = 8;
    out.cRedShift = 16;
    out.cGreenBits = 8;
    out.cGreenShift = 8;
    out.cBlueBits = 8;
    out.cBlueShift = 0;
  }
}

GLenum ColourStorage(int format) {
  return format == 1 ? GL_RGB565 : GL_RGB8;
}

// ---- Device and rendering contexts --------------------------------------------------------

struct DcRecord {
  HWND window = nullptr;
  int pixelFormat = 0;
};

struct ContextRecord {
  EGLContext egl = EGL_NO_CONTEXT;
  int pixelFormat = 0;
  GLuint framebuffer = 0;
  GLuint colour = 0;
  GLuint depth = 0;
  int width = 0;
  int height = 0;
};

std::map<std::uintptr_t, DcRecord> dcs;
std::map<std::uintptr_t, ContextRecord> contexts;
// Handle values grow for the whole run, so stale handles never name newer objects.
std::uintptr_t nextDc = 0x20010;
std::uintptr_t nextContext = 0x30010;
HGLRC currentContext = nullptr;
HDC currentDc = nullptr;

int swapCount = 0;
std::vector<int> captureRequests; // ascending swap numbers still to capture
std::vector<HeadlessFrame> frames;

DcRecord* FindDc(HDC dc) {
  auto found = dcs.find(reinterpret_cast<std::uintptr_t>(dc));
  return found == dcs.end() ? nullptr : &found->second;
}

ContextRecord* FindContext(HGLRC context) {
  auto found = contexts.find(reinterpret_cast<std::uintptr_t>(context));
  return found == contexts.end() ? nullptr : &found->second;
}

void ReleaseCurrent() {
  if (currentContext != nullptr && display != EGL_NO_DISPLAY) {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }
  currentContext = nullptr;
  currentDc = nullptr;
}

// The size the current context's framebuffer should have: its window's client area (kept
// through a minimisation, at least 1 by 1).
bool WantedSize(int& width, int& height) {
  DcRecord* dc = FindDc(currentDc);
  CoreWindow* window = dc != nullptr ? CoreFindWindow(dc->window) : nullptr;
  if (window == nullptr) {
    return false;
  }
  width = std::max(1, window->clientWidth);
  height = std::max(1, window->clientHeight);
  return true;
}

// With `context` current: give it a framebuffer of the wanted size and bind it.
bool FitFramebuffer(ContextRecord& context, int width, int height) {
  if (context.framebuffer == 0) {
    genFramebuffers(1, &context.framebuffer);
    genRenderbuffers(1, &context.colour);
    genRenderbuffers(1, &context.depth);
  }
  if (context.width != width || context.height != height) {
    bindRenderbuffer(GL_RENDERBUFFER, context.colour);
    renderbufferStorage(GL_RENDERBUFFER, ColourStorage(context.pixelFormat), width, height);
    bindRenderbuffer(GL_RENDERBUFFER, context.depth);
    renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    bindRenderbuffer(GL_RENDERBUFFER, 0);
    bindFramebuffer(GL_FRAMEBUFFER, context.framebuffer);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, context.colour);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, context.depth);
    context.width = width;
    context.height = height;
  }
  bindFramebuffer(GL_FRAMEBUFFER, context.framebuffer);
  return checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

bool ReadCurrent(HeadlessFrame& frame) {
  ContextRecord* context = FindContext(currentContext);
  if (context == nullptr || context->framebuffer == 0) {
    return false;
  }
  frame.width = context->width;
  frame.height = context->height;
  frame.rgb.assign(static_cast<std::size_t>(frame.width) * frame.height * 3, 0);
  GLint packAlignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, frame.width, frame.height, GL_RGB, GL_UNSIGNED_BYTE, frame.rgb.data());
  glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
  return true;
}

std::string FormatGlrc(HGLRC context) {
  return FormatPtr(context);
}
std::string FormatInt(int value) {
  return FormatDec(value);
}

std::string FormatDescriptor(const PIXELFORMATDESCRIPTOR* request) {
  if (request == nullptr) {
    return "NULL";
  }
  return "{" +
         JoinArgs(FormatDec(request->nSize), FormatHex(request->dwFlags),
                  FormatDec(request->cColorBits), FormatDec(request->cDepthBits)) +
         "}";
}

} // namespace

// ---- Hooks for the rest of the backend ------------------------------------------------

void HeadlessGLReset() {
  ReleaseCurrent();
  for (auto& [value, context] : contexts) {
    eglDestroyContext(display, context.egl);
  }
  contexts.clear();
  dcs.clear();
}

void HeadlessGLWindowGone(CoreWindow& window) {
  auto* native = static_cast<HeadlessNative*>(window.native);
  if (native == nullptr || native->dc == nullptr) {
    return;
  }
  if (currentDc == native->dc) {
    currentDc = nullptr; // the context stays current, but nothing can be presented
  }
  dcs.erase(reinterpret_cast<std::uintptr_t>(native->dc));
  native->dc = nullptr;
}

void HeadlessGLFollowClientSize() {
  ContextRecord* context = FindContext(currentContext);
  int width = 0;
  int height = 0;
  if (context != nullptr && WantedSize(width, height) &&
      (width != context->width || height != context->height)) {
    FitFramebuffer(*context, width, height);
  }
}

void HeadlessGLSwapsReset() {
  swapCount = 0;
  captureRequests.clear();
  frames.clear();
}

int HeadlessSwapCount() {
  return swapCount;
}

void HeadlessCaptureAtSwap(int swapNumber) {
  auto at = std::lower_bound(captureRequests.begin(), captureRequests.end(), swapNumber);
  if (at == captureRequests.end() || *at != swapNumber) {
    captureRequests.insert(at, swapNumber);
  }
}

const std::vector<HeadlessFrame>& HeadlessFrames() {
  return frames;
}

bool HeadlessReadFramebuffer(HeadlessFrame& frame) {
  frame.swapNumber = swapCount;
  return ReadCurrent(frame);
}

int HeadlessLiveContextCount() {
  return static_cast<int>(contexts.size());
}

// ---- USER32 device contexts ---------------------------------------------------------------

HDC GetDC(HWND window) {
  HeadlessCallScope call("GetDC", [&] { return FormatPtr(window); });
  CoreWindow* record = CoreFindWindow(window);
  if (call.Failing() || record == nullptr || record->native == nullptr) {
    return call.Result(static_cast<HDC>(nullptr), FormatPtr);
  }
  // Each window has its own device context for its whole life.
  auto* native = static_cast<HeadlessNative*>(record->native);
  if (native->dc == nullptr) {
    native->dc = reinterpret_cast<HDC>(nextDc);
    nextDc += 0x10;
    dcs.emplace(reinterpret_cast<std::uintptr_t>(native->dc), DcRecord{window, 0});
  }
  return call.Result(native->dc, FormatPtr);
}

int ReleaseDC(HWND window, HDC dc) {
  HeadlessCallScope call("ReleaseDC", [&] { return JoinArgs(FormatPtr(window), FormatPtr(dc)); });
  DcRecord* record = FindDc(dc);
  bool ok = !call.Failing() && record != nullptr && record->window == window;
  return call.Result(ok ? 1 : 0, FormatInt);
}

// ---- GDI32 --------------------------------------------------------------------------------

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
  HeadlessCallScope call("ChoosePixelFormat",
                         [&] { return JoinArgs(FormatPtr(dc), FormatDescriptor(request)); });
  if (call.Failing() || FindDc(dc) == nullptr || request == nullptr) {
    return call.Result(0, FormatInt);
  }
  // The closest format with at least the requested colour bits, else the deepest one.
  int format = request->cColorBits <= 16 ? 1 : 2;
  return call.Result(format, FormatInt);
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* request) {
  HeadlessCallScope call("SetPixelFormat", [&] {
    return JoinArgs(FormatPtr(dc), FormatDec(format), FormatDescriptor(request));
  });
  DcRecord* record = FindDc(dc);
  // A window's pixel format is set once.
  bool ok = !call.Failing() && record != nullptr && format >= 1 && format <= FormatCount &&
            record->pixelFormat == 0;
  if (ok) {
    record->pixelFormat = format;
  }
  return call.Result(ok ? TRUE : FALSE, FormatBool);
}

int DescribePixelFormat(HDC dc, int format, UINT size, PIXELFORMATDESCRIPTOR* out) {
  HeadlessCallScope call("DescribePixelFormat", [&] {
    return JoinArgs(FormatPtr(dc), FormatDec(format), FormatDec(size), FormatPtr(out));
  });
  if (call.Failing() || FindDc(dc) == nullptr) {
    return call.Result(0, FormatInt);
  }
  if (out != nullptr) {
    if (format < 1 || format > FormatCount || size < sizeof(PIXELFORMATDESCRIPTOR)) {
      return call.Result(0, FormatInt);
    }
    DescribeFormat(format, *out);
  }
  return call.Result(FormatCount, FormatInt);
}

BOOL SwapBuffers(HDC dc) {
  HeadlessCallScope call("SwapBuffers", [&] { return FormatPtr(dc); });
  if (call.Failing() || FindDc(dc) == nullptr) {
    return call.Result(FALSE, FormatBool);
  }
  ++swapCount;
  if (currentDc == dc) {
    glFlush(); // the frame is finished, as a real buffer swap implies
  }
  if (!captureRequests.empty() && captureRequests.front() <= swapCount) {
    if (captureRequests.front() == swapCount) {
      HeadlessFrame frame;
      frame.swapNumber = swapCount;
      if (currentDc == dc) {
        ReadCurrent(frame);
      }
      frames.push_back(std::move(frame));
    }
    captureRequests.erase(captureRequests.begin());
  }
  // Scripted events due after this swap reach the window through the next PeekMessageA.
  return call.Result(TRUE, FormatBool);
}

// ---- WGL ----------------------------------------------------------------------------------

HGLRC wglCreateContext(HDC dc) {
  HeadlessCallScope call("wglCreateContext", [&] { return FormatPtr(dc); });
  DcRecord* record = FindDc(dc);
  if (call.Failing() || record == nullptr || record->pixelFormat == 0 || !EnsureDisplay()) {
    return call.Result(static_cast<HGLRC>(nullptr), FormatGlrc);
  }
  eglBindAPI(EGL_OPENGL_API);
  const EGLint attributes[] = {EGL_NONE}; // the compatibility profile, newest version
  EGLContext egl = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
  if (egl == EGL_NO_CONTEXT) {
    return call.Result(static_cast<HGLRC>(nullptr), FormatGlrc);
  }
  auto context = reinterpret_cast<HGLRC>(nextContext);
  nextContext += 0x10;
  ContextRecord entry;
  entry.egl = egl;
  entry.pixelFormat = record->pixelFormat;
  contexts.emplace(reinterpret_cast<std::uintptr_t>(context), entry);
  return call.Result(context, FormatGlrc);
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
  HeadlessCallScope call("wglMakeCurrent",
                         [&] { return JoinArgs(FormatPtr(dc), FormatPtr(context)); });
  if (call.Failing()) {
    return call.Result(FALSE, FormatBool);
  }
  if (context == nullptr) {
    ReleaseCurrent();
    return call.Result(TRUE, FormatBool);
  }
  DcRecord* dcRecord = FindDc(dc);
  ContextRecord* record = FindContext(context);
  if (dcRecord == nullptr || record == nullptr || dcRecord->pixelFormat != record->pixelFormat) {
    return call.Result(FALSE, FormatBool);
  }
  eglBindAPI(EGL_OPENGL_API);
  if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, record->egl) != EGL_TRUE) {
    return call.Result(FALSE, FormatBool);
  }
  HGLRC previousContext = currentContext;
  HDC previousDc = currentDc;
  currentContext = context;
  currentDc = dc;
  int width = 1;
  int height = 1;
  WantedSize(width, height);
  if (!FitFramebuffer(*record, width, height)) {
    currentContext = previousContext;
    currentDc = previousDc;
    ContextRecord* previous = FindContext(previousContext);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE,
                   previous != nullptr ? previous->egl : EGL_NO_CONTEXT);
    return call.Result(FALSE, FormatBool);
  }
  return call.Result(TRUE, FormatBool);
}

BOOL wglDeleteContext(HGLRC context) {
  HeadlessCallScope call("wglDeleteContext", [&] { return FormatPtr(context); });
  ContextRecord* record = FindContext(context);
  if (call.Failing() || record == nullptr) {
    return call.Result(FALSE, FormatBool);
  }
  if (currentContext == context) {
    ReleaseCurrent();
  }
  eglDestroyContext(display, record->egl);
  contexts.erase(reinterpret_cast<std::uintptr_t>(context));
  return call.Result(TRUE, FormatBool);
}

HGLRC wglGetCurrentContext() {
  HeadlessCallScope call("wglGetCurrentContext", [] { return std::string(); });
  return call.Result(currentContext, FormatGlrc);
}
