#include <gtest/gtest.h>

#include "DemoTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>

#include "Limpet.h"
#include "TestSupport.h"

namespace limpet::test {

bool Near(TRgb a, TRgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::string Describe(TRgb c) {
  return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

TRgb TPicture::At(int32_t x, int32_t y) const {
  const int index = (y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0);
  return quadrants[index];
}

std::vector<std::array<int32_t, 2>> TPicture::SamplePoints() const {
  const int32_t qx = width / 4;
  const int32_t qy = height / 4;
  return {{qx, qy}, {width - qx, qy}, {qx, height - qy}, {width - qx, height - qy}};
}

namespace {

std::string Encode(int32_t width, int32_t height, int components, J_COLOR_SPACE space,
                   const std::vector<uint8_t>& pixels) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(width) * components;
  while (info.next_scanline < info.image_height) {
    auto* row = const_cast<JSAMPROW>(pixels.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string result(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return result;
}

}  // namespace

std::string TPicture::Jpeg() const {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const TRgb c = At(x, y);
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
    }
  }
  return Encode(width, height, 3, JCS_RGB, pixels);
}

std::string GreyJpeg(int32_t width, int32_t height, uint8_t left, uint8_t right) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = x < width / 2 ? left : right;
  }
  return Encode(width, height, 1, JCS_GRAYSCALE, pixels);
}

::testing::AssertionResult ShowsPicture(const TJPEGImage& image, const TPicture& picture) {
  if (image.Width() != picture.width || image.Height() != picture.height) {
    return ::testing::AssertionFailure() << "image is " << image.Width() << "x" << image.Height() << ", picture "
                                         << picture.width << "x" << picture.height;
  }
  for (const auto& [x, y] : picture.SamplePoints()) {
    const uint8_t* p = image.Pixels() + (static_cast<size_t>(y) * image.Width() + x) * 3;
    const TRgb got{p[0], p[1], p[2]};
    if (!Near(got, picture.At(x, y), kJpegTolerance)) {
      return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << Describe(got)
                                           << ", expected " << Describe(picture.At(x, y));
    }
  }
  return ::testing::AssertionSuccess();
}

void BindFiles(const std::string& exe, const std::string& workDir, const std::vector<TBoundFile>& files) {
  static int counter = 0;
  TLimpet binder;
  binder.SetFileName(exe);
  for (const TBoundFile& file : files) {
    const std::string path = workDir + "/bound" + std::to_string(counter++) + ".jpg";
    WriteFileBytes(path, file.content);
    auto entry = std::make_unique<TFileEntry>();
    entry->SetFileName(path);
    entry->SetName(file.name);
    entry->SetID(file.id);
    entry->SetCompressionLevel(file.level);
    entry->SetPassword(file.password);
    binder.FileList().Add(entry.release());
  }
  binder.Update();
}

}  // namespace limpet::test
