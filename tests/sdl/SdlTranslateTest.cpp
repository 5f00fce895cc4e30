// SdlTranslateTest.cpp: unit tests of the SDL backend's translation rules, which need no
// display: keys to Win32 key messages, display-mode matching, pixel-format requests to GL
// visuals, and message-box layouts and their stderr fallback.
#include "SdlBackend.h"

#include <gtest/gtest.h>

namespace {

SDL_KeyboardEvent Key(SDL_Scancode scancode, SDL_Keycode keycode, bool down, Uint16 mod = 0,
                      bool repeat = false) {
  SDL_KeyboardEvent event{};
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.repeat = repeat ? 1 : 0;
  event.keysym.scancode = scancode;
  event.keysym.sym = keycode;
  event.keysym.mod = mod | KMOD_NUM;
  return event;
}

SdlKeyMessage Translate(const SDL_KeyboardEvent& event) {
  SdlKeyMessage message;
  EXPECT_TRUE(SdlTranslateKey(event, message));
  return message;
}

TEST(SdlKeys, VirtualKeysAndScanCodesFollowWin32) {
  struct Case {
    SDL_Scancode scancode;
    SDL_Keycode keycode;
    int virtualKey;
    int scanCode;
    bool extended;
  };
  const Case cases[] = {
      {SDL_SCANCODE_UP, SDLK_UP, VK_UP, 0x48, true},
      {SDL_SCANCODE_DOWN, SDLK_DOWN, VK_DOWN, 0x50, true},
      {SDL_SCANCODE_LEFT, SDLK_LEFT, VK_LEFT, 0x4B, true},
      {SDL_SCANCODE_RIGHT, SDLK_RIGHT, VK_RIGHT, 0x4D, true},
      {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, VK_ESCAPE, 0x01, false},
      {SDL_SCANCODE_F1, SDLK_F1, VK_F1, 0x3B, false},
      {SDL_SCANCODE_F12, SDLK_F12, VK_F12, 0x58, false},
      {SDL_SCANCODE_RETURN, SDLK_RETURN, VK_RETURN, 0x1C, false},
      {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, VK_RETURN, 0x1C, true},
      {SDL_SCANCODE_SPACE, SDLK_SPACE, VK_SPACE, 0x39, false},
      {SDL_SCANCODE_7, SDLK_7, '7', 0x08, false},
      {SDL_SCANCODE_SEMICOLON, SDLK_SEMICOLON, VK_OEM_1, 0x27, false},
      {SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, VK_NEXT, 0x51, true},
      // Modifiers arrive as the generic codes; the extended flag marks the right-hand one.
      {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, VK_SHIFT, 0x2A, false},
      {SDL_SCANCODE_RCTRL, SDLK_RCTRL, VK_CONTROL, 0x1D, true},
      // Letters follow the layout: the key in Q's place types 'a' on an AZERTY keyboard.
      {SDL_SCANCODE_Q, SDLK_a, 'A', 0x10, false},
      {SDL_SCANCODE_Z, SDLK_z, 'Z', 0x2C, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SDL_GetScancodeName(c.scancode));
    const SdlKeyCode code = SdlVirtualKey(c.scancode, c.keycode, KMOD_NUM);
    EXPECT_EQ(code.virtualKey, c.virtualKey);
    EXPECT_EQ(code.scanCode, c.scanCode);
    EXPECT_EQ(code.extended, c.extended);
  }
}

TEST(SdlKeys, KeypadDependsOnNumLockAndUnknownKeysAreDropped) {
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_8, SDLK_KP_8, KMOD_NUM).virtualKey, VK_NUMPAD8);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_8, SDLK_KP_8, KMOD_NONE).virtualKey, VK_UP);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_0, SDLK_KP_0, KMOD_NONE).virtualKey, VK_INSERT);
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD, KMOD_NONE).virtualKey, VK_DELETE);
  // The keypad's arrows are not extended keys, unlike the arrow block's.
  EXPECT_FALSE(SdlVirtualKey(SDL_SCANCODE_KP_8, SDLK_KP_8, KMOD_NONE).extended);
  // Operators do not change with Num Lock.
  EXPECT_EQ(SdlVirtualKey(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, KMOD_NONE).virtualKey, VK_ADD);

  SdlKeyMessage message;
  EXPECT_FALSE(SdlTranslateKey(Key(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN, true), message));
  EXPECT_FALSE(SdlTranslateKey(Key(SDL_SCANCODE_MODE, SDLK_MODE, true), message));
}

TEST(SdlKeys, AltKeysAndF10AreSystemKeys) {
  // Plain keys.
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_X, SDLK_x, true)).message, WM_KEYDOWN);
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_X, SDLK_x, false)).message, WM_KEYUP);
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_F4, SDLK_F4, true, KMOD_LSHIFT)).message, WM_KEYDOWN);
  // With Alt held (either Alt), and Alt itself, down and up.
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_X, SDLK_x, true, KMOD_LALT)).message, WM_SYSKEYDOWN);
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_X, SDLK_x, false, KMOD_RALT)).message, WM_SYSKEYUP);
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT)).message, WM_SYSKEYDOWN);
  const SdlKeyMessage altUp = Translate(Key(SDL_SCANCODE_LALT, SDLK_LALT, false));
  EXPECT_EQ(altUp.message, WM_SYSKEYUP);
  EXPECT_EQ(altUp.wParam, static_cast<WPARAM>(VK_MENU));
  // F10 with or without Alt.
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_F10, SDLK_F10, true)).message, WM_SYSKEYDOWN);
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_F10, SDLK_F10, false)).message, WM_SYSKEYUP);
  // Ctrl with Alt is AltGr, which types characters: plain key messages.
  EXPECT_EQ(Translate(Key(SDL_SCANCODE_Q, SDLK_q, true, KMOD_LCTRL | KMOD_LALT)).message,
            WM_KEYDOWN);
}

TEST(SdlKeys, LParamCarriesRepeatScanCodeAndTransitionBits) {
  const auto bits = [](const SdlKeyMessage& m) {
    return static_cast<DWORD>(static_cast<std::uintptr_t>(m.lParam));
  };
  const SdlKeyMessage first = Translate(Key(SDL_SCANCODE_UP, SDLK_UP, true));
  EXPECT_EQ(first.wParam, static_cast<WPARAM>(VK_UP));
  EXPECT_EQ(bits(first), 0x01480001u); // count 1, scan 0x48, extended
  const SdlKeyMessage repeat = Translate(Key(SDL_SCANCODE_UP, SDLK_UP, true, 0, true));
  EXPECT_EQ(repeat.message, WM_KEYDOWN);
  EXPECT_EQ(bits(repeat), 0x41480001u); // the key was already down
  const SdlKeyMessage release = Translate(Key(SDL_SCANCODE_UP, SDLK_UP, false));
  EXPECT_EQ(bits(release), 0xC1480001u); // was down, now going up
  // The context flag marks a key pressed with Alt; lParam stays a positive 32-bit value.
  const SdlKeyMessage altX = Translate(Key(SDL_SCANCODE_X, SDLK_x, true, KMOD_LALT));
  EXPECT_EQ(bits(altX), 0x202D0001u);
  EXPECT_GT(release.lParam, 0);
}

TEST(SdlDisplayModes, OnlyOfferedSizesAtEnoughDepthAreAccepted) {
  const std::vector<SdlModeInfo> desktop = {{1024, 768, 24}};
  EXPECT_EQ(SdlPickMode(desktop, 640, 480, 16), -1);  // size not offered
  EXPECT_EQ(SdlPickMode(desktop, 1024, 768, 16), 0);  // deeper is good enough
  EXPECT_EQ(SdlPickMode(desktop, 1024, 768, 32), -1); // shallower is not
  EXPECT_EQ(SdlPickMode(desktop, 1024, 768, 0), 0);   // no depth asked

  const std::vector<SdlModeInfo> several = {
      {800, 600, 32}, {640, 480, 32}, {640, 480, 16}, {640, 480, 24}, {640, 400, 16}};
  EXPECT_EQ(SdlPickMode(several, 640, 480, 16), 2);  // the exact depth
  EXPECT_EQ(SdlPickMode(several, 640, 480, 17), 3);  // the smallest that is enough
  EXPECT_EQ(SdlPickMode(several, 480, 640, 16), -1); // sizes are not swapped
  EXPECT_EQ(SdlPickMode({}, 640, 480, 16), -1);
}

PIXELFORMATDESCRIPTOR Format(int colour, int alpha, int depth, int stencil, DWORD flags) {
  PIXELFORMATDESCRIPTOR f{};
  f.nSize = sizeof(f);
  f.nVersion = 1;
  f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | flags;
  f.cColorBits = static_cast<BYTE>(colour);
  if (colour == 16) {
    f.cRedBits = 5;
    f.cGreenBits = 6;
    f.cBlueBits = 5;
  } else {
    f.cRedBits = f.cGreenBits = f.cBlueBits = static_cast<BYTE>(colour / 3);
  }
  f.cAlphaBits = static_cast<BYTE>(alpha);
  f.cDepthBits = static_cast<BYTE>(depth);
  f.cStencilBits = static_cast<BYTE>(stencil);
  return f;
}

TEST(SdlPixelFormats, AFormatServesRequestsItIsAtLeastAsGoodAs) {
  const PIXELFORMATDESCRIPTOR usual = Format(16, 0, 16, 0, PFD_DOUBLEBUFFER);
  EXPECT_TRUE(SdlFormatSatisfies(Format(16, 0, 16, 0, PFD_DOUBLEBUFFER), usual));
  EXPECT_TRUE(SdlFormatSatisfies(Format(24, 8, 24, 8, PFD_DOUBLEBUFFER), usual));
  EXPECT_FALSE(SdlFormatSatisfies(Format(24, 0, 16, 0, 0), usual)); // single buffered
  EXPECT_FALSE(SdlFormatSatisfies(Format(24, 0, 24, 0, PFD_DOUBLEBUFFER),
                                  Format(16, 0, 32, 0, PFD_DOUBLEBUFFER)));
  EXPECT_FALSE(SdlFormatSatisfies(Format(24, 0, 24, 0, PFD_DOUBLEBUFFER),
                                  Format(16, 0, 16, 8, PFD_DOUBLEBUFFER)));
  // 32 colour bits ask for 8/8/8 with 8 bits of alpha.
  EXPECT_FALSE(SdlFormatSatisfies(Format(24, 0, 24, 0, PFD_DOUBLEBUFFER),
                                  Format(32, 0, 16, 0, PFD_DOUBLEBUFFER)));
  EXPECT_TRUE(SdlFormatSatisfies(Format(24, 8, 24, 0, PFD_DOUBLEBUFFER),
                                 Format(32, 0, 16, 0, PFD_DOUBLEBUFFER)));
  // Single buffering is asked by leaving the flag out, unless it is marked "don't care".
  EXPECT_FALSE(SdlFormatSatisfies(Format(24, 0, 24, 0, PFD_DOUBLEBUFFER), Format(16, 0, 16, 0, 0)));
  EXPECT_TRUE(
      SdlFormatSatisfies(Format(24, 0, 24, 0, PFD_DOUBLEBUFFER), Format(16, 0, 16, 0, 0x40000000)));
}

TEST(SdlPixelFormats, RequestsBecomeVisualsNeverBelowTheUsualOne) {
  EXPECT_EQ(SdlVisualFor(Format(16, 0, 16, 0, PFD_DOUBLEBUFFER)), SdlVisual{});
  EXPECT_EQ(SdlVisualFor(Format(0, 0, 0, 0, PFD_DOUBLEBUFFER)), SdlVisual{});
  const SdlVisual rich = SdlVisualFor(Format(32, 0, 24, 8, PFD_DOUBLEBUFFER));
  EXPECT_EQ(rich.red, 8);
  EXPECT_EQ(rich.green, 8);
  EXPECT_EQ(rich.blue, 8);
  EXPECT_EQ(rich.alpha, 8);
  EXPECT_EQ(rich.depth, 24);
  EXPECT_EQ(rich.stencil, 8);
  EXPECT_TRUE(rich.doubleBuffer);
  EXPECT_FALSE(SdlVisualFor(Format(16, 0, 16, 0, 0)).doubleBuffer);
  // Whatever a visual made for a request gets is at least as good as the request.
  const PIXELFORMATDESCRIPTOR asked = Format(24, 4, 24, 1, PFD_DOUBLEBUFFER);
  const SdlVisual visual = SdlVisualFor(asked);
  const PIXELFORMATDESCRIPTOR made =
      Format(visual.red * 3, visual.alpha, visual.depth, visual.stencil,
             visual.doubleBuffer ? PFD_DOUBLEBUFFER : 0);
  EXPECT_TRUE(SdlFormatSatisfies(made, asked));
}

TEST(SdlDialogs, ButtonsKeysAndIconsFollowTheFlags) {
  const SdlDialogLayout question = SdlDialogFor(MB_YESNO | MB_ICONQUESTION);
  ASSERT_EQ(question.buttons.size(), 2u);
  EXPECT_EQ(question.buttons[0].answer, IDYES);
  EXPECT_EQ(question.buttons[0].flags, Uint32{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT});
  EXPECT_EQ(question.buttons[1].answer, IDNO);
  EXPECT_EQ(question.buttons[1].flags, Uint32{0}) << "Escape does not answer a Yes/No box";
  EXPECT_EQ(question.dismissAnswer, IDNO);
  EXPECT_EQ(question.fallbackAnswer, IDNO);
  EXPECT_EQ(question.iconFlags, Uint32{SDL_MESSAGEBOX_INFORMATION});

  const SdlDialogLayout error = SdlDialogFor(MB_OK | MB_ICONSTOP);
  ASSERT_EQ(error.buttons.size(), 1u);
  EXPECT_EQ(error.buttons[0].answer, IDOK);
  EXPECT_EQ(error.buttons[0].flags, Uint32{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT |
                                           SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT});
  EXPECT_EQ(error.fallbackAnswer, IDOK);
  EXPECT_EQ(error.iconFlags, Uint32{SDL_MESSAGEBOX_ERROR});

  EXPECT_EQ(SdlDialogFor(MB_YESNO | MB_ICONEXCLAMATION).iconFlags, Uint32{SDL_MESSAGEBOX_WARNING});
  EXPECT_EQ(SdlDialogFor(MB_OK | MB_ICONINFORMATION).iconFlags, Uint32{SDL_MESSAGEBOX_INFORMATION});

  const SdlDialogLayout okCancel = SdlDialogFor(MB_OKCANCEL);
  ASSERT_EQ(okCancel.buttons.size(), 2u);
  EXPECT_EQ(okCancel.buttons[1].answer, IDCANCEL);
  EXPECT_EQ(okCancel.dismissAnswer, IDCANCEL);
}

TEST(SdlDialogs, FallbackIsOneLine) {
  EXPECT_EQ(SdlDialogFallbackLine("Brimble GL",
                                  "The Requested Fullscreen Mode Is Not Supported By\n"
                                  "Your Video Card. Use Windowed Mode Instead?"),
            "Brimble GL: The Requested Fullscreen Mode Is Not Supported By Your Video Card. "
            "Use Windowed Mode Instead?");
  EXPECT_EQ(SdlDialogFallbackLine("Error", "Failed to open DIB file Data/x.bmp.\n"),
            "Error: Failed to open DIB file Data/x.bmp.");
  EXPECT_EQ(SdlDialogFallbackLine("A", "one\r\ntwo\n\n"), "A: one two");
  EXPECT_EQ(SdlDialogFallbackLine(nullptr, nullptr), "Error: ");
}

} // namespace
