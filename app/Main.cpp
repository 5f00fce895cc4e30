// Main.cpp: the process entry of talvern-corridor. On Windows it is the GUI entry WinMain,
// elsewhere main; either hands over to SceneMain and returns its result as the exit status.
#include "SceneApp.h"

#if defined(_WIN32)
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
  return SceneMain(instance, previousInstance, commandLine, showCommand);
}
#else
int main() {
  return SceneMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
}
#endif
