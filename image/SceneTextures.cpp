// SceneTextures.cpp: turns the three corridor pictures in Data/ into GL textures of the
// current context, and the probe that skips missing files without a message.
#include "SceneTextures.h"

#include "Win32.h" // the GL header, with what it needs on each platform

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

SceneTextureSet SceneTextures;

RgbImage* LoadBitmapFile(const char* path) {
  if (path == nullptr) {
    return nullptr;
  }
  // Only regular files are opened: opening a FIFO (or a device) for reading could block
  // forever, so anything else is skipped like a missing file, without a message.
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::path(path), error)) {
    return nullptr;
  }
  std::FILE* probe = std::fopen(path, "r");
  if (probe == nullptr) {
    return nullptr; // missing or unreadable: skipped silently
  }
  std::fclose(probe);
  return DecodeBitmapFile(path); // the decoder reports its own failures
}

namespace {

struct TextureEntry {
  const char* path;
  std::uint32_t SceneTextureSet::*field;
};

const TextureEntry TextureEntries[3] = {
    {"Data/floor1.bmp", &SceneTextureSet::floorTexture},
    {"Data/pillars1.bmp", &SceneTextureSet::pillarTexture},
    {"Data/ceiling.bmp", &SceneTextureSet::ceilingTexture},
};

void UploadImage(const RgbImage& image) {
  // Rows are packed with no padding. GL's default unpack alignment of 4 matches that only
  // when a row's byte count is a multiple of 4; other widths go up byte-aligned, and the
  // default is restored for whoever unpacks next.
  const bool packedRowsAligned = (static_cast<long>(image.width) * 3) % 4 == 0;
  if (!packedRowsAligned) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  }
  glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               image.pixels);
  if (!packedRowsAligned) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

} // namespace

// Runs once per GL context, right after it is made current. Names from an earlier context
// died with it, and in the new context the same number may name a different texture (or
// none), so a file that no longer decodes leaves its field at 0, GL's default texture with
// no image, exactly as at the first start.
bool LoadSceneTextures() {
  bool anyMade = false;
  RgbImage* images[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    const TextureEntry& entry = TextureEntries[i];
    std::uint32_t& field = SceneTextures.*entry.field;
    images[i] = LoadBitmapFile(entry.path);
    if (images[i] == nullptr) {
      field = 0;
      continue;
    }
    anyMade = true;
    GLuint name = 0;
    glGenTextures(1, &name);
    field = name;
    glBindTexture(GL_TEXTURE_2D, name);
    UploadImage(*images[i]);
  }
  for (RgbImage* image : images) {
    if (image != nullptr) {
      std::free(image->pixels);
      std::free(image);
    }
  }
  return anyMade;
}
