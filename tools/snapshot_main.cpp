// snapshot_main.cpp: talvern-snapshot, renders the corridor headlessly (no display needed)
// with the textures of Data/ in the working directory and saves the frame as a PNG.
//
//   talvern-snapshot [--forward F] [--yaw DEG] [--frames N] [--size WxH] [--out FILE]
//   talvern-snapshot [--frames N] [--size WxH] --poses LIST
//   talvern-snapshot --help | --version
//
// --forward sets forwardOffset (default -80) and --yaw sets yawRight (default 0), each a
// finite number from -10000 to 10000; --frames is the number of frames drawn in the new
// context, 1 to 100000 (default 2: the first frame of a context is unlit, the second lit);
// --size the picture's width and height, each side 16 to 4096 (default 640x480; the
// projection follows the size, so a square size gives a square view for an icon); --out
// the PNG path (default snapshot.png). --poses renders one picture per line "FORWARD YAW
// FILE" of the file LIST ("-": standard input) in one run, which saves starting the
// program and the GL driver for each of many poses; the whole list is read before the
// first picture. On success one line on stdout names each file written. A misused option is named
// in one line on stderr, followed by the usage, and the exit status is 2; a failed render or write
// exits 1. -h is --help.
#include "Headless.h"
#include "snapshot_png.h"
#include "snapshot_scene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: talvern-snapshot [--forward F] [--yaw DEG] [--frames N] [--size WxH] [--out FILE]\n"
    "       talvern-snapshot [--frames N] [--size WxH] --poses LIST\n"
    "       talvern-snapshot --help | --version\n"
    "Renders the corridor headlessly with the textures of Data/ in the working directory\n"
    "and writes the frame as a PNG.\n"
    "  --forward F   camera position along the corridor, -10000 to 10000 (default -80)\n"
    "  --yaw DEG     turn to the right in degrees, -10000 to 10000 (default 0)\n"
    "  --frames N    frames drawn in the new context, 1 to 100000 (default 2: the first\n"
    "                frame is unlit, later ones lit)\n"
    "  --size WxH    picture size, each side 16 to 4096 (default 640x480)\n"
    "  --out FILE    the PNG to write (default snapshot.png)\n"
    "  --poses LIST  one picture per line \"FORWARD YAW FILE\" of LIST (- for standard\n"
    "                input); blank lines and lines starting with # are skipped\n";

// Camera numbers beyond this are far outside the scene (the corridor is under a hundred
// units long), and their float arithmetic would only give a black picture.
constexpr double CameraLimit = 10000.0;
constexpr int MinSide = 16;
constexpr int MaxSide = 4096;

// Names the misuse in one line, then the usage, both on stderr; the exit status to return.
int Misuse(const std::string& line) {
  std::fprintf(stderr, "talvern-snapshot: %s\n%s", line.c_str(), Usage);
  return 2;
}

// A finite decimal number within +-CameraLimit and nothing after it. strtod reads as
// double, so 1e40 is seen as too large instead of becoming float infinity.
bool ParseCameraNumber(const char* text, float& value) {
  char* end = nullptr;
  const double parsed = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(parsed) || std::fabs(parsed) > CameraLimit) {
    return false;
  }
  value = static_cast<float>(parsed);
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

// Reads the decimal digits at `text` as a side length within MinSide..MaxSide, moving
// `text` past them; at most five digits, so no value can overflow.
bool ParseSide(const char*& text, int& side) {
  int value = 0;
  int digits = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (++digits > 5) {
      return false;
    }
    value = value * 10 + (*text - '0');
  }
  if (digits == 0 || value < MinSide || value > MaxSide) {
    return false;
  }
  side = value;
  return true;
}

// "WIDTHxHEIGHT", digits only on each side.
bool ParseSize(const char* text, int& width, int& height) {
  int w = 0;
  int h = 0;
  if (!ParseSide(text, w) || *text++ != 'x' || !ParseSide(text, h) || *text != '\0') {
    return false;
  }
  width = w;
  height = h;
  return true;
}

// One picture to render: a camera pose and the PNG it goes to.
struct PoseJob {
  CameraPose pose;
  std::string out;
};

// Reads the lines "FORWARD YAW FILE" of `list` ("-": standard input) into `jobs`; on a
// malformed line or an unreadable list, `error` says which and false is returned.
bool ReadPoses(const std::string& list, std::vector<PoseJob>& jobs, std::string& error) {
  std::FILE* in = list == "-" ? stdin : std::fopen(list.c_str(), "r");
  if (in == nullptr) {
    error = "cannot read the pose list '" + list + "'";
    return false;
  }
  std::string line;
  int number = 0;
  bool ok = true;
  for (int c = 0; ok && c != EOF;) {
    line.clear();
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
      line += static_cast<char>(c);
    }
    ++number;
    std::vector<std::string> fields;
    std::size_t at = line.find_first_not_of(" \t\r");
    if (at == std::string::npos || line[at] == '#') {
      continue;
    }
    while (at != std::string::npos) {
      const std::size_t end = line.find_first_of(" \t\r", at);
      fields.push_back(line.substr(at, end == std::string::npos ? end : end - at));
      at = line.find_first_not_of(" \t\r", end);
    }
    PoseJob job;
    ok = fields.size() == 3 && ParseCameraNumber(fields[0].c_str(), job.pose.forwardOffset) &&
         ParseCameraNumber(fields[1].c_str(), job.pose.yawRight);
    if (ok) {
      job.out = fields[2];
      jobs.push_back(std::move(job));
    } else {
      error = "pose list line " + std::to_string(number) +
              ": expected FORWARD YAW FILE, each number from -10000 to 10000";
    }
  }
  if (ok && std::ferror(in)) {
    ok = false;
    error = "cannot read the pose list '" + list + "'";
  }
  if (in != stdin) {
    std::fclose(in);
  }
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  CameraPose pose;
  int frames = 2;
  int width = 640;
  int height = 480;
  std::string out = "snapshot.png";
  std::string poses;
  bool singlePose = false; // --forward, --yaw or --out given
  // Options are handled in order, so --help and --version act when they are reached.
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(Usage, stdout);
      return 0;
    }
    if (option == "--version") {
      std::printf("talvern-snapshot %s\n", TALVERN_VERSION);
      return 0;
    }
    if (option != "--forward" && option != "--yaw" && option != "--frames" && option != "--size" &&
        option != "--out" && option != "--poses") {
      return Misuse(option.rfind('-', 0) == 0 ? "unknown option '" + option + "'"
                                              : "unexpected argument '" + option + "'");
    }
    if (i + 1 >= argc) {
      return Misuse("option '" + option + "' needs a value");
    }
    const char* value = argv[++i];
    const std::string quoted = "'" + std::string(value) + "'";
    singlePose = singlePose || option == "--forward" || option == "--yaw" || option == "--out";
    if (option == "--forward" || option == "--yaw") {
      float& target = option == "--forward" ? pose.forwardOffset : pose.yawRight;
      if (!ParseCameraNumber(value, target)) {
        return Misuse(option + " must be a finite number from -10000 to 10000, not " + quoted);
      }
    } else if (option == "--frames") {
      if (!ParseCount(value, frames)) {
        return Misuse("--frames must be a whole number from 1 to 100000, not " + quoted);
      }
    } else if (option == "--size") {
      if (!ParseSize(value, width, height)) {
        return Misuse("--size must be WIDTHxHEIGHT with each side from 16 to 4096, not " + quoted);
      }
    } else if (*value == '\0') {
      return Misuse(option + " must name a file, not ''");
    } else if (option == "--poses") {
      poses = value;
    } else {
      out = value;
    }
  }

  std::vector<PoseJob> jobs;
  if (poses.empty()) {
    jobs.push_back({pose, out});
  } else {
    if (singlePose) {
      return Misuse("--poses names every pose and file: leave out --forward, --yaw and --out");
    }
    std::string error;
    if (!ReadPoses(poses, jobs, error)) {
      return Misuse(error);
    }
    if (jobs.empty()) {
      return Misuse("the pose list '" + poses + "' names no pose");
    }
  }
  for (const PoseJob& job : jobs) {
    HeadlessReset(); // keeps the call journal from growing over many pictures
    SnapshotImage image;
    if (!TakeSceneSnapshot(job.pose, frames, width, height, image)) {
      std::fprintf(stderr, "talvern-snapshot: cannot render the scene (are the textures in "
                           "Data/ of the working directory?)\n");
      return 1;
    }
    if (!WritePngFile(job.out, image.width, image.height, image.rgb, true)) {
      std::fprintf(stderr, "talvern-snapshot: cannot write %s\n", job.out.c_str());
      return 1;
    }
    std::printf("talvern-snapshot: wrote %s (%dx%d)\n", job.out.c_str(), image.width, image.height);
  }
  return 0;
}
