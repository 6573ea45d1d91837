// TCompressionStream and TDecompressionStream, checked against zlib's own
// one-shot calls and against fixed zlib streams.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LQComp.h"
#include "TestSupport.h"
#include "ZlibTestHelpers.h"

namespace limpet {
namespace {

using test::AdlerTrailer;
using test::ExpectZlibError;
using test::Fill;
using test::FromHex;
using test::MustReturn;
using test::RandomBytes;
using test::TextBytes;
using test::TLimitedStream;
using test::ZlibCompress;
using test::ZlibUncompress;

constexpr const char* kInvalid = "Invalid stream operation";

// "hello hello hello hello" and its zlib streams, made by Python's zlib module.
const std::string kHello = "hello hello hello hello";
const std::string kHelloLevel6 = FromHex("789ccb48cdc9c957c8402701680308b1");
// The same text compressed against the preset dictionary "hello world".
const std::string kHelloWithDictionary = FromHex("78bb1a0b045dcb0033314800680308b1");

// Compresses `plain` through a TCompressionStream, writing in pieces of
// `chunk` bytes, and returns what reached the destination.
std::string CompressInChunks(const std::string& plain, int level, size_t chunk) {
  TMemoryStream dest;
  TCompressionStream zip(static_cast<TCompressLevel>(level), dest);
  for (size_t pos = 0; pos < plain.size(); pos += chunk) {
    size_t n = std::min(chunk, plain.size() - pos);
    EXPECT_EQ(zip.Write(plain.data() + pos, static_cast<int32_t>(n)), static_cast<int32_t>(n));
  }
  zip.Finish();
  return dest.DataString();
}

// Reads everything a TDecompressionStream over `compressed` delivers, in
// pieces of `chunk` bytes.
std::string DecompressInChunks(const std::string& compressed, size_t chunk) {
  TMemoryStream source;
  Fill(source, compressed);
  TDecompressionStream unzip(source);
  std::string out;
  std::vector<char> buf(chunk);
  for (;;) {
    int32_t got = unzip.Read(buf.data(), static_cast<int32_t>(chunk));
    out.append(buf.data(), static_cast<size_t>(std::max(got, 0)));
    if (got < static_cast<int32_t>(chunk)) break;
  }
  return out;
}

// ------------------------------------------------------------- interop

struct TInteropCase {
  int Level;
  size_t Size;
  size_t Chunk;
};

class ZlibStreamInterop : public ::testing::TestWithParam<TInteropCase> {};

TEST_P(ZlibStreamInterop, OurDataInflatesWithZlibAndZlibDataInflatesWithUs) {
  const TInteropCase c = GetParam();
  const std::string plain = TextBytes(c.Size / 2, 7) + RandomBytes(c.Size - c.Size / 2, 7);

  const std::string ours = CompressInChunks(plain, c.Level, c.Chunk);
  ASSERT_GE(ours.size(), 6u);
  EXPECT_EQ(ZlibUncompress(ours, plain.size()), plain);
  EXPECT_EQ(ours.substr(ours.size() - 4), AdlerTrailer(plain));

  EXPECT_EQ(DecompressInChunks(ZlibCompress(plain, c.Level), c.Chunk), plain);
}

INSTANTIATE_TEST_SUITE_P(
    LevelsSizesAndChunks, ZlibStreamInterop,
    ::testing::Values(TInteropCase{0, 0, 100}, TInteropCase{6, 1, 1},
                      TInteropCase{1, 65535, 65536}, TInteropCase{6, 65536, 65536},
                      TInteropCase{9, 65537, 65536}, TInteropCase{0, 200000, 70000},
                      TInteropCase{3, 300001, 4095}, TInteropCase{6, 1100000, 65536},
                      TInteropCase{9, 1100000, 1000000}),
    [](const auto& info) {
      return "L" + std::to_string(info.param.Level) + "_S" + std::to_string(info.param.Size) +
             "_C" + std::to_string(info.param.Chunk);
    });

TEST(ZlibStreamInterop, ReadsAFixedStreamMadeElsewhere) {
  EXPECT_EQ(DecompressInChunks(kHelloLevel6, 100), kHello);
  EXPECT_EQ(DecompressInChunks(kHelloLevel6, 1), kHello);
}

// -------------------------------------------------------- compression

TEST(CompressionStream, WithoutDataWritesACompleteEmptyZlibStream) {
  // Header by level (RFC 1950: FLEVEL 0 for levels 0-1, 1 for 2-5, 2 for 6,
  // 3 for 7-9), an empty final block, Adler-32 of nothing (1).
  struct {
    int Level;
    const char* Hex;
  } cases[] = {{0, "7801010000ffff00000001"}, {1, "7801030000000001"},
               {3, "785e030000000001"},       {6, "789c030000000001"},
               {9, "78da030000000001"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Level);
    TMemoryStream dest;
    { TCompressionStream zip(static_cast<TCompressLevel>(c.Level), dest); }
    EXPECT_EQ(dest.DataString(), FromHex(c.Hex));
  }
}

TEST(CompressionStream, MatchesZlibOnAFixedText) {
  TMemoryStream dest;
  {
    TCompressionStream zip(6, dest);
    zip.WriteBuffer(kHello.data(), static_cast<int64_t>(kHello.size()));
  }
  EXPECT_EQ(ZlibUncompress(dest.DataString(), kHello.size()), kHello);
  EXPECT_EQ(dest.DataString().substr(0, 2), kHelloLevel6.substr(0, 2));
  EXPECT_EQ(dest.DataString().substr(dest.Size() - 4), FromHex("680308b1"));
}

TEST(CompressionStream, LevelZeroStoresAndLevelAboveNineIsRefused) {
  const std::string plain = RandomBytes(100000, 3);
  const std::string stored = CompressInChunks(plain, 0, 100000);
  // First deflate block: BTYPE 00 (stored).
  EXPECT_EQ(static_cast<uint8_t>(stored[2]) & 0x06, 0);
  EXPECT_EQ(ZlibUncompress(stored, plain.size()), plain);

  TMemoryStream dest;
  ExpectZlibError<ELQCompressError>([&] { TCompressionStream zip(10, dest); }, "error",
                                    Z_STREAM_ERROR);
  EXPECT_EQ(dest.Size(), 0);
}

TEST(CompressionStream, PositionIsThePlainCountAndNothingElseWorks) {
  TMemoryStream dest;
  TCompressionStream zip(6, dest);
  const std::string plain = TextBytes(100000, 1);
  zip.WriteBuffer(plain.data(), 60000);
  zip.WriteBuffer(plain.data() + 60000, 40000);
  EXPECT_EQ(zip.Position(), 100000);
  EXPECT_EQ(zip.Seek(0, soFromCurrent), 100000);

  char buf[4];
  ExpectZlibError<ELQCompressError>([&] { zip.SetPosition(0); }, kInvalid, 0);
  ExpectZlibError<ELQCompressError>([&] { zip.Size(); }, kInvalid, 0);
  ExpectZlibError<ELQCompressError>([&] { zip.Seek(1, soFromCurrent); }, kInvalid, 0);
  ExpectZlibError<ELQCompressError>([&] { zip.Seek(0, soFromEnd); }, kInvalid, 0);
  ExpectZlibError<ELQCompressError>([&] { zip.Read(buf, 4); }, kInvalid, 0);

  // The misuses left the stream intact.
  zip.Finish();
  EXPECT_EQ(ZlibUncompress(dest.DataString(), plain.size()), plain);
}

TEST(CompressionStream, WritesWholeBlocksWithOneProgressEachThenTheRestOnFinish) {
  TMemoryStream dest;
  TCompressionStream zip(1, dest);
  int progress = 0;
  zip.SetOnProgress(TNotifyEvent([&](TObject* sender) {
    EXPECT_EQ(sender, &zip);
    ++progress;
  }));
  const std::string plain = RandomBytes(300000, 5);
  zip.WriteBuffer(plain.data(), static_cast<int64_t>(plain.size()));

  EXPECT_GT(dest.Size(), 0);
  EXPECT_EQ(dest.Size() % 65536, 0);
  EXPECT_EQ(progress, dest.Size() / 65536);
  const int64_t before = dest.Size();

  zip.Finish();
  EXPECT_GT(dest.Size(), before);
  EXPECT_EQ(progress, before / 65536);  // none while finishing
  EXPECT_EQ(ZlibUncompress(dest.DataString(), plain.size()), plain);
}

TEST(CompressionStream, ProgressSkipsAHandlerBoundToAnObjectThatIsGone) {
  TMemoryStream dest;
  TCompressionStream zip(0, dest);
  int calls = 0;
  auto owner = std::make_unique<TObject>();
  zip.SetOnProgress(TNotifyEvent(owner.get(), [&](TObject*) { ++calls; }));
  const std::string plain = RandomBytes(200000, 1);
  zip.WriteBuffer(plain.data(), 100000);
  const int whileAlive = calls;
  EXPECT_GT(whileAlive, 0);
  owner.reset();
  zip.WriteBuffer(plain.data() + 100000, 100000);
  EXPECT_EQ(calls, whileAlive);
}

TEST(CompressionStream, AppendsAtItsStartPositionWhateverTheCallerDoesToTheDestination) {
  TMemoryStream dest;
  Fill(dest, "0123456789");
  dest.SetPosition(10);
  const std::string plain = RandomBytes(200000, 9);
  {
    TCompressionStream zip(6, dest);
    zip.WriteBuffer(plain.data(), 100000);  // a block reaches dest
    dest.SetPosition(0);
    zip.WriteBuffer(plain.data() + 100000, 100000);
    dest.SetPosition(3);
  }
  const std::string all = dest.DataString();
  EXPECT_EQ(all.substr(0, 10), "0123456789");
  EXPECT_EQ(ZlibUncompress(all.substr(10), plain.size()), plain);
}

TEST(CompressionStream, RateComparesCompressedToPlainBytes) {
  struct {
    const char* Name;
    std::string Plain;
    bool Shrinks;
  } cases[] = {{"text", TextBytes(50000, 2), true}, {"random", RandomBytes(50000, 2), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream dest;
    TCompressionStream zip(9, dest);
    EXPECT_EQ(zip.CompressionRate(), 0.0f);
    zip.WriteBuffer(c.Plain.data(), static_cast<int64_t>(c.Plain.size()));
    zip.Finish();
    const double expected =
        (1.0 - static_cast<double>(dest.Size()) / static_cast<double>(c.Plain.size())) * 100.0;
    EXPECT_FLOAT_EQ(zip.GetCompressionRate(), static_cast<float>(expected));
    EXPECT_EQ(zip.CompressionRate() > 0, c.Shrinks);
  }
}

TEST(CompressionStream, AFullDestinationReachesFinishAndNotTheDestructor) {
  const std::string plain = RandomBytes(1000, 4);
  {
    // The data fits in the buffer; the destination refuses it on Finish.
    TLimitedStream dest(100);
    TCompressionStream zip(6, dest);
    zip.WriteBuffer(plain.data(), 1000);
    EXPECT_THROW(zip.Finish(), EWriteError);
    EXPECT_TRUE(zip.Finished());
    EXPECT_NO_THROW(zip.Finish());  // once only
    ExpectZlibError<ELQCompressError>([&] { zip.Write("x", 1); }, kInvalid, 0);
  }
  {
    // Never finished explicitly: the destructor swallows the same error.
    TLimitedStream dest(100);
    auto zip = std::make_unique<TCompressionStream>(6, dest);
    zip->WriteBuffer(plain.data(), 1000);
    EXPECT_NO_THROW(zip.reset());
    EXPECT_EQ(dest.Size(), 100);
  }
  {
    // The destination fills up while writing: Write raises the platform's
    // error, and destroying the stream afterwards is still safe.
    TLimitedStream dest(70000);
    auto zip = std::make_unique<TCompressionStream>(0, dest);
    const std::string big = RandomBytes(200000, 4);
    EXPECT_THROW(zip->WriteBuffer(big.data(), 200000), EWriteError);
    EXPECT_NO_THROW(zip.reset());
  }
}

// ------------------------------------------------------ decompression

TEST(DecompressionStream, EmptySourceReadsNothing) {
  TMemoryStream source;
  TDecompressionStream unzip(source);
  char buf[16];
  EXPECT_EQ(unzip.Read(buf, 16), 0);
  EXPECT_EQ(unzip.Position(), 0);
}

TEST(DecompressionStream, StartsAtTheSourcePositionAndFiresProgressPerRefill) {
  const std::string plain = RandomBytes(300000, 6);
  const std::string compressed = ZlibCompress(plain, 6);
  TMemoryStream source;
  Fill(source, "prefix" + compressed);
  source.SetPosition(6);
  TDecompressionStream unzip(source);
  int progress = 0;
  unzip.SetOnProgress(TNotifyEvent([&](TObject* sender) {
    EXPECT_EQ(sender, &unzip);
    ++progress;
  }));
  // Asking for more than there is reads the compressed data to its end.
  std::string out(plain.size() + 1, '\0');
  EXPECT_EQ(unzip.Read(out.data(), static_cast<int32_t>(out.size())),
            static_cast<int32_t>(plain.size()));
  EXPECT_EQ(out.substr(0, plain.size()), plain);
  EXPECT_EQ(progress, static_cast<int>((compressed.size() + 65535) / 65536));
}

TEST(DecompressionStream, ReadsOnWhereItLeftOffWhenTheCallerMovesTheSource) {
  const std::string plain = RandomBytes(300000, 8);
  TMemoryStream source;
  Fill(source, ZlibCompress(plain, 1));
  TDecompressionStream unzip(source);
  std::string out(plain.size(), '\0');
  unzip.ReadBuffer(out.data(), 100000);
  source.SetPosition(0);
  unzip.ReadBuffer(out.data() + 100000, 200000);
  EXPECT_EQ(out, plain);
}

TEST(DecompressionStream, SeeksQueryForwardAndRewindOnly) {
  const std::string plain = TextBytes(100000, 3);
  TMemoryStream source;
  Fill(source, ZlibCompress(plain, 6));
  TDecompressionStream unzip(source);
  char buf[16];
  unzip.ReadBuffer(buf, 10);
  EXPECT_EQ(unzip.Seek(0, soFromCurrent), 10);

  // Backward, in place, from the end, unknown origins.
  for (auto [offset, origin] : std::vector<std::pair<int64_t, int32_t>>{
           {10, soFromBeginning}, {5, soFromBeginning}, {-1, soFromCurrent},
           {0, soFromEnd}, {0, 3}}) {
    SCOPED_TRACE(std::to_string(offset) + "/" + std::to_string(origin));
    ExpectZlibError<ELQDecompressError>([&] { unzip.Seek(offset, origin); }, kInvalid, 0);
  }
  ExpectZlibError<ELQDecompressError>([&] { unzip.Size(); }, kInvalid, 0);
  ExpectZlibError<ELQDecompressError>([&] { unzip.Write("x", 1); }, kInvalid, 0);

  // Forward from the beginning and from the current position, across
  // several 4096-byte skips and a remainder.
  EXPECT_EQ(unzip.Seek(20, soFromBeginning), 20);
  unzip.ReadBuffer(buf, 1);
  EXPECT_EQ(buf[0], plain[20]);
  EXPECT_EQ(unzip.Seek(12345, soFromCurrent), 12366);
  unzip.ReadBuffer(buf, 1);
  EXPECT_EQ(buf[0], plain[12366]);

  // Rewind, then past the end of the plain data.
  EXPECT_EQ(unzip.Seek(0, soFromBeginning), 0);
  unzip.ReadBuffer(buf, 16);
  EXPECT_EQ(std::string(buf, 16), plain.substr(0, 16));
  EXPECT_THROW(unzip.Seek(200000, soFromBeginning), EReadError);
}

TEST(DecompressionStream, RewindAfterTheEndStartsOverFromSourcePositionZero) {
  TMemoryStream source;
  Fill(source, kHelloLevel6);
  TDecompressionStream unzip(source);
  char buf[64];
  EXPECT_EQ(unzip.Read(buf, 64), static_cast<int32_t>(kHello.size()));
  EXPECT_EQ(unzip.Read(buf, 64), 0);
  unzip.SetPosition(0);
  EXPECT_EQ(unzip.Read(buf, 64), static_cast<int32_t>(kHello.size()));
  EXPECT_EQ(std::string(buf, kHello.size()), kHello);
}

TEST(DecompressionStream, StopsAtTheEndOfTheDataAndHandsTheRestBack) {
  // Bytes behind the compressed data are never delivered, the reads do not
  // loop, and destroying the stream leaves the source right behind the data.
  for (size_t plainSize : {size_t{23}, size_t{200000}}) {
    SCOPED_TRACE(plainSize);
    const std::string plain = plainSize == 23 ? kHello : RandomBytes(plainSize, 1);
    const std::string compressed = ZlibCompress(plain, 6);
    TMemoryStream source;
    Fill(source, compressed + "TRAILING BYTES");
    {
      TDecompressionStream unzip(source);
      std::string out(plain.size() + 100, '\0');
      int32_t got = -1;
      int32_t again = -1;
      MustReturn([&] {
        got = unzip.Read(out.data(), static_cast<int32_t>(out.size()));
        again = unzip.Read(out.data(), 10);
      });
      EXPECT_EQ(got, static_cast<int32_t>(plain.size()));
      EXPECT_EQ(out.substr(0, plain.size()), plain);
      EXPECT_EQ(again, 0);
    }
    EXPECT_EQ(source.Position(), static_cast<int64_t>(compressed.size()));
  }
}

TEST(DecompressionStream, HandsBackExactlyTheReadAheadZlibDidNotUse) {
  const std::string compressed = ZlibCompress(RandomBytes(300000, 2), 6);
  TMemoryStream source;
  Fill(source, compressed);
  {
    TDecompressionStream unzip(source);
    char buf[10];
    unzip.ReadBuffer(buf, 10);
    EXPECT_EQ(source.Position(), 65536);  // read ahead one whole buffer
  }
  // The same single inflate call made directly on zlib.
  z_stream z{};
  ASSERT_EQ(inflateInit(&z), Z_OK);
  char out[10];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = 65536;
  z.next_out = reinterpret_cast<Bytef*>(out);
  z.avail_out = 10;
  ASSERT_EQ(inflate(&z, Z_NO_FLUSH), Z_OK);
  EXPECT_EQ(source.Position(), static_cast<int64_t>(65536 - z.avail_in));
  inflateEnd(&z);
}

TEST(DecompressionStream, TruncatedDataGivesAShortCountAndLeavesTheSourceAtItsEnd) {
  const std::string plain = TextBytes(200000, 4);
  const std::string compressed = ZlibCompress(plain, 6);
  const std::string cut = compressed.substr(0, compressed.size() / 2);
  TMemoryStream source;
  Fill(source, cut);
  {
    TDecompressionStream unzip(source);
    std::string out(plain.size(), '\0');
    int32_t got = unzip.Read(out.data(), static_cast<int32_t>(out.size()));
    EXPECT_GT(got, 0);
    EXPECT_LT(got, static_cast<int32_t>(plain.size()));
    EXPECT_EQ(out.substr(0, static_cast<size_t>(got)), plain.substr(0, static_cast<size_t>(got)));
  }
  EXPECT_EQ(source.Position(), static_cast<int64_t>(cut.size()));
}

TEST(DecompressionStream, BadDataRaisesWithZlibsCode) {
  std::string badTrailer = kHelloLevel6;
  badTrailer.back() ^= 1;
  std::string badBlock = ZlibCompress(TextBytes(5000, 1), 6);
  badBlock[2] = static_cast<char>(0xFF);  // reserved block type 11
  struct {
    const char* Name;
    std::string Data;
    int32_t Code;
  } cases[] = {
      {"header check bits", FromHex("789d") + kHelloLevel6.substr(2), Z_DATA_ERROR},
      {"not deflate", FromHex("7f9c") + kHelloLevel6.substr(2), Z_DATA_ERROR},
      {"adler-32", badTrailer, Z_DATA_ERROR},
      {"block type", badBlock, Z_DATA_ERROR},
      // No dictionary can be supplied; this must raise rather than loop.
      {"preset dictionary", kHelloWithDictionary, Z_STREAM_ERROR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream source;
    Fill(source, c.Data);
    TDecompressionStream unzip(source);
    std::string out(10000, '\0');
    ExpectZlibError<ELQDecompressError>(
        [&] { MustReturn([&] { unzip.Read(out.data(), 10000); }); }, "error", c.Code);
  }
}

}  // namespace
}  // namespace limpet
