// Main.cpp: the process entry of talvern-corridor; hands over to SceneMain and returns its
// result as the exit status.
#include "SceneApp.h"

int main() {
  return SceneMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
}
