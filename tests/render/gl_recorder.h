// gl_recorder.h: a stand-in for the GL and GLU entry points that render/ and the scene
// textures call. Linked into a test program, its definitions take the place of the
// libraries' ones, so the program sees every call with its arguments and needs no GL
// context at all.
#pragma once

#include <string>
#include <vector>

struct RecordedCall {
  std::string name;         // "glVertex3f"
  std::vector<double> args; // scalar arguments, then the values behind a vector argument
};

// Forget every recorded call; texture names start again at 1.
void ClearRecordedCalls();
const std::vector<RecordedCall>& RecordedCalls();
// Whether glGetString answers as if a context were current (true after ClearRecordedCalls).
void SetRecorderContextCurrent(bool current);

// The calls named `name`, in order.
std::vector<RecordedCall> CallsNamed(const std::string& name);
