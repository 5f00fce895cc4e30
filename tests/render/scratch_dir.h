// scratch_dir.h: test helpers for the scene textures: a scratch working directory with a
// Data/ folder, copies of the committed pictures, and small BMP files written on the spot.
#pragma once

#include <filesystem>
#include <string>

// Creates a fresh temporary directory with an empty Data/ inside and makes it the working
// directory; the destructor goes back to the previous one and removes the directory.
class ScratchDirectory {
public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& Path() const { return path; }

private:
  std::filesystem::path previous;
  std::filesystem::path path;
};

// The committed Data/ folder of the source tree.
std::filesystem::path SourceDataDirectory();
// Copies a committed picture ("floor1.bmp") into Data/ of the working directory, under
// `target` when given.
void CopyCommittedPicture(const std::string& name, const std::string& target = "");
// Writes an uncompressed 24-bit BMP of width x height (bottom row first) to `path`; pixel
// (x, y) is (x * 7 + seed, y * 5, x ^ y).
void WriteTestBitmap(const std::filesystem::path& path, int width, int height, int seed);
