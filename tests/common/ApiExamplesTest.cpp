// The examples of docs/API.md, kept compiling and working.
#include <gtest/gtest.h>

#include "CipUtils.h"
#include "LQCipher.h"
#include "LQBoundInfo.h"
#include "LQComp.h"
#include "Limpet.h"
#include "TestSupport.h"

namespace limpet {
namespace {

TEST(ApiExamples, Container) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.File("viewer"), "program");
  test::WriteFileBytes(dir.File("kelp.jpg"), "jpeg bytes");

  TLimpet binder;
  binder.SetFileName(dir.File("viewer"));
  auto* entry = new TFileEntry();
  entry->SetFileName(dir.File("kelp.jpg"));
  entry->SetName("kelp.jpg");
  entry->SetID(1);
  entry->SetCompressionLevel(6);
  entry->SetPassword("KelpForest");
  binder.FileList().Add(entry);
  binder.Update();

  TExtractFromEXE extractor;
  extractor.SetFileName(dir.File("viewer"));
  extractor.ExtractToFileList();
  TMemoryStream image;
  extractor.ExtractToStream(extractor.FileList().GetItems(0)->Name(), image, "KelpForest");
  EXPECT_EQ(image.DataString(), "jpeg bytes");
  extractor.ExtractToFile(1, dir.File("kelp-copy.jpg"), "KelpForest");
  EXPECT_EQ(test::ReadFileBytes(dir.File("kelp-copy.jpg")), "jpeg bytes");

  TBoundInfo info = ReadBoundInfo(dir.File("viewer"));
  ASSERT_EQ(info.Entries.size(), 1u);
  EXPECT_EQ(info.Entries[0].Name, "kelp.jpg");
  EXPECT_EQ(info.Entries[0].PlainSize, 10);
  {
    TBoundReader reader(dir.File("viewer"));
    EXPECT_NO_THROW(reader.Verify(0, "KelpForest"));
  }
  StripBoundData(dir.File("viewer"));
  EXPECT_EQ(test::ReadFileBytes(dir.File("viewer")), "program");

  int64_t reported = -1;
  binder.SetOnProgress(TByteProgressEvent([&](TObject*, int64_t done, int64_t) { reported = done; }));
  binder.Update();
  EXPECT_EQ(reported, 10);
}

TEST(ApiExamples, CompressionAndCrypto) {
  TMemoryStream data;
  const std::string text = test::TextBytes(10000, 1);
  data.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  const int32_t plainSize = static_cast<int32_t>(data.Size());
  CompressStream(9, data);
  EXPECT_LT(data.Size(), plainSize);
  DecompressStream(plainSize, data);
  EXPECT_EQ(data.DataString(), text);

  TMemoryStream packed;
  {
    TCompressionStream z(6, packed);
    z.WriteBuffer("hello", 5);
    z.Finish();
  }
  DecompressStream(5, packed);
  EXPECT_EQ(packed.DataString(), "hello");

  EXPECT_EQ(THash_MD4::CalcString("abc", nullptr, fmtHEX), "A448017AAF21D8525FC10AE87AA6729D");
  const THashClass* cls = THash_MD4::Class();
  EXPECT_EQ(cls->DigestKeySize(), 16);

  auto cipher = MakeRef<TCipher_Blowfish>();
  cipher->SetMode(cmCBC);
  cipher->InitKey("password", nullptr);
  std::string secret = cipher->EncodeString("attack at dawn");
  std::string text64 = StrToFormat(secret, fmtMIME64);
  EXPECT_EQ(FormatToStr(text64, fmtMIME64), secret);

  EncryptStream("KelpForest", data);
  EXPECT_EQ(data.Size(), plainSize + 4);
  DecryptStream("KelpForest", data);
  EXPECT_EQ(data.DataString(), text);
}

}  // namespace
}  // namespace limpet
