// snapshot_main.cpp: talvern-snapshot, renders the corridor headlessly (no display needed)
// with the textures of Data/ in the working directory and saves the frame as a PNG.
//
//   talvern-snapshot [--forward F] [--yaw DEG] [--frames N] [--out FILE]
//
// --forward sets forwardOffset (default -80), --yaw sets yawRight (default 0), --frames is
// the number of frames drawn in the new context (default 2: the first frame of a context
// is unlit, the second lit), --out the PNG path (default snapshot.png). 640x480.
#include "Headless.h"
#include "snapshot_png.h"
#include "snapshot_scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int Width = 640;
constexpr int Height = 480;

void PrintUsage() {
  std::fprintf(stderr,
               "usage: talvern-snapshot [--forward F] [--yaw DEG] [--frames N] [--out FILE]\n");
}

bool ParseFloat(const char* text, float& value) {
  char* end = nullptr;
  const float parsed = std::strtof(text, &end);
  if (end == text || *end != '\0') {
    return false;
  }
  value = parsed;
  return true;
}

bool ParseCount(const char* text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < 1 || parsed > 100000) {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

} // namespace

int main(int argc, char** argv) {
  CameraPose pose;
  int frames = 2;
  std::string out = "snapshot.png";
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (i + 1 >= argc) {
      PrintUsage();
      return 2;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (std::strcmp(option, "--forward") == 0) {
      ok = ParseFloat(value, pose.forwardOffset);
    } else if (std::strcmp(option, "--yaw") == 0) {
      ok = ParseFloat(value, pose.yawRight);
    } else if (std::strcmp(option, "--frames") == 0) {
      ok = ParseCount(value, frames);
    } else if (std::strcmp(option, "--out") == 0) {
      out = value;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "talvern-snapshot: bad option %s %s\n", option, value);
      PrintUsage();
      return 2;
    }
  }

  HeadlessReset();
  SnapshotImage image;
  if (!TakeSceneSnapshot(pose, frames, Width, Height, image)) {
    std::fprintf(stderr, "talvern-snapshot: cannot render the scene (are the textures in "
                         "Data/ of the working directory?)\n");
    return 1;
  }
  if (!WritePngFile(out, image.width, image.height, image.rgb, true)) {
    std::fprintf(stderr, "talvern-snapshot: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
