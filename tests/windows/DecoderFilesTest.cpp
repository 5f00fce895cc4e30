// DecoderFilesTest.cpp: the BMP decoder on the real KERNEL32: no file handle, mapping or view
// outlives a decode, whatever its outcome; a file another program holds without sharing
// cannot be opened (the decoder says so, the texture probe skips it); and wide paths are
// opened as they are, with the message naming them in the C library's multibyte form.
#include "FailureSupport.h"
#include "SceneTextures.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <clocale>
#include <cstring>
#include <filesystem>

using bmpw::BmpFile;
using decodetest::Decoded;
using decodetest::ExpectOneMessage;
using decodetest::GoodPaletteFile;
using decodetest::OpenFailure;
using decodetest::TempDir;

namespace {

// Views of `path` mapped anywhere in this process, found by walking the address space.
int ViewsOf(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  int views = 0;
  MEMORY_BASIC_INFORMATION info{};
  const char* address = nullptr;
  while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
    if (info.Type == MEM_MAPPED && info.BaseAddress == info.AllocationBase) {
      char mapped[MAX_PATH * 2] = {};
      if (GetMappedFileNameA(GetCurrentProcess(), info.BaseAddress, mapped, sizeof mapped) > 0 &&
          std::strstr(mapped, name.c_str()) != nullptr) {
        ++views;
      }
    }
    address = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return views;
}

// Why `path` is still held by this process, or "" when nothing holds it: an open handle
// without write sharing stops a write open; a mapping object or a view stops the file from
// being cut to nothing; and, on Windows itself, any of them stops the delete.
std::string HeldBecause(const std::string& path) {
  if (ViewsOf(path) != 0) {
    return "a view of the file is still mapped";
  }
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (writer == INVALID_HANDLE_VALUE) {
    return "a write open failed, error " + std::to_string(GetLastError());
  }
  const bool cut = SetEndOfFile(writer) != 0;
  const DWORD cutError = GetLastError();
  CloseHandle(writer);
  if (!cut) {
    return "cutting the file failed, error " + std::to_string(cutError);
  }
  if (!DeleteFileA(path.c_str())) {
    return "DeleteFileA failed, error " + std::to_string(GetLastError());
  }
  return "";
}

HANDLE OpenLikeTheDecoder(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

} // namespace

// The check itself: it notices a handle, a mapping object and a view left behind.
TEST(DecoderFiles, TheReleaseCheckNoticesEachKindOfLeftover) {
  TempDir dir;
  const std::string path = dir.File("held.bmp");
  const bmpw::Bytes bytes = bmpw::Write(GoodPaletteFile());

  ASSERT_TRUE(bmpw::SaveFile(path, bytes));
  HANDLE file = OpenLikeTheDecoder(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_NE(HeldBecause(path), "");
  CloseHandle(file);

  ASSERT_TRUE(bmpw::SaveFile(path, bytes));
  file = OpenLikeTheDecoder(path);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  CloseHandle(file);
  EXPECT_NE(HeldBecause(path), "");
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  CloseHandle(mapping);
  EXPECT_EQ(ViewsOf(path), 1);
  EXPECT_NE(HeldBecause(path), "");
  UnmapViewOfFile(view);

  ASSERT_TRUE(bmpw::SaveFile(path, bytes));
  EXPECT_EQ(HeldBecause(path), "");
}

// After success and after every kind of failure nothing holds the file: it can be cut and
// deleted at once.
TEST(DecoderFiles, NothingIsLeftOpenAfterAnyDecode) {
  BmpFile unknown = GoodPaletteFile();
  unknown.headerSize = 124;
  BmpFile conversion = GoodPaletteFile();
  conversion.compression = 9;
  BmpFile tooLarge = GoodPaletteFile();
  tooLarge.width = 20000;
  struct Case {
    const char* what;
    bmpw::Bytes bytes;
    const char* text; // null: decodes
  };
  const Case cases[] = {
      {"good", bmpw::Write(GoodPaletteFile()), nullptr},
      {"unknown format", bmpw::Write(unknown), decodetest::kUnknown},
      {"conversion error", bmpw::Write(conversion), decodetest::kConversion},
      {"too large", bmpw::Write(tooLarge), decodetest::kOutOfMemory},
      {"empty: cannot be mapped", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.File("check.bmp");
    ASSERT_TRUE(bmpw::SaveFile(path, c.bytes));
    ASSERT_TRUE(BeginDialogCapture());
    const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
    if (c.text == nullptr) {
      EXPECT_TRUE(d.ok);
      EXPECT_TRUE(d.dialogs.empty());
    } else {
      ExpectOneMessage(d, *c.text != '\0' ? std::string(c.text) : OpenFailure(path));
    }
    EXPECT_EQ(HeldBecause(path), "");
  }
}

// A file held open without read sharing cannot be opened: the decoder says so with its
// open-failure box; the texture probe skips it without one, like a missing file. A file
// held open for writing (read sharing allowed) passes the probe, but the decoder, which
// lets others only read while it reads, cannot open it either.
TEST(DecoderFiles, FilesHeldByOthersCannotBeOpened) {
  TempDir dir;
  const std::string path = dir.File("locked.bmp");
  ASSERT_TRUE(bmpw::SaveFile(path, bmpw::Write(GoodPaletteFile())));

  HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(BeginDialogCapture());
  ExpectOneMessage(decodetest::Collect(DecodeBitmapFile(path.c_str())), OpenFailure(path));
  ASSERT_TRUE(BeginDialogCapture());
  EXPECT_EQ(LoadBitmapFile(path.c_str()), nullptr);
  EXPECT_TRUE(CapturedDialogs().empty());
  CloseHandle(exclusive);

  HANDLE writer =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(BeginDialogCapture());
  ExpectOneMessage(decodetest::Collect(LoadBitmapFile(path.c_str())), OpenFailure(path));
  CloseHandle(writer);

  // Released, the same file decodes.
  ASSERT_TRUE(BeginDialogCapture());
  const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
  EXPECT_TRUE(d.ok);
  EXPECT_TRUE(d.dialogs.empty());
}

// A wide path is opened as it is, even with characters no narrow code page holds; a wide
// path that cannot be opened is named in the C library's multibyte form, where a character
// the locale cannot express becomes '?'.
TEST(DecoderFiles, WidePathsOpenAsTheyAreAndNameTheConvertedPath) {
  TempDir dir;
  const std::wstring wideDir = std::filesystem::path(dir.path).wstring();
  const std::wstring wide = wideDir + L"\\\u4E2D\u6587.bmp";
  const bmpw::Bytes bytes = bmpw::Write(GoodPaletteFile());
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());

  ASSERT_TRUE(BeginDialogCapture());
  Decoded d = decodetest::Collect(DecodeBitmapFile(wide.c_str()));
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.dialogs.empty());
  EXPECT_EQ(d.rgb.size(), 45u);
  ASSERT_TRUE(DeleteFileW(wide.c_str()));

  ASSERT_TRUE(BeginDialogCapture());
  d = decodetest::Collect(DecodeBitmapFile((wideDir + L"\\missing-\u4E2D.bmp").c_str()));
  ExpectOneMessage(d, OpenFailure(dir.path + "\\missing-?.bmp"));
}

// In a double-byte code page (932 here) a long path is cut on a character boundary, whether
// it came narrow or wide. The path's fixed start leaves an odd number of bytes for the
// two-byte characters, so a cut by bytes would split the last one.
TEST(DecoderFiles, LongDoubleBytePathsAreCutOnACharacterBoundary) {
  ASSERT_NE(std::setlocale(LC_ALL, ".932"), nullptr);
  const std::string prefix = "Failed to open DIB file ";
  const std::string directory = "C:\\nonexistent\\x";
  std::string narrow = directory;
  std::wstring wide(directory.begin(), directory.end());
  for (int i = 0; i < 200; ++i) {
    narrow += "\x83\x41"; // U+30A2 in code page 932; its second byte is an ASCII 'A'
    wide += L'\u30A2';
  }
  const std::size_t room = 255 - prefix.size() - 2 - directory.size();
  ASSERT_EQ(room % 2, 1u);
  for (int form = 0; form < 2; ++form) {
    SCOPED_TRACE(form == 0 ? "narrow" : "wide");
    ASSERT_TRUE(BeginDialogCapture());
    const Decoded d = decodetest::Collect(form == 0 ? DecodeBitmapFile(narrow.c_str())
                                                    : DecodeBitmapFile(wide.c_str()));
    ASSERT_EQ(d.dialogs.size(), 1u);
    EXPECT_EQ(d.dialogs[0].text, prefix + narrow.substr(0, directory.size() + room - 1) + ".\n");
  }
  std::setlocale(LC_ALL, "C");
}
