// SdlDialog.cpp: MessageBoxA as SDL's modal message box, with buttons and icon from the
// MB_ flags, Return as the default key, Escape as the cancel key of boxes that have a
// Cancel or only an OK button, and a one-line stderr fallback when no dialog can be shown
// (no display).
#include "SdlBackend.h"

#include <cstdio>

namespace {

constexpr UINT TypeOkCancel = MB_OKCANCEL;
constexpr UINT TypeYesNoCancel = 0x00000003;
constexpr UINT TypeYesNo = MB_YESNO;

constexpr Uint32 ReturnKey = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
constexpr Uint32 EscapeKey = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;

} // namespace

SdlDialogLayout SdlDialogFor(UINT type) {
  SdlDialogLayout layout;
  switch (type & MB_ICONMASK) {
  case MB_ICONHAND:
    layout.iconFlags = SDL_MESSAGEBOX_ERROR;
    break;
  case MB_ICONEXCLAMATION:
    layout.iconFlags = SDL_MESSAGEBOX_WARNING;
    break;
  default: // MB_ICONQUESTION, MB_ICONINFORMATION and no icon
    layout.iconFlags = SDL_MESSAGEBOX_INFORMATION;
    break;
  }
  switch (type & MB_TYPEMASK) {
  case TypeYesNo:
    // A Yes/No box has no Cancel button, so Escape answers nothing: the user has to pick
    // one of the two, as on Windows.
    layout.buttons = {{IDYES, "Yes", ReturnKey}, {IDNO, "No", 0}};
    layout.dismissAnswer = IDNO;
    layout.fallbackAnswer = IDNO;
    break;
  case TypeYesNoCancel:
    layout.buttons = {{IDYES, "Yes", ReturnKey}, {IDNO, "No", 0}, {IDCANCEL, "Cancel", EscapeKey}};
    layout.dismissAnswer = IDCANCEL;
    layout.fallbackAnswer = IDNO;
    break;
  case TypeOkCancel:
    layout.buttons = {{IDOK, "OK", ReturnKey}, {IDCANCEL, "Cancel", EscapeKey}};
    layout.dismissAnswer = IDCANCEL;
    layout.fallbackAnswer = IDCANCEL;
    break;
  default: // MB_OK, and the types this layer does not offer
    layout.buttons = {{IDOK, "OK", ReturnKey | EscapeKey}};
    layout.dismissAnswer = IDOK;
    layout.fallbackAnswer = IDOK;
    break;
  }
  return layout;
}

std::string SdlDialogFallbackLine(const char* caption, const char* text) {
  std::string line = caption != nullptr ? caption : "Error";
  line += ": ";
  std::string body = text != nullptr ? text : "";
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) {
    body.pop_back();
  }
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
      body.erase(i, 1);
    }
    if (body[i] == '\n' || body[i] == '\r') {
      body[i] = ' ';
    }
  }
  return line + body;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const SdlDialogLayout layout = SdlDialogFor(type);
  if (SdlVideoReady()) {
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (const SdlDialogButton& button : layout.buttons) {
      buttons.push_back({button.flags, button.answer, button.label});
    }
    SdlWindow* parent = SdlFindWindow(owner);
    SDL_MessageBoxData data{};
    data.flags = layout.iconFlags | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.window = parent != nullptr ? parent->window : nullptr;
    data.title = caption != nullptr ? caption : "Error";
    data.message = text != nullptr ? text : "";
    data.numbuttons = static_cast<int>(buttons.size());
    data.buttons = buttons.data();
    int answer = -1;
    if (SDL_ShowMessageBox(&data, &answer) == 0) {
      return answer >= 0 ? answer : layout.dismissAnswer;
    }
  }
  const std::string line = SdlDialogFallbackLine(caption, text);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  return layout.fallbackAnswer;
}
