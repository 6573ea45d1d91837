// CompressStream and DecompressStream, checked against zlib's own one-shot
// calls and Python's zlib module.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "LQComp.h"
#include "TestSupport.h"
#include "ZlibTestHelpers.h"

namespace limpet {
namespace {

using test::AdlerTrailer;
using test::ExpectZlibError;
using test::Fill;
using test::FromHex;
using test::RandomBytes;
using test::ReadFileBytes;
using test::TextBytes;
using test::TLimitedStream;
using test::TTempDir;
using test::WriteFileBytes;
using test::ZlibCompress;
using test::ZlibUncompress;

std::string Mixed(size_t size, uint32_t seed) {
  return TextBytes(size / 2, seed) + RandomBytes(size - size / 2, seed);
}

// --------------------------------------------------- levels and sizes

class WholeStreamRoundTrip
    : public ::testing::TestWithParam<std::tuple<int, size_t>> {};

TEST_P(WholeStreamRoundTrip, AgreesWithZlibBothWays) {
  const auto [level, size] = GetParam();
  const std::string plain = Mixed(size, static_cast<uint32_t>(size + level));
  TMemoryStream s;
  Fill(s, plain);
  s.SetPosition(static_cast<int64_t>(size / 2));

  CompressStream(static_cast<TCompressLevel>(level), s);
  EXPECT_EQ(s.Position(), 0);
  const std::string ours = s.DataString();
  ASSERT_GE(ours.size(), 6u);
  EXPECT_EQ(ZlibUncompress(ours, plain.size()), plain);
  EXPECT_EQ(ours.substr(ours.size() - 4), AdlerTrailer(plain));

  s.SetPosition(s.Size());
  DecompressStream(static_cast<int32_t>(size), s);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Size(), static_cast<int64_t>(size));
  EXPECT_TRUE(s.DataString() == plain);

  Fill(s, ZlibCompress(plain, level));
  DecompressStream(static_cast<int32_t>(size), s);
  EXPECT_TRUE(s.DataString() == plain);
}

INSTANTIATE_TEST_SUITE_P(LevelsAndBlockBoundaries, WholeStreamRoundTrip,
                         ::testing::Combine(::testing::Range(0, 10),
                                            ::testing::Values(0, 1, 65535, 65536, 65537,
                                                              1000000, 1100000)),
                         [](const auto& info) {
                           return "L" + std::to_string(std::get<0>(info.param)) + "_S" +
                                  std::to_string(std::get<1>(info.param));
                         });

// ------------------------------------------------------------ sizes

TEST(WholeStream, EmptyContentBecomesAnEmptyZlibStreamAndBack) {
  TMemoryStream s;
  CompressStream(6, s);
  EXPECT_EQ(s.DataString(), FromHex("789c030000000001"));
  DecompressStream(0, s);
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(WholeStream, SizeZeroReadsNothingEvenFromGarbage) {
  TMemoryStream s;
  Fill(s, "certainly not zlib data");
  s.SetPosition(5);
  DecompressStream(0, s);
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(WholeStream, ASmallerSizeGivesTheFirstBytes) {
  const std::string plain = Mixed(200000, 1);
  const std::string compressed = ZlibCompress(plain, 6);
  for (int32_t size : {1, 65536, 100001, 199999}) {
    SCOPED_TRACE(size);
    TMemoryStream s;
    Fill(s, compressed);
    DecompressStream(size, s);
    EXPECT_TRUE(s.DataString() == plain.substr(0, static_cast<size_t>(size)));
  }
}

TEST(WholeStream, ALargerSizeIsFilledWithZerosBehindThePlainData) {
  struct {
    size_t Real;
    int32_t Asked;
  } cases[] = {{0, 5}, {10, 20}, {70000, 70001}, {70000, 200000}, {65536, 131072}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Real) + " -> " + std::to_string(c.Asked));
    const std::string plain = TextBytes(c.Real, 3);
    TMemoryStream s;
    Fill(s, ZlibCompress(plain, 6));
    DecompressStream(c.Asked, s);
    EXPECT_EQ(s.Size(), c.Asked);
    EXPECT_TRUE(s.DataString() ==
                plain + std::string(static_cast<size_t>(c.Asked) - c.Real, '\0'));
  }
}

// ------------------------------------------------------------ errors

TEST(WholeStream, ErrorsLeaveTheContentAlone) {
  const std::string garbage = "this is not a zlib stream at all, just text";
  TMemoryStream s;

  Fill(s, garbage);
  ExpectZlibError<ELQDecompressError>([&] { DecompressStream(100, s); }, "error", Z_DATA_ERROR);
  EXPECT_EQ(s.DataString(), garbage);

  Fill(s, garbage);
  ExpectZlibError<ELQDecompressError>([&] { DecompressStream(-1, s); },
                                      "Invalid stream operation", 0);
  EXPECT_EQ(s.DataString(), garbage);

  Fill(s, garbage);
  ExpectZlibError<ELQCompressError>([&] { CompressStream(10, s); }, "error", Z_STREAM_ERROR);
  EXPECT_EQ(s.DataString(), garbage);
}

TEST(WholeStream, AStreamThatCannotTakeTheResultRaisesTheWriteError) {
  // Random bytes grow when compressed; the stream takes no more than it holds.
  TLimitedStream s(1000);
  Fill(s, RandomBytes(1000, 2));
  EXPECT_THROW(CompressStream(9, s), EWriteError);
}

// ------------------------------------------------- other stream kinds

TEST(WholeStream, WorksOnFilesAndDerivedMemoryStreams) {
  const std::string plain = Mixed(150000, 4);
  TTempDir dir;
  TFileStream file(dir.File("data"), fmCreate);
  TLimitedStream derived(1 << 30);
  for (TStream* s : {static_cast<TStream*>(&file), static_cast<TStream*>(&derived)}) {
    SCOPED_TRACE(s->ClassName());
    s->SetSize(0);
    s->WriteBuffer(plain.data(), static_cast<int64_t>(plain.size()));
    CompressStream(6, *s);
    EXPECT_EQ(s->Position(), 0);
    std::string compressed(static_cast<size_t>(s->Size()), '\0');
    s->ReadBuffer(compressed.data(), s->Size());
    EXPECT_EQ(ZlibUncompress(compressed, plain.size()), plain);

    DecompressStream(static_cast<int32_t>(plain.size()), *s);
    EXPECT_EQ(s->Position(), 0);
    std::string back(static_cast<size_t>(s->Size()), '\0');
    s->ReadBuffer(back.data(), s->Size());
    EXPECT_TRUE(back == plain);
  }
}

// ------------------------------------------------------ Python's zlib

TEST(WholeStream, InteroperatesWithPythonsZlib) {
  if (std::system("python3 -c 'import zlib' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3 with zlib is not available";
  }
  const std::string plain = Mixed(300000, 5);
  TTempDir dir;
  TMemoryStream s;
  Fill(s, plain);
  CompressStream(7, s);
  s.SaveToFile(dir.File("ours.z"));
  WriteFileBytes(dir.File("plain"), plain);

  const std::string script =
      "import sys, zlib\n"
      "d = sys.argv[1]\n"
      "open(d + '/ours.out', 'wb').write(zlib.decompress(open(d + '/ours.z', 'rb').read()))\n"
      "open(d + '/python.z', 'wb').write(zlib.compress(open(d + '/plain', 'rb').read(), 4))\n";
  WriteFileBytes(dir.File("check.py"), script);
  ASSERT_EQ(std::system(("python3 '" + dir.File("check.py") + "' '" + dir.Path() + "'").c_str()),
            0);

  EXPECT_TRUE(ReadFileBytes(dir.File("ours.out")) == plain);
  s.LoadFromFile(dir.File("python.z"));
  DecompressStream(static_cast<int32_t>(plain.size()), s);
  EXPECT_TRUE(s.DataString() == plain);
}

}  // namespace
}  // namespace limpet
