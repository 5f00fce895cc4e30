// bmpdecode: decodes one BMP file with the program's own decoder and writes the picture as
// a binary PPM (P6, maxval 255, top row first, as a viewer shows it). Lets a user check a
// texture before putting it into Data/.
//
//   bmpdecode [-o OUT] FILE
//   bmpdecode --help | --version
//
// The PPM goes to stdout, or to OUT with -o; OUT is only opened once the picture has
// decoded, and removed again if writing it fails, so a failure leaves no partial OUT.
// Without -o a terminal on stdout is refused before decoding, as the picture is binary.
// Options come before FILE; "--" ends them, so "bmpdecode -- -x" decodes a file named -x.
// A lone "-" is refused: the decoder reads a named file, not standard input ("./-" names
// a file called -). -h is --help.
//
// A misused option is named in one line on stderr, followed by the usage, with exit
// status 2. On a decode or write failure the decoder's message goes to stderr as the
// single line "Error: TEXT", nothing goes to stdout, and the exit status is 1.
#include "BitmapDecoder.h"
#include "dialog_capture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* Usage =
    "usage: bmpdecode [-o OUT] FILE\n"
    "       bmpdecode --help | --version\n"
    "Decodes the BMP file FILE with the viewer's own decoder and writes it as a binary PPM\n"
    "to standard output, which must not be a terminal, or to OUT. On failure prints\n"
    "'Error: TEXT' and exits 1, leaving no partial OUT.\n"
    "  -o OUT   write the PPM to the file OUT\n"
    "  --       end of options: the next argument is FILE even if it begins with '-'\n"
    "Options come before FILE. FILE cannot be '-': standard input is not read.\n";

// Names the misuse in one line, then the usage, both on stderr; the exit status to return.
int Misuse(const std::string& line) {
  std::fprintf(stderr, "bmpdecode: %s\n%s", line.c_str(), Usage);
  return 2;
}

bool StdoutIsTerminal() {
#if defined(_WIN32)
  // _isatty is also true for the NUL device; only a console accepts GetConsoleMode.
  DWORD mode = 0;
  return _isatty(_fileno(stdout)) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
  return isatty(STDOUT_FILENO) != 0;
#endif
}

// Writes the picture as a PPM to `out`; false when a write fails.
bool WritePpm(const RgbImage& image, std::FILE* out) {
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
  bool written = std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height) > 0;
  // The decoder's rows run bottom row first; a PPM starts with the top row.
  for (int row = image.height - 1; written && row >= 0; --row) {
    written = std::fwrite(image.pixels + rowBytes * static_cast<std::size_t>(row), 1, rowBytes,
                          out) == rowBytes;
  }
  return std::fflush(out) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
  const char* file = nullptr;
  const char* outPath = nullptr;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (file != nullptr) {
      return Misuse("unexpected argument '" + arg + "' after FILE (options come first)");
    }
    if (options && (arg == "--help" || arg == "-h")) {
      std::fputs(Usage, stdout);
      return 0;
    }
    if (options && arg == "--version") {
      std::printf("bmpdecode %s\n", TALVERN_VERSION);
      return 0;
    }
    if (options && arg == "--") {
      options = false;
    } else if (options && arg == "-o") {
      if (i + 1 >= argc) {
        return Misuse("option '-o' needs a value");
      }
      outPath = argv[++i];
      if (*outPath == '\0') {
        return Misuse("-o must name a file, not ''");
      }
    } else if (options && arg == "-") {
      return Misuse("FILE cannot be '-': standard input is not read (./- names a file)");
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return Misuse("unknown option '" + arg + "'");
    } else {
      file = argv[i];
    }
  }
  if (file == nullptr) {
    return Misuse("no FILE given");
  }
  if (outPath == nullptr && StdoutIsTerminal()) {
    std::fprintf(stderr, "bmpdecode: the picture is binary; redirect standard output to a "
                         "file or use -o OUT\n");
    return 2;
  }

  // The decoder reports failures in a message box; here the box is only recorded and
  // answered, and its text printed as one line.
  if (!BeginDialogCapture()) {
    std::fprintf(stderr, "Error: could not capture the decoder's messages\n");
    return 1;
  }
  RgbImage* image = DecodeBitmapFile(file);
  const std::vector<CapturedDialog> dialogs = CapturedDialogs();
  EndDialogCapture();
  if (image == nullptr) {
    std::string text = dialogs.empty() ? "the file did not decode" : dialogs.back().text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    std::fprintf(stderr, "Error: %s\n", text.c_str());
    return 1;
  }

  // The output file is only created once there is a picture to put in it, and removed
  // again when writing fails, so a failure leaves no partial file.
  bool written = false;
  if (outPath == nullptr) {
#if defined(_WIN32)
    // The picture is binary: in the default text mode every 0x0A byte would gain a 0x0D.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    written = WritePpm(*image, stdout);
  } else if (std::FILE* out = std::fopen(outPath, "wb"); out != nullptr) {
    written = WritePpm(*image, out);
    written = std::fclose(out) == 0 && written;
    // Only a regular file is removed: OUT may be a device such as /dev/full.
    std::error_code ignored;
    if (!written && std::filesystem::is_regular_file(outPath, ignored)) {
      std::filesystem::remove(outPath, ignored);
    }
  }
  std::free(image->pixels);
  std::free(image);
  if (!written) {
    std::fprintf(stderr, "Error: could not write the picture to %s\n",
                 outPath == nullptr ? "standard output" : outPath);
    return 1;
  }
  return 0;
}
