// The JPEG image of the demo programs: decoding pictures encoded here by
// libjpeg, reading from the stream's position, and refusing bad data.
#include <gtest/gtest.h>

#include <string>

#include "DemoTestSupport.h"
#include "LQJpeg.h"
#include "LQStreams.h"
#include "TestSupport.h"

namespace limpet::test {
namespace {

const TPicture kPicture{48, 32, {kRed, kGreen, kBlue, kYellow}};

void Load(TJPEGImage& image, const std::string& bytes, int64_t position = 0) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(position);
  image.LoadFromStream(stream);
}

TEST(JpegImage, DecodesColourPictureToRgb) {
  TJPEGImage image;
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Pixels(), nullptr);
  Load(image, kPicture.Jpeg());
  EXPECT_FALSE(image.Empty());
  EXPECT_TRUE(ShowsPicture(image, kPicture));
}

TEST(JpegImage, DecodesGreyPictureToRgb) {
  TJPEGImage image;
  Load(image, GreyJpeg(32, 16, 40, 200));
  ASSERT_EQ(image.Width(), 32);
  ASSERT_EQ(image.Height(), 16);
  const uint8_t* left = image.Pixels() + (8 * 32 + 4) * 3;
  const uint8_t* right = image.Pixels() + (8 * 32 + 28) * 3;
  EXPECT_TRUE(Near({left[0], left[1], left[2]}, {40, 40, 40}, 4)) << Describe({left[0], left[1], left[2]});
  EXPECT_TRUE(Near({right[0], right[1], right[2]}, {200, 200, 200}, 4)) << Describe({right[0], right[1], right[2]});
}

TEST(JpegImage, ReadsFromTheStreamPosition) {
  TJPEGImage image;
  Load(image, "bytes before the picture" + kPicture.Jpeg(), 24);
  EXPECT_TRUE(ShowsPicture(image, kPicture));
}

TEST(JpegImage, LoadsFromFile) {
  TTempDir dir;
  WriteFileBytes(dir.File("p.jpg"), kPicture.Jpeg());
  TJPEGImage image;
  image.LoadFromFile(dir.File("p.jpg"));
  EXPECT_TRUE(ShowsPicture(image, kPicture));
  EXPECT_THROW(image.LoadFromFile(dir.File("missing.jpg")), EFOpenError);
}

TEST(JpegImage, ReplacesAnEarlierPicture) {
  const TPicture other{16, 64, {kMagenta, kCyan, kOrange, kPurple}};
  TJPEGImage image;
  Load(image, kPicture.Jpeg());
  Load(image, other.Jpeg());
  EXPECT_TRUE(ShowsPicture(image, other));
  image.Clear();
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
}

// Data that does not decode raises libjpeg's message and keeps the picture
// that was there.
TEST(JpegImage, BadDataRaisesAndKeepsThePicture) {
  const std::string jpeg = kPicture.Jpeg();
  struct TCase {
    const char* what;
    std::string data;
    const char* message;
  };
  const TCase cases[] = {
      {"empty", "", "Empty input file"},
      {"not a JPEG file", "GIF89a and more bytes", "Not a JPEG file: starts with 0x47 0x49"},
      {"only the start marker", jpeg.substr(0, 2), ""},
      {"cut inside the headers", jpeg.substr(0, 100), ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TJPEGImage image;
    Load(image, jpeg);
    try {
      Load(image, c.data);
      ADD_FAILURE() << "no error";
    } catch (const EJPEG& e) {
      EXPECT_FALSE(e.Message().empty());
      EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(ShowsPicture(image, kPicture));
  }
}

}  // namespace
}  // namespace limpet::test
