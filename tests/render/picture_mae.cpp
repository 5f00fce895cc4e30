// picture_mae.cpp: picture-mae REFERENCE CANDIDATE...: for each candidate picture, one line
// with its normalised mean absolute error against REFERENCE (the mean of |a - b| / 255 over
// every red, green and blue sample; the same number as ImageMagick's "compare -metric
// MAE" in parentheses). A picture of another size, or one that cannot be read, gives 9.
// The corridor walk compares a screenshot with about sixty frames at a time: one process
// for all of them instead of one ImageMagick run each.
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: picture-mae REFERENCE CANDIDATE...\n");
    return 2;
  }
  int width = 0;
  int height = 0;
  int channels = 0;
  unsigned char* reference = stbi_load(argv[1], &width, &height, &channels, 3);
  if (reference == nullptr) {
    std::fprintf(stderr, "picture-mae: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::size_t samples =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  for (int i = 2; i < argc; ++i) {
    int w = 0;
    int h = 0;
    unsigned char* candidate = stbi_load(argv[i], &w, &h, &channels, 3);
    double error = 9.0;
    if (candidate != nullptr && w == width && h == height) {
      unsigned long long sum = 0;
      for (std::size_t s = 0; s < samples; ++s) {
        sum += static_cast<unsigned>(std::abs(reference[s] - candidate[s]));
      }
      error = static_cast<double>(sum) / 255.0 / static_cast<double>(samples);
    }
    std::printf("%.7g\n", error);
    stbi_image_free(candidate);
  }
  stbi_image_free(reference);
  return 0;
}
