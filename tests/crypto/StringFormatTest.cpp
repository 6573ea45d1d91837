#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CipUtils.h"
#include "TestSupport.h"

namespace limpet {
namespace {

std::string Enc(const std::string& raw, int32_t format) {
  return StrToFormat(raw.data(), static_cast<int32_t>(raw.size()), format);
}
std::string Dec(const std::string& text, int32_t format) {
  return FormatToStr(text.data(), static_cast<int32_t>(text.size()), format);
}

// Expects EStringFormat with exactly `message`.
template <class F>
void ExpectFormatError(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no EStringFormat, expected: " << message;
  } catch (const EStringFormat& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

// ------------------------------------------------------------ known answers

struct TKnown {
  std::string Raw;
  int32_t Format;
  std::string Text;
};

const std::vector<TKnown>& KnownAnswers() {
  static const std::vector<TKnown> cases = {
      {"\x1F\xAB", fmtHEX, "1FAB"},
      {"\x1F\xAB", fmtHEXL, "1fab"},
      {"foobar", fmtHEX, "666F6F626172"},  // RFC 4648 base 16
      {"Hello, world!", fmtMIME64, "SGVsbG8sIHdvcmxkIQ=="},
      // RFC 4648 base 64 test vectors.
      {"f", fmtMIME64, "Zg=="},
      {"fo", fmtMIME64, "Zm8="},
      {"foo", fmtMIME64, "Zm9v"},
      {"foob", fmtMIME64, "Zm9vYg=="},
      {"fooba", fmtMIME64, "Zm9vYmE="},
      {"foobar", fmtMIME64, "Zm9vYmFy"},
      {std::string("\xFB\xFF\x00", 3), fmtMIME64, "+/8A"},
      {"Cat", fmtUU, "#0V%T"},
      {"Cat", fmtXX, "1Eq3o"},
      {"A", fmtUU, "!00``"},
      {std::string("a\0b", 3), fmtCOPY, std::string("a\0b", 3)},
  };
  return cases;
}

TEST(StringFormats, KnownAnswersEncodeAndDecode) {
  for (const TKnown& k : KnownAnswers()) {
    EXPECT_EQ(Enc(k.Raw, k.Format), k.Text) << k.Format << " " << k.Text;
    EXPECT_EQ(Dec(k.Text, k.Format), k.Raw) << k.Format << " " << k.Text;
  }
}

TEST(StringFormats, DecodingSkipsSeparatorsAndPrefixes) {
  struct Case {
    std::string Text;
    int32_t Format;
    std::string Raw;
  } cases[] = {
      {"1fab", fmtHEX, "\x1F\xAB"},
      {"1FAB", fmtHEXL, "\x1F\xAB"},
      {"0x1F", fmtHEX, "\x1F"},
      {"$1f", fmtHEX, "\x1F"},
      {"1F 2E", fmtHEX, "\x1F\x2E"},
      {"12$34", fmtHEX, "\x34"},
      {"1$2$34", fmtHEX, "\x23"},      // later markers are ignored
      {"1F2", fmtHEX, "\x1F"},         // the unpaired digit is dropped
      {"[1f,2e]", fmtHEXL, "\x1F\x2E"},
      {"QUJD", fmtMIME64, "ABC"},
      {"QUI", fmtMIME64, "AB"},
      {"QUJDRA==\r\n", fmtMIME64, "ABCD"},
      {"QU JD\tRA\n==", fmtMIME64, "ABCD"},
      {"#0V%T!00``", fmtUU, "CatA"},
  };
  for (const Case& c : cases) EXPECT_EQ(Dec(c.Text, c.Format), c.Raw) << c.Text;

  const std::string hello = Enc("Hello, world!", fmtMIME64);
  EXPECT_EQ(Dec(InsertCR(hello, 4), fmtMIME64), "Hello, world!");
  EXPECT_EQ(Dec(InsertCR(hello, 5), fmtMIME64), "Hello, world!");
}

TEST(StringFormats, EmptyNullAndNoFormat) {
  for (int32_t format : {fmtCOPY, fmtHEX, fmtMIME64, fmtUU, 99}) {
    EXPECT_EQ(StrToFormat(nullptr, 5, format), "");
    EXPECT_EQ(FormatToStr(nullptr, -1, format), "");
    EXPECT_EQ(StrToFormat("abc", 0, format), "");
    EXPECT_EQ(StrToFormat("\0abc", -1, format), "");
    EXPECT_EQ(ConvertFormat(nullptr, 3, format, fmtHEX), "");
  }
  EXPECT_EQ(StrToFormat("abc", 3, fmtNONE), "");
  EXPECT_EQ(FormatToStr("1G", 2, fmtNONE), "");
  EXPECT_EQ(ConvertFormat("abc", 3, fmtNONE, fmtHEX), "");
  EXPECT_EQ(ConvertFormat("abc", 3, fmtHEX, fmtNONE), "");
  // A negative length ends the text at its first zero byte.
  EXPECT_EQ(StrToFormat("ab\0cd", -1, fmtHEX), "6162");
}

TEST(StringFormats, UULines) {
  const std::string line(45, 'x');
  const std::string one = Enc(line, fmtUU);
  EXPECT_EQ(one.size(), 61u);
  EXPECT_EQ(one[0], 'M');
  EXPECT_EQ(Enc(line, fmtXX)[0], 'h');
  const std::string two = Enc(line + "y", fmtUU);
  EXPECT_EQ(two.size(), 66u);
  EXPECT_EQ(two[61], '!');
  EXPECT_EQ(Dec(two, fmtUU), line + "y");
}

TEST(StringFormats, Errors) {
  ExpectFormatError([] { FormatToStr("1G", 2, fmtHEX); }, "Input is not an valid Hexadecimal Format.");
  ExpectFormatError([] { StrToFormat("abc", 3, 99); }, "String Format \"99\" not exists.");
  ExpectFormatError([] { FormatToStr("abc", 3, 99); }, "String Format \"99\" not exists.");
  ExpectFormatError([] { ConvertFormat("abc", 3, fmtHEX, 99); }, "String Format \"99\" not exists.");
  const std::string two = Enc(std::string(50, 'q'), fmtUU);
  const std::string broken = two.substr(0, 61) + "\r\n" + two.substr(61);
  ExpectFormatError([&] { Dec(broken, fmtUU); }, "Input is not an valid UU Coding Format.");
  ExpectFormatError([&] { Dec(two + "\n", fmtUU); }, "Input is not an valid UU Coding Format.");
  // A length character beyond 45 also fails in the class function itself.
  ExpectFormatError([] { TStringFormat_UU::ToStr("N", 1); }, "Input is not an valid UU Coding Format.");
  ExpectFormatError([] { TStringFormat_XX::ToStr("z", 1); }, "Input is not an valid XX Coding Format.");
  ExpectFormatError([] { ConvertFormat("zz", 2, fmtHEX, fmtMIME64); },
                    "Input is not an valid Hexadecimal Format.");
}

TEST(StringFormats, ValidityChecks) {
  EXPECT_TRUE(IsValidFormat(nullptr, 3, 99));
  EXPECT_TRUE(IsValidFormat("x", 0, 99));
  EXPECT_FALSE(IsValidFormat("x", 1, 99));
  EXPECT_FALSE(IsValidString("x", 1, 99));
  EXPECT_TRUE(IsValidFormat("0x1F, $2e", -1, fmtHEX));
  EXPECT_FALSE(IsValidFormat("1G", -1, fmtHEX));
  EXPECT_TRUE(IsValidString("1G", -1, fmtHEX));
  EXPECT_TRUE(IsValidFormat("QUJD\r\nRA==", -1, fmtMIME64));
  EXPECT_FALSE(IsValidFormat("QUJD.", -1, fmtMIME64));
  EXPECT_TRUE(IsValidFormat("#0V%T", -1, fmtUU));
  EXPECT_FALSE(IsValidFormat("#0V%T\n", -1, fmtUU));
  EXPECT_FALSE(IsValidFormat("#0V%", -1, fmtUU));  // a data character missing
  EXPECT_FALSE(IsValidFormat("N", -1, fmtUU));     // length 46
  EXPECT_TRUE(IsValidFormat("#0V %T", -1, fmtUU));  // white space inside a line
}

TEST(StringFormats, ConvertFormat) {
  const std::string hex = "48656C6C6F";
  EXPECT_EQ(ConvertFormat(hex.data(), -1, fmtHEX, fmtMIME64), Enc(Dec(hex, fmtHEX), fmtMIME64));
  EXPECT_EQ(ConvertFormat(hex, fmtHEX, fmtMIME64), "SGVsbG8=");
  EXPECT_EQ(ConvertFormat("1G", 2, fmtHEX, fmtHEX), "1G");  // equal identifiers copy unchecked
  EXPECT_EQ(ConvertFormat("SGVsbG8=", -1, fmtMIME64, fmtUU), Enc("Hello", fmtUU));
}

TEST(StringFormats, ClassFunctionsAndTables) {
  EXPECT_EQ(TStringFormat_HEXL::StrTo("\x1F\xAB", 2), "1fab");
  EXPECT_EQ(TStringFormat_HEXL::ToStr("1FAB", 4), "\x1F\xAB");
  EXPECT_EQ(TStringFormat_MIME64::StrTo("Cat", -1), "Q2F0");
  EXPECT_EQ(TStringFormat::Name(), "copy Input to Output");
  EXPECT_EQ(TStringFormat_XX::Name(), "XX Coding");
  EXPECT_EQ(TStringFormat_XX::Format(), fmtXX);
  EXPECT_EQ(TStringFormat::CharTable(), nullptr);
  EXPECT_TRUE(TStringFormat_HEX::IsValid("zz", 2, false));
  EXPECT_FALSE(TStringFormat_HEX::IsValid("zz", 2, true));
  // Dispatch through a class reference reaches the derived class's table.
  const TStringFormatClass* cls = TStringFormat_HEXL::Class();
  EXPECT_EQ(cls->StrTo("\xAB", 1), "ab");

  struct Table {
    const char* Got;
    size_t Length;
    std::string Start;
  } tables[] = {
      {TStringFormat_HEX::CharTable(), 48, "0123456789ABCDEFX$ abcdef"},
      {TStringFormat_HEXL::CharTable(), 48, "0123456789abcdefX$ ABCDEF"},
      {TStringFormat_MIME64::CharTable(), 85, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= $"},
      {TStringFormat_UU::CharTable(), 68, "`!\"#"},
      {TStringFormat_XX::CharTable(), 74, "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz \""},
  };
  for (const Table& t : tables) {
    ASSERT_NE(t.Got, nullptr);
    EXPECT_EQ(std::string(t.Got).size(), t.Length);
    EXPECT_EQ(std::string(t.Got).substr(0, t.Start.size()), t.Start);
  }
  EXPECT_EQ(std::string(TStringFormat_UU::CharTable()).substr(63), "_ \t\n\r");
}

// ------------------------------------------------------------ registry

std::vector<std::string> FormatNames() {
  TStringList list;
  GetStringFormats(&list);
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
  return names;
}

const std::vector<std::string> kBuiltInNames = {"copy Input to Output", "Hexadecimal",
                                                "Hexadecimal lowercase", "MIME Base 64",
                                                "UU Coding", "XX Coding"};

// A replacement for the hexadecimal format (same identifier) and a format
// that refuses raw input containing "!".
class TStringFormat_Shout : public TStringFormat {
  LIMPET_CLASS_AS(TStringFormat_Shout, TStringFormatClass)
};
class TShoutDescriptor : public TClassOf<TStringFormat_Shout, TStringFormatClass> {
 public:
  using TClassOf::TClassOf;
  int32_t Format() const override { return fmtHEX; }
};
LIMPET_DEFINE_CLASS_AS(TStringFormat_Shout, TStringFormat, TStringFormatClass, TShoutDescriptor)

class TStringFormat_Picky : public TStringFormat {
  LIMPET_CLASS_AS(TStringFormat_Picky, TStringFormatClass)
};
class TPickyDescriptor : public TClassOf<TStringFormat_Picky, TStringFormatClass> {
 public:
  using TClassOf::TClassOf;
  int32_t Format() const override { return 4242; }
  bool IsValid(const void* value, int32_t len, bool) const override {
    return std::string(static_cast<const char*>(value), static_cast<size_t>(len)).find('!') == std::string::npos;
  }
};
LIMPET_DEFINE_CLASS_AS(TStringFormat_Picky, TStringFormat, TStringFormatClass, TPickyDescriptor)

class TStringFormat_Any : public TStringFormat {
  LIMPET_CLASS_AS(TStringFormat_Any, TStringFormatClass)
};
class TAnyDescriptor : public TClassOf<TStringFormat_Any, TStringFormatClass> {
 public:
  using TClassOf::TClassOf;
  int32_t Format() const override { return fmtDEFAULT; }
};
LIMPET_DEFINE_CLASS_AS(TStringFormat_Any, TStringFormat, TStringFormatClass, TAnyDescriptor)

// Puts the built-in registry and default back after each test.
class Registry : public ::testing::Test {
 protected:
  void TearDown() override {
    RegisterStringFormats({TStringFormat_HEX::Class()});
    SetDefaultStringFormat(fmtMIME64);
  }
};

TEST_F(Registry, BuiltInFormatsInOrderWithTheirDescriptors) {
  EXPECT_EQ(FormatNames(), kBuiltInNames);
  TStringList list;
  list.Add("kept");
  GetStringFormats(&list);
  ASSERT_EQ(list.Count(), 7);  // appended, not cleared
  EXPECT_EQ(list.Objects(4), TStringFormat_MIME64::Class());
  EXPECT_EQ(StringFormat(fmtXX), TStringFormat_XX::Class());
  EXPECT_EQ(StringFormat(12345), nullptr);

  GetStringFormats(nullptr);
  auto* list2 = new TStringList();
  const volatile uintptr_t gone = reinterpret_cast<uintptr_t>(list2);
  delete list2;
  GetStringFormats(reinterpret_cast<TStringList*>(gone));  // a freed list is not touched
}

TEST_F(Registry, DefaultFormat) {
  EXPECT_EQ(DefaultStringFormat(), fmtMIME64);
  EXPECT_EQ(StringFormat(fmtDEFAULT), TStringFormat_MIME64::Class());
  SetDefaultStringFormat(fmtHEX);
  EXPECT_EQ(StringFormat(fmtDEFAULT), TStringFormat_HEX::Class());
  EXPECT_EQ(Enc("\x01", fmtDEFAULT), "01");
  SetDefaultStringFormat(12345);
  EXPECT_EQ(DefaultStringFormat(), fmtMIME64);
  EXPECT_EQ(StringFormat(fmtDEFAULT), TStringFormat_MIME64::Class());
  SetDefaultStringFormat(fmtHEX);
  SetDefaultStringFormat(fmtDEFAULT);
  EXPECT_EQ(DefaultStringFormat(), fmtMIME64);
}

TEST_F(Registry, ReplacementInPlaceAndSkippedEntries) {
  RegisterStringFormats({nullptr, TStringFormat_Any::Class(), TStringFormat_Shout::Class()});
  std::vector<std::string> names = kBuiltInNames;
  names[1] = "Shout";  // derived class without a Name of its own: the short class name
  EXPECT_EQ(FormatNames(), names);
  EXPECT_EQ(StringFormat(fmtHEX), TStringFormat_Shout::Class());
  EXPECT_EQ(Enc("\x01", fmtHEX), "\x01");  // inherits the plain copy
}

TEST_F(Registry, RefusedRawInputGivesTheConvertMessage) {
  RegisterStringFormats({TStringFormat_Picky::Class()});
  EXPECT_EQ(Enc("fine", 4242), "fine");
  ExpectFormatError([] { Enc("no!", 4242); }, "Input can not be convert to Picky Format.");
  EXPECT_FALSE(IsValidString("no!", -1, 4242));
  std::vector<std::string> names = kBuiltInNames;
  names.push_back("Picky");
  EXPECT_EQ(FormatNames(), names);
  // Leaves the registry as found: the unload clean-up takes it out again
  // at exit, and later tests only look up the built-in identifiers.
}

// ------------------------------------------------------------ against references

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base 64 decoding exactly as the format defines it, one character at a time.
std::string ReferenceBase64Decode(const std::string& text) {
  std::string counted;
  for (char c : text) {
    if (c == '=' || kAlphabet.find(c) != std::string::npos) counted += c;
  }
  while (counted.size() % 4 != 0) counted += '=';
  int64_t n = static_cast<int64_t>(counted.size() / 4 * 3);
  std::string out;
  for (size_t g = 0; g < counted.size() && n > 0; g += 4) {
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) {
      v <<= 6;
      if (counted[g + k] == '=') {
        --n;
      } else {
        v |= static_cast<uint32_t>(kAlphabet.find(counted[g + k]));
      }
    }
    for (int64_t e = 0; e < std::min<int64_t>(3, n); ++e) out += static_cast<char>(v >> (16 - 8 * e));
    n -= 3;
  }
  return out;
}

std::string ReferenceBase64Encode(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); i += 3) {
    uint32_t v = 0;
    size_t k = 0;
    for (; k < 3; ++k) v = (v << 8) | (i + k < raw.size() ? static_cast<uint8_t>(raw[i + k]) : 0);
    for (size_t c = 0; c < 4; ++c) out += kAlphabet[(v >> (18 - 6 * c)) & 63];
    if (raw.size() - i == 1) out.replace(out.size() - 2, 2, "==");
    if (raw.size() - i == 2) out.back() = '=';
  }
  return out;
}

TEST(StringFormats, Base64MatchesTheCharacterByCharacterDefinition) {
  for (size_t n = 0; n < 200; ++n) {
    const std::string raw = test::RandomBytes(n, static_cast<uint32_t>(n));
    const std::string text = Enc(raw, fmtMIME64);
    ASSERT_EQ(text, ReferenceBase64Encode(raw)) << n;
    ASSERT_EQ(Dec(text, fmtMIME64), raw) << n;
  }
  // Noisy text: alphabet, "=", separators in random places.
  std::mt19937 rng(2024);
  const std::string pool = kAlphabet + "==== \r\n\t";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const size_t n = rng() % 40;
    for (size_t i = 0; i < n; ++i) text += pool[rng() % pool.size()];
    if (round % 3 == 0) text = Enc(test::RandomBytes(rng() % 30, round), fmtMIME64) + text;
    ASSERT_EQ(TStringFormat_MIME64::ToStr(text.data(), static_cast<int32_t>(text.size())),
              ReferenceBase64Decode(text))
        << "[" << text << "]";
  }
}

// Validity of hexadecimal and base 64 text: every character in the table,
// wherever the odd one out stands (the base 64 check works in blocks of 64).
TEST(StringFormats, ValidityMatchesTheTableForAnyText) {
  std::mt19937 rng(7);
  for (const TStringFormatClass* cls : {static_cast<const TStringFormatClass*>(TStringFormat_HEX::Class()),
                                        static_cast<const TStringFormatClass*>(TStringFormat_MIME64::Class())}) {
    const std::string table = cls->CharTable();
    for (int round = 0; round < 4000; ++round) {
      std::string text(rng() % 200, '\0');
      for (char& c : text) c = table[rng() % table.size()];
      if (!text.empty() && round % 2 == 0) text[rng() % text.size()] = static_cast<char>(rng() % 256);
      bool expected = true;
      for (char c : text) expected &= table.find(c) != std::string::npos;
      ASSERT_EQ(cls->IsValid(text.data(), static_cast<int32_t>(text.size()), true), expected)
          << cls->Name() << " [" << text << "]";
    }
  }
}

TEST(StringFormats, XXIsUUWithAnotherAlphabet) {
  const std::string uu = TStringFormat_UU::CharTable();
  const std::string xx = TStringFormat_XX::CharTable();
  for (size_t n : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 90u, 91u, 200u}) {
    const std::string raw = test::RandomBytes(n, static_cast<uint32_t>(n + 7));
    std::string viaUU = Enc(raw, fmtUU);
    for (char& c : viaUU) c = xx[uu.find(c)];
    EXPECT_EQ(Enc(raw, fmtXX), viaUU) << n;
    EXPECT_EQ(Dec(Enc(raw, fmtXX), fmtXX), raw) << n;
    EXPECT_EQ(Dec(Enc(raw, fmtUU), fmtUU), raw) << n;
  }
}

// Decoders called directly on text that their validity check would refuse
// must stay within their buffers (the sanitizer build checks that) and
// raise nothing but EStringFormat.
TEST(StringFormats, DecodersStayInsideTheirBuffersOnAnyText) {
  const std::vector<std::string> fixed = {
      "M", "M0V%", "#0V", "#0V%T#", "M" + std::string(59, '0'),  // short last lines
      "=", "====", "=QUJD", "Q=UJD", "QUJD====QUJD", "A===", "==A",  // stray "="
      "1", "123", "x", "$", "0x", "1$",                          // odd hex digits
  };
  std::mt19937 rng(99);
  std::vector<std::string> inputs = fixed;
  for (int i = 0; i < 2000; ++i) {
    std::string s(rng() % 24, '\0');
    for (char& c : s) c = static_cast<char>(rng() % 128);
    inputs.push_back(s);
  }
  const TStringFormatClass* classes[] = {TStringFormat_HEX::Class(), TStringFormat_HEXL::Class(),
                                         TStringFormat_MIME64::Class(), TStringFormat_UU::Class(),
                                         TStringFormat_XX::Class()};
  for (const std::string& s : inputs) {
    for (const TStringFormatClass* cls : classes) {
      // Exact-size heap copies so that any read past the end is caught.
      auto copy = std::make_unique<char[]>(s.size());
      std::copy(s.begin(), s.end(), copy.get());
      try {
        std::string out = cls->ToStr(copy.get(), static_cast<int32_t>(s.size()));
        EXPECT_LE(out.size(), s.size());
      } catch (const EStringFormat&) {
      }
      cls->IsValid(copy.get(), static_cast<int32_t>(s.size()), true);
    }
  }
  EXPECT_EQ(TStringFormat_UU::ToStr("#0V", 3), "");  // incomplete group: nothing
  // A group of "=" inside the data counts as a group of zero bits.
  EXPECT_EQ(TStringFormat_MIME64::ToStr("QUJD====QUJD", -1), std::string("ABC\0\0", 5));
}

// Interoperability with an independent encoder: Python's base64 and
// binascii modules (skipped where python3 is not installed).
TEST(StringFormats, InteroperatesWithPython) {
  if (std::system("python3 -c 'import base64, binascii' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3 not available";
  }
  test::TTempDir dir;
  const std::string raw = test::RandomBytes(10000, 4196) + "tail";
  test::WriteFileBytes(dir.File("raw"), raw);
  const std::string script =
      "import base64, binascii, sys\n"
      "d = open(sys.argv[1], 'rb').read()\n"
      "open(sys.argv[2], 'wb').write(base64.b64encode(d))\n"
      "open(sys.argv[3], 'wb').write(b''.join(binascii.b2a_uu(d[i:i+45], backtick=True)[:-1]"
      " for i in range(0, len(d), 45)))\n"
      "open(sys.argv[4], 'wb').write(base64.b16encode(d))\n";
  test::WriteFileBytes(dir.File("enc.py"), script);
  const std::string cmd = "python3 " + dir.File("enc.py") + " " + dir.File("raw") + " " +
                          dir.File("b64") + " " + dir.File("uu") + " " + dir.File("hex");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string b64 = test::ReadFileBytes(dir.File("b64"));
  const std::string uu = test::ReadFileBytes(dir.File("uu"));
  EXPECT_EQ(Enc(raw, fmtMIME64), b64);
  EXPECT_EQ(Dec(b64, fmtMIME64), raw);
  EXPECT_EQ(Enc(raw, fmtUU), uu);
  EXPECT_EQ(Dec(uu, fmtUU), raw);
  EXPECT_EQ(Enc(raw, fmtHEX), test::ReadFileBytes(dir.File("hex")));
}

// ------------------------------------------------------------ text routines

TEST(TextRoutines, LineBreaksAndBlocks) {
  EXPECT_EQ(InsertCR("abcd", 4), "abcd");
  EXPECT_EQ(InsertCR("abcdefghij", 4), "abcd\r\nefgh\r\nij");
  EXPECT_EQ(InsertCR("abcdefgh", 4), "abcd\r\nefgh\r\n");
  EXPECT_EQ(InsertCR("abc", 0), "abc");
  EXPECT_EQ(InsertCR("abc", -2), "abc");
  EXPECT_EQ(DeleteCR("ab\r\ncd\ne\rf"), "abcdef");
  EXPECT_EQ(InsertBlocks("abcdefghij", "[", "]", 4), "[abcd][efgh][ij]");
  EXPECT_EQ(InsertBlocks("abcdefgh", "[", "]", 4), "[abcd][efgh]");
  EXPECT_EQ(InsertBlocks("abcd", "[", "]", 4), "abcd");
  EXPECT_EQ(RemoveBlocks("[abcd][efgh][ij]", "[", "]"), "abcdefghij");
  EXPECT_EQ(RemoveBlocks("x[ab]y[cd", "[", "]"), "abcd");    // last block runs to the end
  EXPECT_EQ(RemoveBlocks("ab]cd]ef", "", "]"), "abcdef");    // empty start: blocks are contiguous
  EXPECT_EQ(RemoveBlocks("no blocks", "<", ">"), "");
  EXPECT_EQ(RemoveBlocks("<a><b", "<", ""), "a><b");          // empty end is never found
  EXPECT_EQ(RemoveBlocks(std::string("<a>\0<b>", 7), "<", ">"), "a");  // stops at a zero byte
}

}  // namespace
}  // namespace limpet
