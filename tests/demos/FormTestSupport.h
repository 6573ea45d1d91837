// A canvas that records what a form draws, and a fixture with a stand-in
// executable to bind pictures to.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DemoTestSupport.h"
#include "LQForms.h"
#include "TestSupport.h"

namespace limpet::test {

struct TDrawCall {
  int32_t x;
  int32_t y;
  const TJPEGImage* graphic;
};

class TRecordingCanvas : public TCanvas {
 public:
  void Draw(int32_t x, int32_t y, const TJPEGImage& graphic) override { calls.push_back({x, y, &graphic}); }
  std::vector<TDrawCall> calls;
};

// What one paint of the form draws.
inline std::vector<TDrawCall> PaintOf(TForm& form) {
  TRecordingCanvas canvas;
  form.Paint(canvas);
  return canvas.calls;
}

class DemoFormTest : public ::testing::Test {
 protected:
  DemoFormTest() : exe(dir.File("program")) { WriteFileBytes(exe, std::string("\x7F" "ELF stand-in program", 20)); }

  void Bind(const std::vector<TBoundFile>& files) { BindFiles(exe, dir.Path(), files); }

  TTempDir dir;
  std::string exe;
};

}  // namespace limpet::test
