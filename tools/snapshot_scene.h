// snapshot_scene.h: renders the corridor with the real scene code on the headless backend:
// a window and GL context made the way the program makes them, then frames read back.
#pragma once

#include "SceneRender.h"

#include <cstdint>
#include <vector>

struct SnapshotImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb; // width * height * 3 bytes, bottom row first
};

// Creates a popup window of the given client size with a double-buffered RGBA pixel format
// (16 bits of colour, 16 of depth) and makes a new GL context current on it. False, with
// nothing left behind, when any step fails.
bool OpenSnapshotWindow(int width, int height);
// Releases the context, the device context and the window, and unregisters the class.
void CloseSnapshotWindow();
// Makes the snapshot window's context current again, or releases it (no context current).
bool MakeSnapshotContextCurrent(bool current);
// Presents the back buffer of the snapshot window.
bool SwapSnapshotWindow();

// Sets SceneCamera to `pose`, then draws and presents `frames` frames (at least 1) with
// DrawScene, reading back the last one before its swap.
bool RenderSnapshotFrames(const CameraPose& pose, int frames, SnapshotImage& image);

// The whole road: a window of width x height, ResizeScene, InitSceneState (textures from
// Data/ in the working directory), `frames` frames from `pose`, and the window closed
// again. False when the window cannot be made or no texture loads.
bool TakeSceneSnapshot(const CameraPose& pose, int frames, int width, int height,
                       SnapshotImage& image);
