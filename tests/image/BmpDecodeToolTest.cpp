// BmpDecodeToolTest.cpp: runs the bmpdecode tool on generated files: a good file gives the
// picture as a binary PPM, top row first, byte for byte, and exit 0, the same bytes in the
// file named by -o; a broken one gives exit 1 and exactly one line "Error: TEXT" on stderr,
// with nothing on stdout and no -o file. --help and --version answer on stdout; a misused
// option is named in one line on stderr followed by the usage, exit 2; and (on Linux) a
// terminal on stdout is refused unless -o is given.
#include "DecodeSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// The picture is read byte for byte; text as text, so that a Windows line end reads as
// "\n".
std::string ReadAll(const std::string& path, bool binary) {
  std::ifstream in(path, binary ? std::ios::binary : std::ios::in);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

#if defined(_WIN32)
// The tool sits beside the test program; it runs in `dir` with stdout and stderr sent to
// files and stdin from the null device.
int RunToolProcess(const std::vector<std::string>& args, const std::string& dir,
                   const std::string& out, const std::string& err) {
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
  // The tests' arguments hold no quotes, so quoting each is enough.
  std::string commandLine = "\"" + tool + "\"";
  for (const std::string& arg : args) {
    commandLine += " \"" + arg + "\"";
  }
  PROCESS_INFORMATION process{};
  int status = -1;
  if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
      error != INVALID_HANDLE_VALUE &&
      CreateProcessA(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     dir.c_str(), &startup, &process)) {
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
// Runs the tool in `dir` with stdin from /dev/null, stderr to `err` and stdout to `out`,
// or to the descriptor `terminal` when it is not -1.
int RunToolProcess(const std::vector<std::string>& args, const std::string& dir,
                   const std::string& out, const std::string& err, int terminal = -1) {
  std::vector<std::string> words{BMPDECODE_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int input = open("/dev/null", O_RDONLY);
    const int output =
        terminal != -1 ? terminal : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int error = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input >= 0 && output >= 0 && error >= 0 && chdir(dir.c_str()) == 0 && dup2(input, 0) >= 0 &&
        dup2(output, 1) >= 0 && dup2(error, 2) >= 0) {
      execv(argv[0], argv.data());
    }
    _exit(127);
  }
  int raw = 0;
  if (child < 0 || waitpid(child, &raw, 0) != child) {
    return -1;
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

// Runs the tool in `dir`; stdout is read byte for byte unless `textOut`.
ToolRun RunTool(const decodetest::TempDir& dir, const std::vector<std::string>& args,
                bool textOut = false) {
  const std::string out = dir.File("stdout.txt");
  const std::string err = dir.File("stderr.txt");
  ToolRun run;
  run.status = RunToolProcess(args, dir.path, out, err);
  run.out = ReadAll(out, !textOut);
  run.err = ReadAll(err, false);
  return run;
}

// A 4 x 3 picture at 8 bits, every pixel a different colour, saved as `name` in `dir`;
// `ppm` receives the PPM bmpdecode must write for it.
bmpw::BmpFile SaveGoodFile(const decodetest::TempDir& dir, const std::string& name,
                           std::string& ppm) {
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
  EXPECT_TRUE(bmpw::SaveFile(dir.File(name), bmpw::Write(f)));

  ppm = "P6\n4 3\n255\n";
  for (int row = 2; row >= 0; --row) { // the file's last stored row is the top one
    for (int x = 0; x < 4; ++x) {
      const bmpw::Rgb& c = f.palette[static_cast<std::size_t>(row * 4 + x)];
      ppm.append(reinterpret_cast<const char*>(c.data()), 3);
    }
  }
  return f;
}

} // namespace

TEST(BmpDecodeTool, WritesTopRowFirstPpmOrOneErrorLine) {
  decodetest::TempDir dir;
  std::string expected;
  const bmpw::BmpFile f = SaveGoodFile(dir, "good.bmp", expected);
  ToolRun run = RunTool(dir, {"good.bmp"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");

  // -o writes the same bytes to the file and nothing to stdout.
  run = RunTool(dir, {"-o", "copy.ppm", "good.bmp"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadAll(dir.File("copy.ppm"), true), expected);

  // After "--" a name beginning with '-' is the file.
  SaveGoodFile(dir, "-x", expected);
  run = RunTool(dir, {"--", "-x"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, expected);

  bmpw::BmpFile broken = f;
  broken.headerSize = 108;
  ASSERT_TRUE(bmpw::SaveFile(dir.File("bad.bmp"), bmpw::Write(broken)));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"bad.bmp"}, {"-o", "bad.ppm", "bad.bmp"}}) {
    run = RunTool(dir, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error: Unknown DIB file format.\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad.ppm"))) << "a failed decode left a file";

  // The open-failure text loses its own trailing newline so it stays one line.
  const std::string missing = dir.File("missing.bmp");
  run = RunTool(dir, {missing});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: Failed to open DIB file " + missing + ".\n");

  run = RunTool(dir, {"-o", "no-such-folder/out.ppm", "good.bmp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: could not write the picture to no-such-folder/out.ppm\n");
}

TEST(BmpDecodeTool, HelpVersionAndEveryMisuse) {
  decodetest::TempDir dir;
  std::string expected;
  SaveGoodFile(dir, "good.bmp", expected);

  const ToolRun help = RunTool(dir, {"--help"}, true);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: bmpdecode [-o OUT] FILE\n", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  const ToolRun shortHelp = RunTool(dir, {"-h"}, true);
  EXPECT_EQ(shortHelp.status, 0);
  EXPECT_EQ(shortHelp.out, help.out);
  const ToolRun version = RunTool(dir, {"--version"}, true);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("bmpdecode ") + TALVERN_VERSION + "\n");
  EXPECT_EQ(version.err, "");

  struct Misuse {
    std::vector<std::string> args;
    std::string line; // after "bmpdecode: "
  };
  const Misuse cases[] = {
      {{}, "no FILE given"},
      {{"-o", "out.ppm"}, "no FILE given"},
      {{"--bogus", "good.bmp"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"-o"}, "option '-o' needs a value"},
      {{"-o", "", "good.bmp"}, "-o must name a file, not ''"},
      {{"-"}, "FILE cannot be '-': standard input is not read (./- names a file)"},
      {{"good.bmp", "good.bmp"}, "unexpected argument 'good.bmp' after FILE (options come first)"},
      {{"good.bmp", "-o", "out.ppm"}, "unexpected argument '-o' after FILE (options come first)"},
  };
  for (const Misuse& c : cases) {
    const ToolRun run = RunTool(dir, c.args, true);
    EXPECT_EQ(run.status, 2) << c.line;
    EXPECT_EQ(run.err, "bmpdecode: " + c.line + "\n" + help.out);
    EXPECT_EQ(run.out, "") << c.line;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.ppm"))) << c.line;
  }
}

#if !defined(_WIN32)
namespace {

// Everything that reaches the terminal's other end until the tool has exited and the
// last descriptor of the terminal is closed, or a note when reading does not end.
std::string DrainTerminal(int master) {
  std::string text;
  char buffer[256];
  for (;;) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 10000) != 1) {
      return "(no end of output)";
    }
    const ssize_t count = read(master, buffer, sizeof buffer);
    if (count <= 0) { // EIO once the data is read and no one holds the terminal
      return text;
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

// Runs the tool with stdout on a new pseudo-terminal; `shown` receives what it wrote there.
int RunOnTerminal(const decodetest::TempDir& dir, const std::vector<std::string>& args,
                  std::string& err, std::string& shown) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return -1;
  }
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  const int status =
      terminal < 0 ? -1 : RunToolProcess(args, dir.path, "", dir.File("stderr.txt"), terminal);
  close(terminal);
  shown = DrainTerminal(master);
  close(master);
  err = ReadAll(dir.File("stderr.txt"), false);
  return status;
}

} // namespace

TEST(BmpDecodeTool, RefusesATerminalOnStdoutUnlessWritingToAFile) {
  decodetest::TempDir dir;
  std::string expected;
  SaveGoodFile(dir, "good.bmp", expected);
  std::string err, shown;
  // Text is fine on a terminal (the terminal turns "\n" into "\r\n").
  EXPECT_EQ(RunOnTerminal(dir, {"--version"}, err, shown), 0);
  EXPECT_EQ(shown, std::string("bmpdecode ") + TALVERN_VERSION + "\r\n");

  EXPECT_EQ(RunOnTerminal(dir, {"good.bmp"}, err, shown), 2);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(err, "bmpdecode: the picture is binary; redirect standard output to a file or use "
                 "-o OUT\n");

  EXPECT_EQ(RunOnTerminal(dir, {"-o", "out.ppm", "good.bmp"}, err, shown), 0);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(err, "");
  EXPECT_EQ(ReadAll(dir.File("out.ppm"), true), expected);
}
#endif
