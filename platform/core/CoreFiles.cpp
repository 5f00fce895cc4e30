// CoreFiles.cpp: read-only files, file mappings and views (POSIX open, fstat and mmap
// underneath), and local memory. Every handle, descriptor and mapping is tracked so that
// closing releases it and CoreReset can release whatever a test left open.
//
// A view is a stable snapshot of the file for as long as it lives, as on Windows, where an
// open that lets others only read keeps every writer out. A mapped file that shrinks would
// otherwise end the reader with SIGBUS, and one rewritten in place would change bytes
// already checked. Each opened file either holds a read lease, which makes the kernel hold
// back anyone who opens it for writing or truncates it until every descriptor, mapping and
// view of ours is gone, and its views then map the file; or, where no lease can be had (a
// writer has it open already, a file of another user, a file system without leases), it
// is read whole into private memory when it is opened, and its views show that copy.
#include "CoreInternal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

enum class HandleKind { File, Mapping };

// A whole file read into private, read-only memory.
struct FileCopy {
  unsigned char* bytes = nullptr;
  std::size_t size = 0;     // bytes of the file held
  std::size_t reserved = 0; // length of the anonymous mapping that holds them
  FileCopy() = default;
  FileCopy(const FileCopy&) = delete;
  FileCopy& operator=(const FileCopy&) = delete;
  ~FileCopy() {
    if (bytes != nullptr) {
      munmap(bytes, reserved);
    }
  }
};

struct HandleRecord {
  HandleKind kind = HandleKind::File;
  int fd = -1; // a file's descriptor, or the mapping's own duplicate of it
  std::uint64_t size = 0;
  std::shared_ptr<const FileCopy> copy; // set when the file could not be leased
};

struct ViewRecord {
  std::size_t length = 0;               // bytes mapped from the file (no copy)
  std::shared_ptr<const FileCopy> copy; // or the copy the view points into
};

std::map<std::uintptr_t, HandleRecord> handles;
// Views by address; two views of one copy share an address.
std::multimap<std::uintptr_t, ViewRecord> views;

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

// A read lease on the open file: until our last reference to it goes, the kernel makes
// anyone who opens the file for writing or truncates it wait (or fail, when they ask not to
// wait). It tells the holder with a signal, by default SIGIO, whose default action ends the
// process: the signal is switched to SIGURG, ignored by default, before the lease is taken,
// and the notification is turned off right after by clearing the descriptor's owner. A
// writer waits at most /proc/sys/fs/lease-break-time seconds (45 by default), far longer
// than any view a decode holds.
bool TakeReadLease(int fd) {
#if defined(F_SETLEASE) && defined(F_SETSIG)
  if (fcntl(fd, F_SETSIG, SIGURG) != 0 || fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
    return false;
  }
  fcntl(fd, F_SETOWN, 0);
  return true;
#else
  (void)fd;
  return false;
#endif
}

// Reads up to `size` bytes of the file into fresh read-only memory; fewer if the file
// shrank meanwhile. Large copies are advised for transparent huge pages, which fault in
// 2 MiB at a time.
std::shared_ptr<FileCopy> CopyWholeFile(int fd, std::uint64_t size) {
  auto copy = std::make_shared<FileCopy>();
  if (size == 0) {
    return copy;
  }
  if (size > SIZE_MAX / 2) {
    return nullptr;
  }
  const long page = sysconf(_SC_PAGESIZE);
  const std::size_t unit = page > 0 ? static_cast<std::size_t>(page) : 4096;
  const std::size_t reserved = (static_cast<std::size_t>(size) + unit - 1) / unit * unit;
  void* block = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    return nullptr;
  }
#if defined(MADV_HUGEPAGE)
  madvise(block, reserved, MADV_HUGEPAGE); // only advice: a refusal changes nothing
#endif
  copy->bytes = static_cast<unsigned char*>(block);
  copy->reserved = reserved;
  while (copy->size < size) {
    const ssize_t n =
        pread(fd, copy->bytes + copy->size, static_cast<std::size_t>(size) - copy->size,
              static_cast<off_t>(copy->size));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return nullptr;
    }
    if (n == 0) {
      break; // the file ended early: it was cut after its size was taken
    }
    copy->size += static_cast<std::size_t>(n);
  }
  mprotect(block, reserved, PROT_READ);
  return copy;
}

bool SameFileState(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// A copy of the file that no change overlapped: a read that races a truncation can return
// zeros for the bytes being cut away, so the copy is taken again while the file's size or
// times moved during it. After a few tries the last copy stands, cut to the file's new size
// if it shrank.
std::shared_ptr<const FileCopy> CopyUnchangedFile(int fd, struct stat info) {
  for (int attempt = 0;; ++attempt) {
    std::shared_ptr<FileCopy> copy = CopyWholeFile(fd, static_cast<std::uint64_t>(info.st_size));
    struct stat after {};
    if (copy == nullptr || fstat(fd, &after) != 0) {
      return nullptr;
    }
    if (SameFileState(info, after) && copy->size == static_cast<std::uint64_t>(after.st_size)) {
      return copy;
    }
    if (attempt == 3) {
      copy->size = std::min(copy->size, static_cast<std::size_t>(after.st_size));
      return copy;
    }
    info = after;
  }
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
  // The size is taken again once writers are held back, so the views agree with it.
  if (TakeReadLease(fd) && fstat(fd, &info) == 0) {
    record.size = static_cast<std::uint64_t>(info.st_size);
  } else {
    record.copy = CopyUnchangedFile(fd, info);
    if (record.copy == nullptr) {
      close(fd);
      return INVALID_HANDLE_VALUE;
    }
    record.size = record.copy->size;
  }
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
  mapping.copy = record->copy;
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
  ViewRecord entry;
  void* view = nullptr;
  if (record->copy != nullptr) {
    view = record->copy->bytes + offset;
    entry.copy = record->copy;
  } else {
    view = mmap(nullptr, static_cast<std::size_t>(span), PROT_READ, MAP_PRIVATE, record->fd,
                static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
      return nullptr;
    }
    entry.length = static_cast<std::size_t>(span);
  }
  views.emplace(reinterpret_cast<std::uintptr_t>(view), entry);
  return view;
}

BOOL CoreUnmapViewOfFile(LPCVOID view) {
  auto found = views.find(reinterpret_cast<std::uintptr_t>(view));
  if (found == views.end()) {
    return FALSE;
  }
  if (found->second.copy == nullptr) {
    munmap(const_cast<void*>(view), found->second.length);
  }
  views.erase(found); // a copy goes with its last view and handle
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
  for (const auto& [address, entry] : views) {
    if (entry.copy == nullptr) {
      munmap(reinterpret_cast<void*>(address), entry.length);
    }
  }
  views.clear();
  for (const auto& [value, record] : handles) {
    close(record.fd);
  }
  handles.clear();
}
