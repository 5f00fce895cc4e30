// SdlDisplay.cpp: ChangeDisplaySettingsA over SDL's display modes. A full-screen request
// succeeds only for a size the display really offers (SDL itself would accept any size and
// quietly use the desktop's), and the mode takes effect through the full-screen popup
// window created afterwards; (NULL, 0) brings the desktop's mode back.
#include "SdlBackend.h"

namespace {

bool switched = false;
SDL_DisplayMode switchedMode{};

std::vector<SDL_DisplayMode> OfferedModes(int display) {
  std::vector<SDL_DisplayMode> modes;
  const int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(display, i, &mode) == 0) {
      modes.push_back(mode);
    }
  }
  return modes;
}

} // namespace

int SdlPickMode(const std::vector<SdlModeInfo>& offered, int width, int height, int bits) {
  int best = -1;
  for (std::size_t i = 0; i < offered.size(); ++i) {
    const SdlModeInfo& mode = offered[i];
    if (mode.width != width || mode.height != height || mode.bitsPerPixel < bits) {
      continue;
    }
    if (best < 0 || mode.bitsPerPixel < offered[static_cast<std::size_t>(best)].bitsPerPixel) {
      best = static_cast<int>(i);
    }
  }
  return best;
}

const SDL_DisplayMode* SdlSwitchedMode() {
  return switched ? &switchedMode : nullptr;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD /*flags*/) {
  if (mode == nullptr) {
    // Back to the desktop's mode: full-screen windows become ordinary borderless windows,
    // which makes SDL restore the display.
    if (switched) {
      switched = false;
      for (SdlWindow* window : SdlWindows()) {
        if (window->fullscreen) {
          SDL_SetWindowFullscreen(window->window, 0);
          window->fullscreen = false;
        }
      }
    }
    return DISP_CHANGE_SUCCESSFUL;
  }
  if (!SdlVideoReady()) {
    return DISP_CHANGE_FAILED;
  }
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
    return DISP_CHANGE_FAILED;
  }
  // Fields the request leaves out keep the desktop's values.
  const int width =
      (mode->dmFields & DM_PELSWIDTH) != 0 ? static_cast<int>(mode->dmPelsWidth) : desktop.w;
  const int height =
      (mode->dmFields & DM_PELSHEIGHT) != 0 ? static_cast<int>(mode->dmPelsHeight) : desktop.h;
  const int bits = (mode->dmFields & DM_BITSPERPEL) != 0 ? static_cast<int>(mode->dmBitsPerPel) : 0;

  const std::vector<SDL_DisplayMode> modes = OfferedModes(0);
  std::vector<SdlModeInfo> offered;
  for (const SDL_DisplayMode& m : modes) {
    offered.push_back({m.w, m.h, static_cast<int>(SDL_BITSPERPIXEL(m.format))});
  }
  const int pick = SdlPickMode(offered, width, height, bits);
  if (pick < 0) {
    return DISP_CHANGE_BADMODE;
  }
  switchedMode = modes[static_cast<std::size_t>(pick)];
  switched = true;
  return DISP_CHANGE_SUCCESSFUL;
}
