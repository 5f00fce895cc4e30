// CoreInternal.h: state shared between the core's own source files (windows, messages,
// files). Not for backends: they use Core.h.
#pragma once

#include "Core.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

struct CoreClassRecord {
  std::string name; // as registered; lookups compare without regard to case
  WNDCLASSA windowClass{};
  ATOM atom = 0;
};

struct CoreState {
  std::map<std::string, CoreClassRecord> classes; // keyed by lower-cased name
  std::map<std::uintptr_t, std::unique_ptr<CoreWindow>> windows;
  std::deque<MSG> queue;
  bool quitPending = false;
  int quitCode = 0;
  HWND activeWindow = nullptr;
  HWND focusWindow = nullptr;
  int cursorCounter = 0;
  bool screenSaverReached = false;
};

CoreState& CoreGlobals();

// Closes every file handle, mapping and view still open (part of CoreReset).
void CoreResetFiles();
