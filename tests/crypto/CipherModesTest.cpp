// The eight modes of TCipher, run with Blowfish: known answers, round
// trips, continuation across calls, the MAC modes and CalcMAC.
//
// The known answers come from make_cipher_vectors.py: the modes written out
// from their definitions over OpenSSL's Blowfish block operation.
#include <functional>

#include "CipherTestSupport.h"

namespace limpet {
namespace {

using namespace cipher_test;
using test::FromHex;
using test::ToHex;

const std::string kKey = FromHex("01 23 45 67 89 AB CD EF F0 E1 D2 C3 B4 A5 96 87");
const std::string kIV = FromHex("A1 B2 C3 D4 E5 F6 07 18");
const std::string kMessage = "Limpet binds files to an EXE!";  // three blocks and five bytes

TRef<TCipher_Blowfish> Fresh(TCipherMode mode, const std::string& iv = kIV) {
  auto c = MakeRef<TCipher_Blowfish>();
  c->SetMode(mode);
  c->Init(kKey.data(), static_cast<int32_t>(kKey.size()), iv.empty() ? nullptr : iv.data());
  return c;
}

// Codes `data` in consecutive calls of the given sizes.
std::string InPieces(TCipher& c, const std::string& data, std::initializer_list<size_t> sizes, bool encode) {
  std::string out;
  size_t pos = 0;
  for (size_t n : sizes) {
    const std::string piece = data.substr(pos, n);
    out += encode ? Encode(c, piece) : Decode(c, piece);
    pos += n;
  }
  return out;
}

struct TModeCase {
  TCipherMode Mode;
  const char* Name;
  const char* Expected;
};

const TModeCase kModes[] = {
    {cmCTS, "cmCTS", "0C 7F DB 78 C7 CE F6 AD ED 6C 35 03 55 CC 0B A2 83 B3 15 05 68 70 69 49 53 78 8F 1C A9"},
    {cmCBC, "cmCBC", "0C 7F DB 78 C7 CE F6 AD 67 90 6D 43 C0 F4 81 C4 F5 B2 41 DA 31 8C 3F E3 5D 8A A5 82 B6"},
    {cmCFB, "cmCFB", "90 E6 17 0F 0C D1 7D 47 DC 48 D1 F6 E8 F3 0D 6A F4 9A B2 7A EF B8 63 FC CA 90 DF 2B FF"},
    {cmOFB, "cmOFB", "90 72 4E B2 69 E4 A8 41 23 6F B2 F8 C9 DF B5 AF 79 05 96 6E 46 41 F1 1B 00 95 42 C3 67"},
    {cmECB, "cmECB", "77 CD 92 4A 4B D5 4D A4 A1 39 12 05 32 D2 00 A8 7C 4D 91 89 FA F1 4A 19 63 79 DA 3C EB"},
};

// Every mode gives the known bytes and decodes them back, apart from the
// ECB tail, which by design does not come back.
TEST(CipherModes, KnownAnswersAndRoundTrips) {
  for (const auto& m : kModes) {
    SCOPED_TRACE(m.Name);
    EXPECT_EQ(ToHex(Encode(*Fresh(m.Mode), kMessage)), m.Expected);
    // In place, through the string routines.
    EXPECT_EQ(ToHex(Fresh(m.Mode)->EncodeString(kMessage)), m.Expected);
    std::string inPlace = kMessage;
    Fresh(m.Mode)->EncodeBuffer(inPlace.data(), inPlace.data(), 29);
    EXPECT_EQ(ToHex(inPlace), m.Expected);

    const std::string back = Decode(*Fresh(m.Mode), FromHex(m.Expected));
    if (m.Mode == cmECB) {
      EXPECT_EQ(back.substr(0, 24), kMessage.substr(0, 24));
      EXPECT_NE(back.substr(24), kMessage.substr(24));
    } else {
      EXPECT_EQ(back, kMessage);
    }
  }
}

// Each call continues from the feedback block the previous one left. In
// cmCTS and cmCBC the pieces must be whole blocks except the last; cmCFB and
// cmOFB accept any split.
TEST(CipherModes, CallsContinueTheChaining) {
  const std::string plain = test::RandomBytes(101, 3);
  for (TCipherMode mode : {cmCTS, cmCBC, cmCFB, cmOFB, cmECB}) {
    SCOPED_TRACE(int(mode));
    const std::string whole = Encode(*Fresh(mode), plain);
    EXPECT_EQ(InPieces(*Fresh(mode), plain, {8, 16, 40, 37}, true), whole);
    EXPECT_EQ(InPieces(*Fresh(mode), whole, {16, 8, 72, 5}, false).substr(0, 96), plain.substr(0, 96));
    if (mode == cmCFB || mode == cmOFB) {
      EXPECT_EQ(InPieces(*Fresh(mode), plain, {1, 6, 13, 30, 51}, true), whole);
      EXPECT_EQ(InPieces(*Fresh(mode), whole, {5, 9, 87}, false), plain);
    }
    if (mode == cmCTS || mode == cmCBC) {
      EXPECT_NE(InPieces(*Fresh(mode), plain, {5, 96}, true), whole);
    }
  }
}

// In cmCTS and cmCBC a message shorter than a block is the message XOR the
// start of E(V).
TEST(CipherModes, ShortMessageIsXoredWithTheEncryptedVector) {
  std::string ev = kIV;
  Fresh(cmECB)->Encode(ev.data());
  const std::string plain = "short";
  std::string expected = plain;
  XORBuffers(expected.data(), ev.data(), 5, expected.data());
  EXPECT_EQ(Encode(*Fresh(cmCTS), plain), expected);
  EXPECT_EQ(Encode(*Fresh(cmCBC), plain), expected);
}

// Without an initial vector it is the encryption of an all-0xFF block.
TEST(CipherModes, InitialVectorDefaultsToTheEncryptedFFBlock) {
  auto c = Fresh(cmCTS, "");
  std::string ff(8, '\xFF');
  Fresh(cmECB)->Encode(ff.data());
  EXPECT_EQ(Str(c->InitVector(), 8), ff);
  EXPECT_EQ(Str(c->FeedbackBlock(), 8), ff);
}

TEST(CipherModes, DoneReturnsTheFeedbackToTheInitialVector) {
  auto c = Fresh(cmCTS);
  const std::string first = Encode(*c, kMessage);
  EXPECT_NE(Str(c->FeedbackBlock(), 8), kIV);
  EXPECT_NE(Encode(*c, kMessage), first);
  c->Done();
  EXPECT_EQ(Str(c->FeedbackBlock(), 8), kIV);
  EXPECT_EQ(Encode(*c, kMessage), first);
}

// Buffers that partly overlap code like separate ones.
TEST(CipherModes, PartlyOverlappingBuffers) {
  for (TCipherMode mode : {cmCTS, cmCBC, cmCFB, cmECB}) {
    const std::string plain = test::RandomBytes(40, 4);
    const std::string expected = Encode(*Fresh(mode), plain);
    std::string room = plain + std::string(3, '\0');
    Fresh(mode)->EncodeBuffer(room.data(), room.data() + 3, 40);
    EXPECT_EQ(room.substr(3), expected) << int(mode);
    room = std::string(3, '\0') + plain;
    Fresh(mode)->EncodeBuffer(room.data() + 3, room.data(), 40);
    EXPECT_EQ(room.substr(0, 40), expected) << int(mode);
  }
}

// ------------------------------------------------------------ MAC

struct TMACCase {
  TCipherMode Mode;
  TCipherMode Twin;
  const char* Expected;  // CalcMAC after kMessage
};

const TMACCase kMACs[] = {
    {cmCTSMAC, cmCTS, "4710D95FF9DB0017"},
    {cmCBCMAC, cmCBC, "D9E0030D0253E7F2"},
    {cmCFBMAC, cmCFB, "64055886B03C3261"},
};

// A MAC mode writes nothing and gives the same code as its twin, which
// also writes its output; decoding advances the MAC exactly as encoding.
TEST(CipherMAC, MACModesAgreeWithTheirTwins) {
  for (const auto& m : kMACs) {
    SCOPED_TRACE(int(m.Mode));
    auto mac = Fresh(m.Mode);
    std::string untouched(29, 'z');
    mac->EncodeBuffer(kMessage.data(), untouched.data(), 29);
    EXPECT_EQ(untouched, std::string(29, 'z'));
    EXPECT_EQ(mac->CalcMAC(fmtHEX), m.Expected);

    auto twin = Fresh(m.Twin);
    EXPECT_EQ(Encode(*twin, kMessage).size(), 29u);
    EXPECT_EQ(twin->CalcMAC(fmtHEX), m.Expected);

    auto decoding = Fresh(m.Mode);
    EXPECT_EQ(decoding->DecodeString(kMessage), "");
    EXPECT_EQ(decoding->CalcMAC(fmtCOPY), FromHex(m.Expected));
    auto strings = Fresh(m.Mode);
    EXPECT_EQ(strings->EncodeString(kMessage), "");
    EXPECT_EQ(strings->CalcMAC(fmtHEX), m.Expected);
  }
}

// The closing Done of the first CalcMAC leaves its chaining value in W; the
// second call finds F at V and codes that value instead.
TEST(CipherMAC, TwoCallsInARowGiveTwoCodes) {
  for (const auto& m : kMACs) {
    auto c = Fresh(m.Mode);
    c->EncodeBuffer(kMessage.data(), nullptr, 29);
    const std::string first = c->CalcMAC(fmtCOPY);
    const std::string second = c->CalcMAC(fmtCOPY);
    EXPECT_EQ(first.size(), 8u);
    EXPECT_NE(first, second) << int(m.Mode);
    EXPECT_EQ(Str(c->FeedbackBlock(), 8), kIV);
  }
}

TEST(CipherMAC, OFBAndECBCannotProduceAMAC) {
  for (TCipherMode mode : {cmOFB, cmECB}) {
    auto c = Fresh(mode);
    Encode(*c, kMessage);
    const std::string feedback = Str(c->FeedbackBlock(), 8);
    const ECipherException e = CipherErrorOf([&] { c->CalcMAC(); });
    EXPECT_EQ(e.FaultCode(), 4);
    EXPECT_EQ(e.Message(),
              "Invalid Ciphermode selected to produce a MAC.\r\n"
              "Please use Modes cmCBC, cmCTS, cmCFB, cmCBCMAC, cmCFBMAC or cmCTSMAC for CalcMAC.");
    EXPECT_EQ(Str(c->FeedbackBlock(), 8), feedback);
  }
}

// With a linked protection the code passes through it with paScramble: an
// MD4 object replaces the eight bytes by the start of their digest.
TEST(CipherMAC, ALinkedProtectionScramblesTheCode) {
  auto plain = Fresh(cmCTSMAC);
  plain->EncodeBuffer(kMessage.data(), nullptr, 29);
  const std::string code = plain->CalcMAC(fmtCOPY);

  auto linked = MakeRef<TCipher_Blowfish>("", new THash_MD4());
  linked->SetMode(cmCTSMAC);
  linked->Init(kKey.data(), 16, kIV.data());
  linked->EncodeBuffer(kMessage.data(), nullptr, 29);
  EXPECT_EQ(linked->CalcMAC(fmtHEX), StrToFormat(MD4Of(code).substr(0, 8), fmtHEX));
}

// ------------------------------------------------------------ errors

TEST(CipherErrors, CodingBeforeInitRaisesNotInitialized) {
  auto c = MakeRef<TCipher_Blowfish>();
  std::string data = kMessage;
  const std::string message = "TCipher_Blowfish is not initialized call Init() or InitKey() before.";
  for (auto call : std::initializer_list<std::function<void()>>{
           [&] { c->EncodeBuffer(data.data(), data.data(), 29); },
           [&] { c->DecodeBuffer(data.data(), data.data(), 29); },
           [&] { c->EncodeString(data); },
           [&] { c->CodeBuffer(data.data(), 29, paEncode); },
           [&] { c->CodeBuffer(data.data(), 29, paCalc); },
           [&] { c->CalcMAC(); },
       }) {
    const ECipherException e = CipherErrorOf(call);
    EXPECT_EQ(e.FaultCode(), 3);
    EXPECT_EQ(e.Message(), message);
  }
  EXPECT_EQ(data, kMessage);
}

}  // namespace
}  // namespace limpet
