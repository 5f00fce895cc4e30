// FailureSupport.h: what the decoder's failure tests share on every platform: the message
// texts, a small valid palette file, and the check that a decode failed with exactly one
// box of the decoder's own shape.
#pragma once

#include "DecodeSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace decodetest {

inline constexpr char kOutOfMemory[] = "Out of memory.";
inline constexpr char kUnknown[] = "Unknown DIB file format.";
inline constexpr char kConversion[] = "Image file conversion error.";

inline std::string OpenFailure(const std::string& path) {
  return "Failed to open DIB file " + path + ".\n";
}

inline bmpw::BmpFile GoodPaletteFile() {
  bmpw::BmpFile f;
  f.width = 5;
  f.height = 3;
  f.bitCount = 8;
  f.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  f.colorsUsed = 3;
  f.pixels = bmpw::PackRows(std::vector<std::uint32_t>(15, 1), 5, 3, 8);
  return f;
}

inline void ExpectOneMessage(const Decoded& d, const std::string& text) {
  EXPECT_FALSE(d.ok);
  ASSERT_EQ(d.dialogs.size(), 1u);
  EXPECT_EQ(d.dialogs[0].text, text);
  EXPECT_EQ(d.dialogs[0].caption, "Error");
  EXPECT_EQ(d.dialogs[0].flags, MB_OK);
  EXPECT_EQ(d.dialogs[0].owner, nullptr); // no window has the focus here
}

} // namespace decodetest
