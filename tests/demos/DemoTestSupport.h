// Test pictures for the demo programs: JPEG files encoded here with libjpeg,
// bound to stand-in or real executables with the binder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LQJpeg.h"

namespace limpet::test {

struct TRgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  bool operator==(const TRgb&) const = default;
};

inline constexpr TRgb kRed{230, 20, 20};
inline constexpr TRgb kGreen{20, 200, 40};
inline constexpr TRgb kBlue{30, 40, 220};
inline constexpr TRgb kYellow{240, 220, 20};
inline constexpr TRgb kMagenta{220, 30, 200};
inline constexpr TRgb kCyan{20, 210, 220};
inline constexpr TRgb kOrange{250, 140, 10};
inline constexpr TRgb kPurple{110, 30, 160};
inline constexpr TRgb kBlack{0, 0, 0};

// True when every channel differs by at most `tolerance`.
bool Near(TRgb a, TRgb b, int tolerance);
std::string Describe(TRgb c);

// A picture of four flat quadrants: top-left, top-right, bottom-left,
// bottom-right. Quadrant borders on multiples of 16 pixels keep JPEG's
// errors small away from the borders.
struct TPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::array<TRgb, 4> quadrants{};

  TRgb At(int32_t x, int32_t y) const;
  // The colour of the source at (x, y) and the points where it is flat:
  // the centres of the quadrants, in picture coordinates.
  std::vector<std::array<int32_t, 2>> SamplePoints() const;
  // Encoded as a JPEG file (quality 95).
  std::string Jpeg() const;
};

// A grey-scale JPEG file: the left half `left`, the right half `right`.
std::string GreyJpeg(int32_t width, int32_t height, uint8_t left, uint8_t right);

// How JPEG data may differ from its source in the flat parts.
inline constexpr int kJpegTolerance = 16;

// True when the image holds the picture (checked at the sample points).
::testing::AssertionResult ShowsPicture(const TJPEGImage& image, const TPicture& picture);

// One file to bind.
struct TBoundFile {
  std::string content;
  std::string name;
  uint8_t level = 6;
  std::string password = "KelpForest";
  int32_t id = -1;
};

// Writes each file into `workDir` and binds them all to `exe` (replacing an
// earlier binding); an empty list binds an empty block.
void BindFiles(const std::string& exe, const std::string& workDir, const std::vector<TBoundFile>& files);

}  // namespace limpet::test
