// The JPEG image of the demo programs: JPEG data decoded by libjpeg into
// 8-bit RGB pixels, ready to be drawn unscaled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LQObject.h"
#include "LQSysUtils.h"

namespace limpet {

class TStream;

// Raised when JPEG data cannot be decoded; the message is libjpeg's.
LIMPET_DECLARE_ERROR(EJPEG, Exception)

class TJPEGImage : public TObject {
  LIMPET_CLASS(TJPEGImage)
 public:
  TJPEGImage() noexcept = default;

  // True while no picture is loaded.
  bool Empty() const noexcept { return FWidth == 0; }
  int32_t Width() const noexcept { return FWidth; }
  int32_t Height() const noexcept { return FHeight; }
  // Rows from top to bottom, each Width * 3 bytes (red, green, blue per
  // pixel) with no padding; null while empty.
  const uint8_t* Pixels() const noexcept { return FPixels.empty() ? nullptr : FPixels.data(); }

  // Decodes the JPEG data from the stream's position to its end (grey-scale
  // pictures come out as RGB). Data that does not decode raises EJPEG and
  // leaves the picture as it was.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  // Drops the picture.
  void Clear() noexcept;

 private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::vector<uint8_t> FPixels;
};

}  // namespace limpet
