// SceneTextures.h: the corridor's three textures, made from the files in Data/.
#pragma once

#include "BitmapDecoder.h"

#include <cstdint>

// GL texture names, 0 until their file first decodes.
struct SceneTextureSet {
  std::uint32_t floorTexture = 0;   // "Data/floor1.bmp"
  std::uint32_t pillarTexture = 0;  // "Data/pillars1.bmp"
  std::uint32_t ceilingTexture = 0; // "Data/ceiling.bmp"
};
extern SceneTextureSet SceneTextures;

// Probes and decodes one file; null when it cannot be opened or does not decode.
RgbImage* LoadBitmapFile(const char* path);
// Makes the three textures in the current GL context; false when none could be made.
bool LoadSceneTextures();
