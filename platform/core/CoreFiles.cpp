// CoreFiles.cpp: read-only files, file mappings and views (POSIX open, fstat and mmap
// underneath), and local memory. Every handle, descriptor and mapping is tracked so that
// closing releases it and CoreReset can release whatever a test left open.
#include "CoreInternal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

enum class HandleKind { File, Mapping };

struct HandleRecord {
  HandleKind kind = HandleKind::File;
  int fd = -1; // a file's descriptor, or the mapping's own duplicate of it
  std::uint64_t size = 0;
};

std::map<std::uintptr_t, HandleRecord> handles;
std::map<std::uintptr_t, std::size_t> views; // address -> mapped length

// Kernel object handles are multiples of 4, never reused within a run, and never equal to
// INVALID_HANDLE_VALUE.
std::uintptr_t nextHandle = 0x1004;

HANDLE NewHandle(const HandleRecord& record) {
  std::uintptr_t value = nextHandle;
  nextHandle += 4;
  handles.emplace(value, record);
  return reinterpret_cast<HANDLE>(value);
}

HandleRecord* FindHandle(HANDLE handle, HandleKind kind) {
  auto found = handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == handles.end() || found->second.kind != kind) {
    return nullptr;
  }
  return &found->second;
}

HANDLE OpenReadOnly(const char* path, DWORD disposition) {
  if (path == nullptr || path[0] == '\0' || disposition != OPEN_EXISTING) {
    return INVALID_HANDLE_VALUE;
  }
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, forever if
  // none comes, before the check below could refuse it. Regular files ignore the flag.
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return INVALID_HANDLE_VALUE;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd); // directories, devices, pipes and sockets are not files to read here
    return INVALID_HANDLE_VALUE;
  }
  HandleRecord record;
  record.kind = HandleKind::File;
  record.fd = fd;
  record.size = static_cast<std::uint64_t>(info.st_size);
  return NewHandle(record);
}

} // namespace

HANDLE CoreCreateFile(LPCSTR path, DWORD /*access*/, DWORD /*shareMode*/, DWORD disposition) {
  return OpenReadOnly(path, disposition);
}

HANDLE CoreCreateFileW(LPCWSTR path, DWORD /*access*/, DWORD /*shareMode*/, DWORD disposition) {
  if (path == nullptr) {
    return INVALID_HANDLE_VALUE;
  }
  // Wide paths become the locale's multibyte encoding, as the file system expects.
  std::size_t length = std::wcstombs(nullptr, path, 0);
  if (length == static_cast<std::size_t>(-1)) {
    return INVALID_HANDLE_VALUE;
  }
  std::vector<char> narrow(length + 1);
  std::wcstombs(narrow.data(), path, narrow.size());
  return OpenReadOnly(narrow.data(), disposition);
}

DWORD CoreGetFileSize(HANDLE file, LPDWORD sizeHigh) {
  HandleRecord* record = FindHandle(file, HandleKind::File);
  if (record == nullptr) {
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh != nullptr) {
    *sizeHigh = static_cast<DWORD>(record->size >> 32);
  }
  return static_cast<DWORD>(record->size & 0xFFFFFFFFu);
}

HANDLE CoreCreateFileMapping(HANDLE file, DWORD protect, DWORD maxSizeHigh, DWORD maxSizeLow) {
  HandleRecord* record = FindHandle(file, HandleKind::File);
  if (record == nullptr || protect != PAGE_READONLY) {
    return nullptr;
  }
  std::uint64_t wanted = (static_cast<std::uint64_t>(maxSizeHigh) << 32) | maxSizeLow;
  if (wanted == 0) {
    wanted = record->size;
  }
  // An empty file cannot be mapped, and a read-only mapping cannot grow the file.
  if (wanted == 0 || wanted > record->size) {
    return nullptr;
  }
  int fd = fcntl(record->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    return nullptr;
  }
  HandleRecord mapping;
  mapping.kind = HandleKind::Mapping;
  mapping.fd = fd;
  mapping.size = wanted;
  return NewHandle(mapping);
}

LPVOID CoreMapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                         SIZE_T length) {
  HandleRecord* record = FindHandle(mapping, HandleKind::Mapping);
  if (record == nullptr || (access & ~FILE_MAP_READ) != 0) {
    return nullptr;
  }
  std::uint64_t offset = (static_cast<std::uint64_t>(offsetHigh) << 32) | offsetLow;
  long page = sysconf(_SC_PAGESIZE);
  if (offset >= record->size || (page > 0 && offset % static_cast<std::uint64_t>(page) != 0)) {
    return nullptr;
  }
  std::uint64_t available = record->size - offset;
  std::uint64_t span = length == 0 ? available : length;
  if (span > available || span > SIZE_MAX) {
    return nullptr;
  }
  void* view = mmap(nullptr, static_cast<std::size_t>(span), PROT_READ, MAP_PRIVATE, record->fd,
                    static_cast<off_t>(offset));
  if (view == MAP_FAILED) {
    return nullptr;
  }
  views.emplace(reinterpret_cast<std::uintptr_t>(view), static_cast<std::size_t>(span));
  return view;
}

BOOL CoreUnmapViewOfFile(LPCVOID view) {
  auto found = views.find(reinterpret_cast<std::uintptr_t>(view));
  if (found == views.end()) {
    return FALSE;
  }
  munmap(const_cast<void*>(view), found->second);
  views.erase(found);
  return TRUE;
}

BOOL CoreCloseHandle(HANDLE handle) {
  auto found = handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == handles.end()) {
    return FALSE;
  }
  close(found->second.fd);
  handles.erase(found);
  return TRUE;
}

HLOCAL CoreLocalAlloc(UINT flags, SIZE_T bytes) {
  std::size_t size = bytes == 0 ? 1 : bytes;
  return (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
}

HLOCAL CoreLocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

void CoreResetFiles() {
  for (const auto& [address, length] : views) {
    munmap(reinterpret_cast<void*>(address), length);
  }
  views.clear();
  for (const auto& [value, record] : handles) {
    close(record.fd);
  }
  handles.clear();
}
