// BmpDecodeToolTest.cpp: runs the bmpdecode tool on generated files: a good file gives the
// picture as a binary PPM, top row first, byte for byte, and exit 0; a broken one gives
// exit 1 and exactly one line "Error: TEXT" on stderr, with nothing on stdout.
#include "DecodeSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// The picture is read byte for byte; the error line as text, so that a Windows line end
// reads as "\n".
std::string ReadAll(const std::string& path, bool binary) {
  std::ifstream in(path, binary ? std::ios::binary : std::ios::in);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

#if defined(_WIN32)
// The tool sits beside the test program; it runs with stdout and stderr sent to files and
// stdin from the null device.
int RunToolProcess(const std::string& file, const std::string& out, const std::string& err) {
  char self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string tool(self, length);
  tool = tool.substr(0, tool.find_last_of("\\/") + 1) + "bmpdecode.exe";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE input = open("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE output = open(out, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE error = open(err, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  std::string commandLine = "\"" + tool + "\" \"" + file + "\"";
  PROCESS_INFORMATION process{};
  int status = -1;
  if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
      error != INVALID_HANDLE_VALUE &&
      CreateProcessA(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) {
      status = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (HANDLE handle : {input, output, error}) {
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
    }
  }
  return status;
}
#else
int RunToolProcess(const std::string& file, const std::string& out, const std::string& err) {
  const std::string command = std::string("'") + BMPDECODE_PATH + "' '" + file + "' >'" + out +
                              "' 2>'" + err + "' </dev/null";
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

ToolRun RunTool(const decodetest::TempDir& dir, const std::string& file) {
  const std::string out = dir.File("out.ppm");
  const std::string err = dir.File("err.txt");
  ToolRun run;
  run.status = RunToolProcess(file, out, err);
  run.out = ReadAll(out, true);
  run.err = ReadAll(err, false);
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
  // Bytes a text-mode stream would change: line feed, carriage return, end of file.
  f.palette[5] = {0x0A, 0x0D, 0x1A};
  f.palette[6] = {0x0D, 0x0A, 0x0A};
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
