// BmpDecodeToolTest.cpp: runs the bmpdecode tool on generated files: a good file gives the
// picture as a binary PPM, top row first, and exit 0; a broken one gives exit 1 and exactly
// one line "Error: TEXT" on stderr, with nothing on stdout.
#include "DecodeSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ToolRun RunTool(const decodetest::TempDir& dir, const std::string& file) {
  const std::string out = dir.File("out.ppm");
  const std::string err = dir.File("err.txt");
  const std::string command = std::string("'") + BMPDECODE_PATH + "' '" + file + "' >'" + out +
                              "' 2>'" + err + "' </dev/null";
  ToolRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  return run;
}

} // namespace

TEST(BmpDecodeTool, WritesTopRowFirstPpmOrOneErrorLine) {
  decodetest::TempDir dir;
  // 4 x 3 at 8 bits, every pixel a different colour.
  bmpw::BmpFile f;
  f.width = 4;
  f.height = 3;
  f.bitCount = 8;
  std::vector<std::uint32_t> indexes;
  for (std::uint8_t i = 0; i < 12; ++i) {
    f.palette.push_back({static_cast<std::uint8_t>(20 * i), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i * i)});
    indexes.push_back(i);
  }
  f.colorsUsed = 12;
  f.pixels = bmpw::PackRows(indexes, 4, 3, 8);
  const std::string good = dir.File("good.bmp");
  ASSERT_TRUE(bmpw::SaveFile(good, bmpw::Write(f)));

  std::string expected = "P6\n4 3\n255\n";
  for (int row = 2; row >= 0; --row) { // the file's last stored row is the top one
    for (int x = 0; x < 4; ++x) {
      const bmpw::Rgb& c = f.palette[static_cast<std::size_t>(row * 4 + x)];
      expected.append(reinterpret_cast<const char*>(c.data()), 3);
    }
  }
  ToolRun run = RunTool(dir, good);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");

  bmpw::BmpFile broken = f;
  broken.headerSize = 108;
  const std::string bad = dir.File("bad.bmp");
  ASSERT_TRUE(bmpw::SaveFile(bad, bmpw::Write(broken)));
  run = RunTool(dir, bad);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error: Unknown DIB file format.\n");

  // The open-failure text loses its own trailing newline so it stays one line.
  const std::string missing = dir.File("missing.bmp");
  run = RunTool(dir, missing);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: Failed to open DIB file " + missing + ".\n");
}
