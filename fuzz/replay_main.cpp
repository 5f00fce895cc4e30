// replay_main.cpp: runs the fuzz target over files without the fuzzing engine, so that the
// seed corpus (and any crash input added to it) replays as a regression test in the normal
// build. Arguments are files or directories (whose regular files are all replayed).
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool ReplayFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

} // namespace

int main(int argc, char** argv) {
  int replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    struct stat info {};
    if (stat(argv[i], &info) != 0) {
      std::fprintf(stderr, "no such file or directory: %s\n", argv[i]);
      ok = false;
      continue;
    }
    if (!S_ISDIR(info.st_mode)) {
      ok = ReplayFile(argv[i]) && ok;
      ++replayed;
      continue;
    }
    DIR* dir = opendir(argv[i]);
    while (dir != nullptr) {
      const dirent* entry = readdir(dir);
      if (entry == nullptr) {
        break;
      }
      const std::string path = std::string(argv[i]) + "/" + entry->d_name;
      if (entry->d_name[0] != '.' && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ok = ReplayFile(path) && ok;
        ++replayed;
      }
    }
    if (dir != nullptr) {
      closedir(dir);
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return ok && replayed > 0 ? 0 : 1;
}
