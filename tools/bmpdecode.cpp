// bmpdecode: decodes one BMP file with the program's own decoder and writes the picture to
// stdout as a binary PPM (P6, maxval 255, top row first, as a viewer shows it). On failure
// the decoder's message goes to stderr as the single line "Error: TEXT" and the exit
// status is 1. Lets a user check a texture before putting it into Data/.
#include "BitmapDecoder.h"
#include "dialog_capture.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bmpdecode FILE\n");
    return 2;
  }
#if defined(_WIN32)
  // The picture is binary: in the default text mode every 0x0A byte would gain a 0x0D.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  // The decoder reports failures in a message box; here the box is only recorded and
  // answered, and its text printed as one line.
  if (!BeginDialogCapture()) {
    std::fprintf(stderr, "Error: could not capture the decoder's messages\n");
    return 1;
  }
  RgbImage* image = DecodeBitmapFile(argv[1]);
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
  const std::size_t rowBytes = static_cast<std::size_t>(image->width) * 3;
  bool written = std::printf("P6\n%d %d\n255\n", image->width, image->height) > 0;
  // The decoder's rows run bottom row first; a PPM starts with the top row.
  for (int row = image->height - 1; written && row >= 0; --row) {
    written = std::fwrite(image->pixels + rowBytes * static_cast<std::size_t>(row), 1, rowBytes,
                          stdout) == rowBytes;
  }
  std::free(image->pixels);
  std::free(image);
  if (std::fflush(stdout) != 0 || !written) {
    std::fprintf(stderr, "Error: could not write the picture to standard output\n");
    return 1;
  }
  return 0;
}
