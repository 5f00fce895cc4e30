// snapshot_tool_test.cpp: talvern-snapshot's command line, without rendering: --help and
// --version answer on stdout with status 0, and every misused option is named in one line
// on stderr followed by the usage, with status 2 and no picture written. (The pictures it
// writes are checked in scene_picture_test.)
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the tool in the working directory (a scratch one), its stdout and stderr in files
// there.
ToolRun RunSnapshot(const std::vector<std::string>& args) {
  std::string command = std::string("'") + SNAPSHOT_PATH + "'";
  for (const std::string& arg : args) {
    command += " '" + arg + "'";
  }
  command += " >tool.out 2>tool.err </dev/null";
  const int raw = std::system(command.c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadText("tool.out");
  run.err = ReadText("tool.err");
  return run;
}

// The names in the working directory other than Data/ and the two output files.
std::vector<std::string> WrittenFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name != "Data" && name != "tool.out" && name != "tool.err") {
      names.push_back(name);
    }
  }
  return names;
}

} // namespace

TEST(SnapshotTool, HelpVersionAndEveryMisuse) {
  ScratchDirectory scratch;
  // With the textures present a run that got past the options would write snapshot.png.
  for (const char* name : {"floor1.bmp", "pillars1.bmp", "ceiling.bmp"}) {
    CopyCommittedPicture(name);
  }

  const ToolRun help = RunSnapshot({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: talvern-snapshot [--forward F]", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--size WxH"), std::string::npos);
  EXPECT_EQ(help.err, "");
  const ToolRun shortHelp = RunSnapshot({"-h"});
  EXPECT_EQ(shortHelp.status, 0);
  EXPECT_EQ(shortHelp.out, help.out);

  const ToolRun version = RunSnapshot({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("talvern-snapshot ") + TALVERN_VERSION + "\n");
  EXPECT_EQ(version.err, "");

  const std::string number = " must be a finite number from -10000 to 10000, not ";
  const std::string size = "--size must be WIDTHxHEIGHT with each side from 16 to 4096, not ";
  struct Misuse {
    std::vector<std::string> args;
    std::string line; // after "talvern-snapshot: "
  };
  const Misuse cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x", "1"}, "unknown option '-x'"},
      {{"shot.png"}, "unexpected argument 'shot.png'"},
      {{"--yaw"}, "option '--yaw' needs a value"},
      {{"--frames", "3", "--out"}, "option '--out' needs a value"},
      {{"--yaw", "nan"}, "--yaw" + number + "'nan'"},
      {{"--yaw", "inf"}, "--yaw" + number + "'inf'"},
      {{"--yaw", "1e40"}, "--yaw" + number + "'1e40'"},
      {{"--forward", "1e30"}, "--forward" + number + "'1e30'"},
      {{"--forward", "-10000.5"}, "--forward" + number + "'-10000.5'"},
      {{"--forward", "-40deg"}, "--forward" + number + "'-40deg'"},
      {{"--forward", ""}, "--forward" + number + "''"},
      {{"--frames", "zero"}, "--frames must be a whole number from 1 to 100000, not 'zero'"},
      {{"--frames", "0"}, "--frames must be a whole number from 1 to 100000, not '0'"},
      {{"--frames", "100001"}, "--frames must be a whole number from 1 to 100000, not '100001'"},
      {{"--size", "15x480"}, size + "'15x480'"},
      {{"--size", "640x4097"}, size + "'640x4097'"},
      {{"--size", "640x"}, size + "'640x'"},
      {{"--size", "640*480"}, size + "'640*480'"},
      {{"--size", "640x480x2"}, size + "'640x480x2'"},
      {{"--size", "+640x480"}, size + "'+640x480'"},
      {{"--out", ""}, "--out must name a file, not ''"},
      {{"--poses", "missing.txt"}, "cannot read the pose list 'missing.txt'"},
      {{"--poses", "-"}, "the pose list '-' names no pose"},
      {{"--yaw", "5", "--poses", "-"},
       "--poses names every pose and file: leave out --forward, --yaw and --out"},
  };
  for (const Misuse& c : cases) {
    const ToolRun run = RunSnapshot(c.args);
    EXPECT_EQ(run.status, 2) << c.line;
    EXPECT_EQ(run.err, "talvern-snapshot: " + c.line + "\n" + help.out);
    EXPECT_EQ(run.out, "") << c.line;
    EXPECT_TRUE(WrittenFiles().empty()) << c.line;
  }
}
