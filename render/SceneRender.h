// SceneRender.h: the corridor's rendering operations and the camera they draw from.
// Plain GL 1.1 and GLU on the current context; nothing here knows about windows.
#pragma once

// The viewer's pose, changed by the frame loop and read by DrawScene every frame.
struct CameraPose {
  float yawRight = 0.0f;        // degrees; Right adds 0.2 per idle pass
  float yawLeft = 0.0f;         // degrees; Left subtracts 0.2 per idle pass
  float forwardOffset = -80.0f; // scene units; Up adds 0.02, Down subtracts 0.02
};
extern CameraPose SceneCamera;

// Viewport and 60-degree perspective for a client area of width by height; leaves an
// identity modelview matrix selected.
void ResizeScene(int width, int height);
// One-time state of a new GL context: textures, fixed state, lights. False when no
// texture could be loaded.
bool InitSceneState();
// Draws one frame of the corridor into the back buffer. Always true.
bool DrawScene();
