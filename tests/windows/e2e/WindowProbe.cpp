// WindowProbe.cpp: e2e-window-probe, a console program the Wine end-to-end tests run beside
// talvern-corridor.exe (same Wine prefix, so the same desktop) to read what X cannot show:
// the texts and buttons of a message box, a window's own idea of its client area, position
// and styles, and the display mode Windows reports. One line per fact on stdout.
//
//   e2e-window-probe dialog CAPTION   the message box captioned CAPTION: "class NAME", then
//                                     "text LINE" for each line of its message, then
//                                     "button TEXT" for each button, left to right
//   e2e-window-probe window TITLE     the top-level window titled TITLE: "class", "client W H"
//                                     (client size), "origin X Y" (client top-left on the
//                                     screen), "rect L T R B" (outer), "style 0x..",
//                                     "exstyle 0x..", "visible 0|1", "foreground 0|1"
//   e2e-window-probe mode             "mode W H BITS" of the current display settings
//
// Exit status 0 when the window was found (or the mode read), 1 when not, 2 on bad usage.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string WindowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, static_cast<int>(sizeof text));
  return text;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, static_cast<int>(sizeof name));
  return name;
}

// Message text lines come out one "text" line each, so a two-line message is two lines.
void PrintTextLines(const std::string& text) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::printf("text %s\n", line.c_str());
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
}

struct BoxControls {
  HWND box = nullptr;
  std::vector<std::string> texts;
  std::vector<std::pair<long, std::string>> buttons; // left edge on the screen, text
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  BoxControls& controls = *reinterpret_cast<BoxControls*>(param);
  // Only the box's own visible controls: a box keeps hidden buttons it does not use.
  if (GetParent(child) != controls.box || !IsWindowVisible(child)) {
    return TRUE;
  }
  const std::string className = ClassOf(child);
  const std::string text = WindowText(child);
  if (_stricmp(className.c_str(), "Button") == 0) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    controls.buttons.emplace_back(rect.left, text);
  } else if (_stricmp(className.c_str(), "Static") == 0 && !text.empty()) {
    controls.texts.push_back(text);
  }
  return TRUE;
}

int ProbeDialog(const char* caption) {
  BoxControls controls;
  controls.box = FindWindowA("#32770", caption);
  if (controls.box == nullptr) {
    std::printf("none\n");
    return 1;
  }
  std::printf("class %s\n", ClassOf(controls.box).c_str());
  EnumChildWindows(controls.box, CollectChild, reinterpret_cast<LPARAM>(&controls));
  for (const std::string& text : controls.texts) {
    PrintTextLines(text);
  }
  // Buttons as the user sees them, left to right.
  std::stable_sort(controls.buttons.begin(), controls.buttons.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& button : controls.buttons) {
    std::printf("button %s\n", button.second.c_str());
  }
  return 0;
}

int ProbeWindow(const char* title) {
  HWND window = FindWindowA(nullptr, title);
  if (window == nullptr) {
    std::printf("none\n");
    return 1;
  }
  RECT client = {};
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  RECT outer = {};
  GetWindowRect(window, &outer);
  std::printf("class %s\n", ClassOf(window).c_str());
  std::printf("client %ld %ld\n", client.right - client.left, client.bottom - client.top);
  std::printf("origin %ld %ld\n", origin.x, origin.y);
  std::printf("rect %ld %ld %ld %ld\n", outer.left, outer.top, outer.right, outer.bottom);
  std::printf("style 0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
  std::printf("exstyle 0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)));
  std::printf("visible %d\n", IsWindowVisible(window) ? 1 : 0);
  std::printf("foreground %d\n", GetForegroundWindow() == window ? 1 : 0);
  return 0;
}

int ProbeMode() {
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
    std::printf("none\n");
    return 1;
  }
  std::printf("mode %lu %lu %lu\n", static_cast<unsigned long>(mode.dmPelsWidth),
              static_cast<unsigned long>(mode.dmPelsHeight),
              static_cast<unsigned long>(mode.dmBitsPerPel));
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  int status = 2;
  if (argc == 3 && std::strcmp(argv[1], "dialog") == 0) {
    status = ProbeDialog(argv[2]);
  } else if (argc == 3 && std::strcmp(argv[1], "window") == 0) {
    status = ProbeWindow(argv[2]);
  } else if (argc == 2 && std::strcmp(argv[1], "mode") == 0) {
    status = ProbeMode();
  } else {
    std::fprintf(stderr, "usage: e2e-window-probe dialog CAPTION | window TITLE | mode\n");
  }
  std::fflush(stdout);
  return status;
}
