// FileMappingTest.cpp: read-only files, whole-file mappings and local memory: the bytes
// seen through a view, which others' truncations and writes do not change, the refusals
// Win32 makes, and that nothing (descriptor or mapping) is left behind once the handles
// are closed.
#include "PlatformTestSupport.h"

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class FileMapping : public PlatformTest {
protected:
  void SetUp() override {
    PlatformTest::SetUp();
    char pattern[] = "/tmp/talvern-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    PlatformTest::TearDown();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    std::filesystem::path path = directory / name;
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static int OpenDescriptors() {
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    while (dirent* entry = readdir(fds)) {
      count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(fds);
    return count - 1; // the directory stream's own descriptor
  }

  static bool Mapped(const std::filesystem::path& path) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
      if (line.find(path.string()) != std::string::npos) {
        return true;
      }
    }
    return false;
  }

  static HANDLE Open(const std::filesystem::path& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
  }

  std::filesystem::path directory;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  }
  return bytes;
}

TEST_F(FileMapping, ViewShowsTheWholeFileAndClosingLeavesNothingBehind) {
  const std::string bytes = Pattern(10000); // spans several pages
  std::filesystem::path path = Write("picture.bmp", bytes);
  int descriptorsBefore = OpenDescriptors();

  HANDLE file = Open(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(file, &high), bytes.size());
  EXPECT_EQ(high, 0u);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::memcmp(view, bytes.data(), bytes.size()), 0);
  EXPECT_TRUE(Mapped(path));
  EXPECT_GT(OpenDescriptors(), descriptorsBefore);

  // Release in the decoder's order: view, mapping, file.
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(Mapped(path));
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
  EXPECT_FALSE(UnmapViewOfFile(view)) << "already unmapped";
  EXPECT_FALSE(CloseHandle(file)) << "already closed";

  // Handles may be closed before the view is: the view stays readable until unmapped.
  file = Open(path);
  mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  CloseHandle(file);
  view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  CloseHandle(mapping);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(static_cast<const char*>(view)[9999], bytes[9999]);
  UnmapViewOfFile(view);
  EXPECT_FALSE(Mapped(path));
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}

// A view keeps the bytes it showed when others truncate or rewrite the file: by path from
// another thread (held back until the view is gone, or kept out by a private copy), or
// through a descriptor that was open for writing before ours.
TEST_F(FileMapping, ViewsStayWholeWhileOthersTruncateOrRewriteTheFile) {
  const std::string bytes = Pattern(1 << 20);
  for (bool writerFirst : {false, true}) {
    SCOPED_TRACE(writerFirst ? "writer opened first" : "truncated by path");
    std::filesystem::path path = Write("changing.bmp", bytes);
    const int writer = writerFirst ? open(path.c_str(), O_WRONLY | O_CLOEXEC) : -1;
    HANDLE file = Open(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), bytes.size());
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    std::thread cutter;
    if (writerFirst) {
      ASSERT_EQ(ftruncate(writer, 0), 0);
      ASSERT_EQ(write(writer, "XYZ", 3), 3);
    } else {
      cutter = std::thread([&path] { truncate(path.c_str(), 100); });
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(std::memcmp(view, bytes.data(), bytes.size()), 0);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
    if (cutter.joinable()) {
      cutter.join();
    }
    if (writer >= 0) {
      close(writer);
    }
    EXPECT_EQ(std::filesystem::file_size(path), writerFirst ? 3u : 100u);
  }
}

TEST_F(FileMapping, RefusesWhatWin32Refuses) {
  int descriptorsBefore = OpenDescriptors();
  EXPECT_EQ(Open(directory / "missing.bmp"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(directory), INVALID_HANDLE_VALUE) << "a directory is not a file";
  // A FIFO with no writer: refused at once, not waited on (a hang here ends in the
  // test's timeout).
  std::filesystem::path fifo = directory / "fifo.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Open(fifo), INVALID_HANDLE_VALUE) << "a FIFO is not a file";
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);

  std::filesystem::path empty = Write("empty.bmp", "");
  HANDLE file = Open(empty);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "an empty file opens";
  EXPECT_EQ(GetFileSize(file, nullptr), 0u);
  EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr)
      << "but cannot be mapped";
  EXPECT_TRUE(CloseHandle(file));

  std::filesystem::path small = Write("small.bmp", "BM");
  file = Open(small);
  EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 4096, nullptr), nullptr)
      << "a read-only mapping cannot grow the file";
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(GetFileSize(mapping, nullptr), INVALID_FILE_SIZE) << "a mapping is not a file";
  EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr) << "a file is not a mapping";
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 0), nullptr) << "beyond the end";
  CloseHandle(mapping);
  CloseHandle(file);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(UnmapViewOfFile(&descriptorsBefore));
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}

TEST_F(FileMapping, WidePathsUseTheLocaleEncoding) {
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  std::filesystem::path path = Write("b\xC3\xA9ton.bmp", "wide"); // "béton" in UTF-8
  std::string narrowDirectory = directory.string();               // ASCII: see the mkdtemp pattern
  std::wstring wide(narrowDirectory.begin(), narrowDirectory.end());
  wide += L"/b\u00E9ton.bmp";
  HANDLE file =
      CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::setlocale(LC_CTYPE, saved.c_str());
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), 4u);
  CloseHandle(file);
  EXPECT_NE(HeadlessJournal()[HeadlessJournalFind("CreateFileW")].args.find("\\u00e9"),
            std::string::npos);
}

TEST_F(FileMapping, ResetReleasesWhatWasLeftOpen) {
  std::filesystem::path path = Write("left.bmp", Pattern(100));
  int descriptorsBefore = OpenDescriptors();
  HANDLE file = Open(path);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0), nullptr);
  HeadlessReset();
  EXPECT_FALSE(Mapped(path));
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}

TEST_F(FileMapping, LocalMemory) {
  auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, 4096));
  ASSERT_NE(zeroed, nullptr);
  bool allZero = true;
  for (int i = 0; i < 4096; ++i) {
    allZero = allZero && zeroed[i] == 0;
  }
  EXPECT_TRUE(allZero);
  std::memset(zeroed, 0xAB, 4096); // writable over its whole size (ASan checks the bounds)
  EXPECT_EQ(LocalFree(zeroed), nullptr) << "NULL means freed";
  HLOCAL empty = LocalAlloc(LMEM_FIXED, 0);
  EXPECT_NE(empty, nullptr);
  LocalFree(empty);
}

} // namespace
