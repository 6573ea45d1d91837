#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "CipUtils.h"
#include "TestSupport.h"

namespace limpet {

namespace identity {
// A class that only carries the name whose identity is known.
class THash_MD4 : public TProtection {
  LIMPET_CLASS_AS(THash_MD4, TProtectionClass)
};
LIMPET_DEFINE_CLASS_AS(THash_MD4, TProtection, TProtectionClass, TProtectionClassOf<THash_MD4>)
}  // namespace identity

namespace {

using TLog = std::vector<std::string>;

// A protection that records the protocol calls and codes bytes reversibly:
// by adding its key, or (Xor) by XORing it. Fail* make a call raise.
class TTrace : public TProtection {
  LIMPET_CLASS_AS(TTrace, TProtectionClass)
 public:
  static inline int Alive = 0;
  static inline TLog* DestroyLog = nullptr;

  explicit TTrace(TProtection* link = nullptr) : TProtection(link) { ++Alive; }
  TTrace(std::string name, uint8_t key, bool useXor, TLog* log, TProtection* link = nullptr)
      : TProtection(link), Name(std::move(name)), Key(key), Xor(useXor), Log(log) {
    ++Alive;
  }

  std::string Name = "t";
  uint8_t Key = 1;
  bool Xor = false;
  TLog* Log = nullptr;
  int FailBufAt = 0;  // raise in the n-th CodeBuf (1-based); 0 never
  bool FailInit = false;
  int Bufs = 0;

  void CodeInit(TPAction a) override {
    Note("init");
    if (FailInit) throw EProtection("init failed");
    TProtection::CodeInit(a);
  }
  void CodeBuf(void* buffer, int32_t size, TPAction a) override {
    if (a != paDecode) TProtection::CodeBuf(buffer, size, a);
    if (++Bufs == FailBufAt) throw EProtection("coding failed");
    if (Actions().Contains(a)) {
      Note("buf" + std::to_string(size));
      auto* p = static_cast<uint8_t*>(buffer);
      for (int32_t i = 0; i < size && a != paCalc; ++i) {
        if (Xor) {
          p[i] ^= Key;
        } else {
          p[i] = static_cast<uint8_t>(a == paDecode ? p[i] - Key : p[i] + Key);
        }
      }
    }
    if (a == paDecode) TProtection::CodeBuf(buffer, size, a);
  }
  void CodeDone(TPAction a) override {
    TProtection::CodeDone(a);
    Note("done");
  }

 protected:
  ~TTrace() override {
    --Alive;
    if (DestroyLog != nullptr) DestroyLog->push_back(Name);
  }

 private:
  void Note(const std::string& what) {
    if (Log != nullptr) Log->push_back(Name + "." + what);
  }
};

}  // namespace

LIMPET_DEFINE_CLASS_AS(TTrace, TProtection, TProtectionClass, TProtectionClassOf<TTrace>)

namespace {

bool Alive(const void* p) { return IsObject(p, TProtection::Class()); }

class ProtectionTest : public ::testing::Test {
 protected:
  void SetUp() override { TTrace::Alive = 0; }
  void TearDown() override {
    Progress = TProgressEvent();
    TTrace::DestroyLog = nullptr;
    EXPECT_EQ(TTrace::Alive, 0) << "objects leaked or destroyed twice";
  }
  TLog Log;
};

// ------------------------------------------------------------ class level

TEST(ProtectionClass, IdentityDependsOnTheNameAndTheBase) {
  EXPECT_EQ(TProtection::Class()->Identity(), 0x2006);
  EXPECT_EQ(identity::THash_MD4::Class()->Identity(), 0x6678);
  const uint16_t saved = IdentityBase;
  IdentityBase = 0;
  EXPECT_NE(TProtection::Class()->Identity(), 0x2006);
  IdentityBase = saved;
}

TEST_F(ProtectionTest, DescriptorsCreateLinkedInstances) {
  TProtection* link = TTrace::Class()->Create(nullptr);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->ClassType(), TTrace::Class());
  TProtection* head = TProtection::Class()->Create(link);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->ClassType(), TProtection::Class());
  EXPECT_EQ(head->GetProtection(), link);
  EXPECT_EQ(link->RefCount(), 1);
  head->Free();  // takes the link with it
  EXPECT_FALSE(Alive(link));

  TObject* made = TTrace::Class()->CreateInstance();
  ASSERT_NE(made, nullptr);
  made->Free();
}

// ------------------------------------------------------------ counting

TEST_F(ProtectionTest, LinkedObjectCannotBeFreedDirectly) {
  auto* head = new TTrace();
  auto* link = new TTrace();
  EXPECT_EQ(link->RefCount(), 0);
  head->SetProtection(link);
  EXPECT_EQ(link->RefCount(), 1);
  EXPECT_THROW(link->Free(), EInvalidPointer);
  EXPECT_TRUE(Alive(link));
  EXPECT_EQ(link->RefCount(), 1);

  head->SetProtection(link);  // the same link again: nothing changes
  EXPECT_EQ(link->RefCount(), 1);

  head->SetProtection(nullptr);  // held by nobody else: destroyed
  EXPECT_FALSE(Alive(link));
  head->Free();
}

TEST_F(ProtectionTest, CreatorsReferenceSurvivesUnlinking) {
  TRef<TTrace> link = MakeRef<TTrace>();
  {
    TRef<TTrace> head = MakeRef<TTrace>(link.Get());
    EXPECT_EQ(link->RefCount(), 2);
  }
  EXPECT_EQ(link->RefCount(), 1);
  EXPECT_TRUE(Alive(link.Get()));
}

TEST_F(ProtectionTest, AddRefAndReleaseAcceptNullAndDanglingPointers) {
  EXPECT_EQ(TProtection::AddRef(nullptr), 0);
  EXPECT_EQ(TProtection::Release(nullptr), 0);
  auto* p = new TTrace();
  EXPECT_EQ(TProtection::AddRef(p), 1);
  EXPECT_EQ(TProtection::AddRef(p), 2);
  EXPECT_EQ(TProtection::Release(p), 1);
  EXPECT_EQ(TProtection::Release(p), 0);  // destroyed
  EXPECT_FALSE(Alive(p));
  EXPECT_EQ(TProtection::AddRef(p), 0);
  EXPECT_EQ(TProtection::Release(p), 0);
}

TEST_F(ProtectionTest, DestroyingTheHeadDestroysTheChainFromTheHead) {
  TLog destroyed;
  TTrace::DestroyLog = &destroyed;
  auto* z = new TTrace("z", 1, false, nullptr);
  auto* y = new TTrace("y", 1, false, nullptr, z);
  auto* x = new TTrace("x", 1, false, nullptr, y);
  x->Free();
  EXPECT_EQ(destroyed, (TLog{"x", "y", "z"}));
}

TEST_F(ProtectionTest, RelinkingToAnObjectReachableOnlyThroughTheOldLink) {
  auto* z = new TTrace("z", 1, false, nullptr);
  auto* y = new TTrace("y", 1, false, nullptr, z);
  auto* x = new TTrace("x", 1, false, nullptr, y);
  x->SetProtection(z);  // y goes, z stays
  EXPECT_FALSE(Alive(y));
  ASSERT_TRUE(Alive(z));
  EXPECT_EQ(z->RefCount(), 1);
  EXPECT_EQ(x->GetProtection(), z);
  x->Free();
}

TEST_F(ProtectionTest, CircularLinksAreRefusedAndChangeNothing) {
  auto* y = new TTrace();
  auto* x = new TTrace(y);
  try {
    x->SetProtection(x);
    ADD_FAILURE() << "no EProtection";
  } catch (const EProtection& e) {
    EXPECT_EQ(e.Message(), "Circular Protection detected, Protection Object is invalid.");
  }
  EXPECT_THROW(y->SetProtection(x), EProtection);
  EXPECT_EQ(x->GetProtection(), y);
  EXPECT_EQ(y->GetProtection(), nullptr);
  EXPECT_EQ(x->RefCount(), 0);
  EXPECT_EQ(y->RefCount(), 1);
  x->Free();
}

TEST_F(ProtectionTest, ALinkThatIsGoneIsDroppedWithoutReleasing) {
  auto* link = new TTrace();
  auto* head = new TTrace(link);
  TProtection::Release(link);  // an extra release destroys it behind head's back
  EXPECT_EQ(head->GetProtection(), nullptr);
  std::string data = "abc";
  head->CodeBuffer(data.data(), 3, paEncode);  // codes as if unlinked
  EXPECT_EQ(data, "bcd");
  head->Free();

  auto* link2 = new TTrace();
  auto* head2 = new TTrace(link2);
  TProtection::Release(link2);
  head2->Free();  // the dangling link is not released again
}

// ------------------------------------------------------------ protocol

class Chain : public ProtectionTest {
 protected:
  void SetUp() override {
    ProtectionTest::SetUp();
    z = new TTrace("z", 0x0F, true, &Log);
    y = new TTrace("y", 0xF0, true, &Log, z);
    x = new TTrace("x", 3, false, &Log, y);
  }
  void TearDown() override {
    x->Free();
    ProtectionTest::TearDown();
  }
  TTrace *x, *y, *z;
};

TEST_F(Chain, EncodingRunsFromTheEndDecodingFromTheHead) {
  std::string data = "\x10\x20";
  EXPECT_EQ(x->CodeBuffer(data.data(), 2, paEncode), 2);
  EXPECT_EQ(Log, (TLog{"x.init", "y.init", "z.init", "z.buf2", "y.buf2", "x.buf2", "z.done", "y.done",
                       "x.done"}));
  // z then y XOR with 0xFF, then x adds 3.
  EXPECT_EQ(data, std::string("\xF2\xE2", 2));
  Log.clear();
  x->CodeBuffer(data.data(), 2, paDecode);
  EXPECT_EQ(Log, (TLog{"x.init", "y.init", "z.init", "x.buf2", "y.buf2", "z.buf2", "z.done", "y.done",
                       "x.done"}));
  EXPECT_EQ(data, "\x10\x20");
}

TEST_F(Chain, ActionsOutsideTheSetSkipOwnCodingButStillPassOn) {
  y->SetActions(TPActions::All().Exclude(paEncode));
  EXPECT_FALSE(y->Actions().Contains(paEncode));
  std::string data = "\x10";
  x->CodeBuffer(data.data(), 1, paEncode);
  EXPECT_EQ(Log, (TLog{"x.init", "y.init", "z.init", "z.buf1", "x.buf1", "z.done", "y.done", "x.done"}));
  EXPECT_EQ(data, "\x22");
}

TEST_F(Chain, CodeBufferCompletesTheProtocolWhenCodingRaises) {
  z->FailBufAt = 1;
  std::string data = "a";
  EXPECT_THROW(x->CodeBuffer(data.data(), 1, paEncode), EProtection);
  EXPECT_EQ(Log, (TLog{"x.init", "y.init", "z.init", "z.done", "y.done", "x.done"}));
}

// ------------------------------------------------------------ streams

TMemoryStream* StreamOf(const std::string& bytes) {
  auto* s = new TMemoryStream();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

std::string Content(TMemoryStream& s) { return s.DataString(); }

std::string Added(const std::string& s, int k) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(c + k);
  return out;
}

using TProgressLog = std::vector<std::pair<int32_t, int32_t>>;

TEST_F(ProtectionTest, StreamBlocksAndProgress) {
  TRef<TTrace> p = MakeRef<TTrace>("p", 1, false, &Log);
  TProgressLog progress;
  TObject* sender = nullptr;
  Progress = TProgressEvent([&](TObject* s, int32_t c, int32_t m) {
    sender = s;
    progress.emplace_back(c, m);
  });
  const std::string data = test::RandomBytes(10000, 5);
  std::unique_ptr<TMemoryStream> src(StreamOf(data));
  TMemoryStream dst;
  p->CodeStream(src.get(), &dst, 10000, paEncode);
  EXPECT_EQ(progress, (TProgressLog{{0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}, {0, 0}}));
  EXPECT_EQ(sender, p.Get());
  EXPECT_EQ(Log, (TLog{"p.init", "p.buf4096", "p.buf4096", "p.buf1808", "p.done"}));
  EXPECT_EQ(Content(dst), Added(data, 1));
  EXPECT_EQ(Content(*src), data);
}

TEST_F(ProtectionTest, StreamSizesPositionsAndInPlace) {
  TRef<TTrace> p = MakeRef<TTrace>("p", 1, false, &Log);
  const std::string data = "0123456789";

  // Negative size: the whole source from position 0, coded in place.
  std::unique_ptr<TMemoryStream> s(StreamOf(data));
  s->SetPosition(4);
  p->CodeStream(s.get(), nullptr, -1, paEncode);
  EXPECT_EQ(Content(*s), Added(data, 1));

  // From the current positions of both streams; larger size stops at the end.
  s.reset(StreamOf(data));
  s->SetPosition(6);
  TMemoryStream dst;
  dst.WriteBuffer("xy", 2);
  p->CodeStream(s.get(), &dst, 100, paEncode);
  EXPECT_EQ(Content(dst), "xy" + Added("6789", 1));
  EXPECT_EQ(dst.Position(), 6);

  // Size 0: the protocol and progress, no read.
  TProgressLog progress;
  Progress = TProgressEvent([&](TObject*, int32_t c, int32_t m) { progress.emplace_back(c, m); });
  Log.clear();
  s.reset(StreamOf(data));
  p->CodeStream(s.get(), nullptr, 0, paEncode);
  EXPECT_EQ(Log, (TLog{"p.init", "p.done"}));
  EXPECT_EQ(progress, (TProgressLog{{0, 0}, {0, 0}}));
  EXPECT_EQ(Content(*s), data);

  // No source: nothing at all.
  Log.clear();
  progress.clear();
  p->CodeStream(nullptr, &dst, -1, paEncode);
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(progress.empty());
}

TEST_F(ProtectionTest, CalcNeverTouchesTheDestination) {
  TRef<TTrace> p = MakeRef<TTrace>("p", 1, false, &Log);
  std::unique_ptr<TMemoryStream> s(StreamOf(std::string(5000, 'a')));
  TMemoryStream dst;
  dst.WriteBuffer("keep", 4);
  p->CodeStream(s.get(), &dst, -1, paCalc);
  EXPECT_EQ(Content(dst), "keep");
  EXPECT_EQ(dst.Position(), 4);
  EXPECT_EQ(Log, (TLog{"p.init", "p.buf4096", "p.buf904", "p.done"}));
}

TEST_F(ProtectionTest, StreamErrorsFinishTheProtocol) {
  TRef<TTrace> p = MakeRef<TTrace>("p", 1, false, &Log);
  p->FailBufAt = 2;
  TProgressLog progress;
  Progress = TProgressEvent([&](TObject*, int32_t c, int32_t m) { progress.emplace_back(c, m); });
  const std::string data(5000, 'a');
  std::unique_ptr<TMemoryStream> s(StreamOf(data));
  TMemoryStream dst;
  EXPECT_THROW(p->CodeStream(s.get(), &dst, -1, paEncode), EProtection);
  EXPECT_EQ(Log, (TLog{"p.init", "p.buf4096", "p.done"}));
  EXPECT_EQ(progress, (TProgressLog{{0, 5000}, {4096, 5000}, {0, 0}}));
  EXPECT_EQ(Content(dst), std::string(4096, 'b'));  // the first block stays written

  Log.clear();
  p->FailInit = true;
  EXPECT_THROW(p->CodeStream(s.get(), &dst, -1, paEncode), EProtection);
  EXPECT_EQ(Log, (TLog{"p.init"}));  // no CodeDone after a failed CodeInit
}

// ------------------------------------------------------------ strings

TEST_F(ProtectionTest, CodeStringFormatsResultsAndParsesDecodeInput) {
  TRef<TTrace> p = MakeRef<TTrace>("p", 1, false, &Log);
  EXPECT_EQ(p->CodeString("", paEncode, fmtHEX), "");
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(p->CodeString("AB", paEncode, fmtHEX), "4243");
  EXPECT_EQ(p->CodeString("4243", paDecode, fmtHEX), "AB");
  EXPECT_EQ(p->CodeString("AB", paCalc, fmtHEX), "4142");
  EXPECT_EQ(p->CodeString("AB", paEncode, fmtDEFAULT), "QkM=");
  EXPECT_EQ(p->CodeString("AB", paEncode, fmtCOPY), "BC");
  for (TPAction a : {paEncode, paDecode, paScramble, paCalc, paWipe}) {
    EXPECT_EQ(p->CodeString("AB", a, fmtNONE), "") << int(a);
  }
  EXPECT_THROW(p->CodeString("4G", paDecode, fmtHEX), EStringFormat);
  EXPECT_THROW(p->CodeString("AB", paEncode, 99), EStringFormat);
}

// ------------------------------------------------------------ files

class Files : public ProtectionTest {
 protected:
  test::TTempDir Dir;
  TRef<TTrace> P = MakeRef<TTrace>("p", 1, false, &Log);
  const std::string Data = test::RandomBytes(9000, 11);
};

TEST_F(Files, SeparateDestinationIsCreatedAndCut) {
  const std::string src = Dir.File("src"), dst = Dir.File("dst");
  test::WriteFileBytes(src, Data);
  test::WriteFileBytes(dst, std::string(20000, 'z'));  // longer than the result
  P->CodeFile(src, dst, paEncode);
  EXPECT_EQ(test::ReadFileBytes(dst), Added(Data, 1));
  EXPECT_EQ(test::ReadFileBytes(src), Data);
}

TEST_F(Files, BlankDestinationCodesInPlaceExceptForCalc) {
  const std::string src = Dir.File("src");
  test::WriteFileBytes(src, Data);
  P->CodeFile(src, "", paEncode);
  EXPECT_EQ(test::ReadFileBytes(src), Added(Data, 1));
  P->CodeFile(src, " \t ", paDecode);
  EXPECT_EQ(test::ReadFileBytes(src), Data);
  Log.clear();
  P->CodeFile(src, "", paCalc);
  P->CodeFile(src, Dir.File("never"), paCalc);
  EXPECT_EQ(test::ReadFileBytes(src), Data);
  EXPECT_FALSE(test::FileExists(Dir.File("never")));
  EXPECT_EQ(Log.size(), 2u * 5u);  // init, three blocks, done, twice
}

// Two names for one file (a hard link, a path with "..") code it in place:
// the destination is never created over the source.
TEST_F(Files, OneFileUnderTwoNamesIsCodedInPlace) {
  const std::string src = Dir.File("src");
  test::WriteFileBytes(src, Data);
  ASSERT_EQ(::link(src.c_str(), Dir.File("alias").c_str()), 0);
  ASSERT_EQ(::mkdir(Dir.File("sub").c_str(), 0700), 0);
  P->CodeFile(src, Dir.File("alias"), paEncode);
  EXPECT_EQ(test::ReadFileBytes(src), Added(Data, 1));
  P->CodeFile(Dir.File("alias"), Dir.Path() + "/./sub/../src", paDecode);
  EXPECT_EQ(test::ReadFileBytes(src), Data);
}

// Names that differ only in letter case are two files on this file system:
// the source stays as it is and the destination is created.
TEST_F(Files, NamesDifferingInCaseAreTwoFiles) {
  const std::string src = Dir.File("Data.bin"), dst = Dir.File("data.BIN");
  test::WriteFileBytes(src, Data);
  P->CodeFile(src, dst, paEncode);
  EXPECT_EQ(test::ReadFileBytes(src), Data);
  EXPECT_EQ(test::ReadFileBytes(dst), Added(Data, 1));
}

TEST_F(Files, OpenErrorsPropagateAndReleaseTheFiles) {
  EXPECT_THROW(P->CodeFile(Dir.File("missing"), Dir.File("out"), paEncode), EFOpenError);
  EXPECT_FALSE(test::FileExists(Dir.File("out")));
  const std::string src = Dir.File("src");
  test::WriteFileBytes(src, Data);
  EXPECT_THROW(P->CodeFile(src, Dir.File("no/such/dir/out"), paEncode), EFCreateError);
  // Nothing is left open: the source can be opened exclusively.
  TFileStream check(src, fmOpenReadWrite | fmShareExclusive);
  EXPECT_EQ(check.Size(), 9000);
}

TEST_F(Files, CodingErrorLeavesWhatWasWrittenAndClosesBoth) {
  const std::string src = Dir.File("src"), dst = Dir.File("dst");
  test::WriteFileBytes(src, Data);
  test::WriteFileBytes(dst, std::string(20000, 'z'));
  P->FailBufAt = 2;
  EXPECT_THROW(P->CodeFile(src, dst, paEncode), EProtection);
  EXPECT_EQ(test::ReadFileBytes(dst), Added(Data.substr(0, 4096), 1));
  TFileStream a(src, fmOpenReadWrite | fmShareExclusive);
  TFileStream b(dst, fmOpenReadWrite | fmShareExclusive);
}

}  // namespace
}  // namespace limpet
