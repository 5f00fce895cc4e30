// frame_bench.cpp: speed of the real frame loop against a bare loop, and start-up time.
//
// ShellFrameLoop runs the program's SceneMain on the headless backend at 640x480 (windowed),
// ended by a scripted Escape. Each iteration runs it twice, for 50 and for 550 presented
// frames, and times only the difference, so start-up and tear-down cancel out: what is
// left is 500 passes of the frame loop (message pump, DrawScene, buffer swap).
// BareFrameLoop draws the same scene (DrawScene: 41 quads) 500 times in a plain EGL
// context with a framebuffer object of the same format and no shell around it, flushing
// after each frame as the headless swap does. The ratio of the two frame rates is printed
// at the end (1.0: the shell costs nothing).
//
// StartupShell / StartupBare time from spawning a process to its exit: the program up to
// its first presented frame (Escape scripted at the first swap), against a program that
// only creates the same kind of context and presents one frame.
//
// Run from anywhere: the textures are read from the source tree's Data/.
#define EGL_EGLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES
#include "Headless.h"
#include "SceneApp.h"
#include "SceneRender.h"
#include "SceneTextures.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int ShortRun = 50;
constexpr int LongRun = 550;
constexpr int MeasuredFrames = LongRun - ShortRun;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// ---- The program's frame loop ---------------------------------------------------------

void FreshShell() {
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  HeadlessSetJournaling(false); // the journal is test bookkeeping, not part of the program
  std::fill(std::begin(KeyTable), std::end(KeyTable), BYTE{0});
  WindowActive = true;
  FullscreenMode = true;
  SceneWindow = SceneWindowHandles{};
  SceneCamera = CameraPose{};
  SceneTextures = SceneTextureSet{};
  PixelFormatRequest = PIXELFORMATDESCRIPTOR{};
}

// Runs SceneMain windowed until Escape arrives after `swaps` presented frames, holding Up so
// that the camera moves as it would in use. Returns the seconds it took.
double RunShell(int swaps) {
  FreshShell();
  HeadlessAnswerDialogs({IDNO}); // "run in full screen?" -> no
  HeadlessKeyDownAt(0, VK_UP);
  HeadlessKeyDownAt(swaps, VK_ESCAPE);
  const Clock::time_point start = Clock::now();
  SceneMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
  const double seconds = Seconds(start, Clock::now());
  if (HeadlessSwapCount() != swaps) {
    std::fprintf(stderr, "frame_bench: expected %d swaps, saw %d\n", swaps, HeadlessSwapCount());
  }
  return seconds;
}

void ShellFrameLoop(benchmark::State& state) {
  for (auto _ : state) {
    const double shortRun = RunShell(ShortRun);
    const double longRun = RunShell(LongRun);
    state.SetIterationTime(std::max(longRun - shortRun, 1e-9));
  }
  state.counters["fps"] = benchmark::Counter(double(MeasuredFrames) * double(state.iterations()),
                                             benchmark::Counter::kIsRate);
}
BENCHMARK(ShellFrameLoop)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// ---- A bare EGL loop ------------------------------------------------------------------

struct BareContext {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  GLuint framebuffer = 0;
  GLuint renderbuffers[2] = {0, 0};
};

// An OpenGL (compatibility) context on Mesa's surfaceless platform, drawing into a 640x480
// framebuffer object with RGB565 colour and 16-bit depth, as the headless backend makes.
bool OpenBare(BareContext& bare) {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay == nullptr) {
    return false;
  }
  bare.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (bare.display == EGL_NO_DISPLAY || !eglInitialize(bare.display, nullptr, nullptr)) {
    return false;
  }
  const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                           EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (!eglChooseConfig(bare.display, wanted, &config, 1, &count) || count < 1 ||
      !eglBindAPI(EGL_OPENGL_API)) {
    return false;
  }
  const EGLint attributes[] = {EGL_NONE};
  bare.context = eglCreateContext(bare.display, config, EGL_NO_CONTEXT, attributes);
  if (bare.context == EGL_NO_CONTEXT ||
      !eglMakeCurrent(bare.display, EGL_NO_SURFACE, EGL_NO_SURFACE, bare.context)) {
    return false;
  }
  glGenFramebuffers(1, &bare.framebuffer);
  glGenRenderbuffers(2, bare.renderbuffers);
  glBindRenderbuffer(GL_RENDERBUFFER, bare.renderbuffers[0]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, Width, Height);
  glBindRenderbuffer(GL_RENDERBUFFER, bare.renderbuffers[1]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, Width, Height);
  glBindFramebuffer(GL_FRAMEBUFFER, bare.framebuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            bare.renderbuffers[0]);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                            bare.renderbuffers[1]);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void CloseBare(BareContext& bare) {
  if (bare.context != EGL_NO_CONTEXT) {
    glDeleteFramebuffers(1, &bare.framebuffer);
    glDeleteRenderbuffers(2, bare.renderbuffers);
    eglMakeCurrent(bare.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(bare.display, bare.context);
  }
  bare = BareContext{};
}

void BareFrameLoop(benchmark::State& state) {
  HeadlessReset(); // the texture files are read through the platform's file mapping
  HeadlessCaptureDialogs(true);
  HeadlessSetJournaling(false);
  BareContext bare;
  if (!OpenBare(bare)) {
    state.SkipWithError("cannot create the EGL context");
    CloseBare(bare);
    return;
  }
  SceneTextures = SceneTextureSet{};
  SceneCamera = CameraPose{};
  ResizeScene(Width, Height);
  if (!InitSceneState()) {
    state.SkipWithError("no texture in Data/");
    CloseBare(bare);
    return;
  }
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (int frame = 0; frame < MeasuredFrames; ++frame) {
      DrawScene();
      glFlush();
      SceneCamera.forwardOffset += 0.02f;
    }
    state.SetIterationTime(Seconds(start, Clock::now()));
  }
  state.counters["fps"] = benchmark::Counter(double(MeasuredFrames) * double(state.iterations()),
                                             benchmark::Counter::kIsRate);
  CloseBare(bare);
}
BENCHMARK(BareFrameLoop)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// ---- Start-up: process spawn to exit --------------------------------------------------

// What a child process does when started with --child-shell or --child-bare.
int RunChild(const char* mode) {
  if (std::strcmp(mode, "--child-shell") == 0) {
    FreshShell();
    HeadlessAnswerDialogs({IDNO});
    HeadlessKeyDownAt(1, VK_ESCAPE); // end after the first presented frame
    SceneMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
    return HeadlessSwapCount() == 1 ? 0 : 1;
  }
  BareContext bare;
  if (!OpenBare(bare)) {
    return 1;
  }
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFlush();
  CloseBare(bare);
  return 0;
}

double SpawnAndWait(const char* mode) {
  char self[] = "/proc/self/exe";
  std::vector<char> arg(mode, mode + std::strlen(mode) + 1);
  char* argv[] = {self, arg.data(), nullptr};
  const Clock::time_point start = Clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) {
    return -1;
  }
  int status = 0;
  waitpid(child, &status, 0);
  const double seconds = Seconds(start, Clock::now());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void Startup(benchmark::State& state, const char* mode) {
  for (auto _ : state) {
    const double seconds = SpawnAndWait(mode);
    if (seconds < 0) {
      state.SkipWithError("the child process failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK_CAPTURE(Startup, Shell, "--child-shell")
    ->Name("StartupShell")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Startup, Bare, "--child-bare")
    ->Name("StartupBare")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// Prints the usual table and keeps each run's frame rate and time for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const auto fps = run.counters.find("fps");
      if (fps != run.counters.end()) {
        framesPerSecond[name] = fps->second.value;
      }
      milliseconds[name] = run.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> framesPerSecond;
  std::map<std::string, double> milliseconds;
};

double Find(const std::map<std::string, double>& values, const std::string& prefix) {
  for (const auto& [name, value] : values) {
    if (name.rfind(prefix, 0) == 0) {
      return value;
    }
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strncmp(argv[1], "--child-", 8) == 0) {
    std::filesystem::current_path(TALVERN_SOURCE_DIR);
    return RunChild(argv[1]);
  }
  std::filesystem::current_path(TALVERN_SOURCE_DIR);
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double shell = Find(reporter.framesPerSecond, "ShellFrameLoop");
  const double bare = Find(reporter.framesPerSecond, "BareFrameLoop");
  if (shell > 0 && bare > 0) {
    std::printf("frame loop: shell %.1f fps, bare %.1f fps, ratio %.3f (target >= 0.95)\n", shell,
                bare, shell / bare);
  }
  const double startShell = Find(reporter.milliseconds, "StartupShell");
  const double startBare = Find(reporter.milliseconds, "StartupBare");
  if (startShell > 0 && startBare > 0) {
    std::printf("start to first frame (spawn to exit): shell %.1f ms, bare %.1f ms\n", startShell,
                startBare);
  }
  return 0;
}
