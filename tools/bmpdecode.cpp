// bmpdecode: decodes one BMP file with the program's own decoder and writes the picture to
// stdout as a binary PPM (P6, maxval 255, top row first, as a viewer shows it). On failure
// the decoder's message goes to stderr as the single line "Error: TEXT" and the exit
// status is 1. Lets a user check a texture before putting it into Data/.
#include "BitmapDecoder.h"
#include "Headless.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bmpdecode FILE\n");
    return 2;
  }
  // The decoder reports failures in a message box; here the box is only recorded, and its
  // text printed as one line.
  HeadlessCaptureDialogs(true);
  RgbImage* image = DecodeBitmapFile(argv[1]);
  if (image == nullptr) {
    std::string text =
        HeadlessDialogs().empty() ? "the file did not decode" : HeadlessDialogs().back().text;
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
