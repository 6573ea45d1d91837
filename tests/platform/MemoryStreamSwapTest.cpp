#include <gtest/gtest.h>

#include "LQStreams.h"

namespace limpet {
namespace {

TEST(MemoryStream, SwapExchangesEverythingWithoutCopying) {
  TMemoryStream a;
  TMemoryStream b;
  a.WriteBuffer("abcdef", 6);
  a.SetPosition(2);
  b.SetCapacity(100);
  const uint8_t* aMemory = a.Memory();
  const uint8_t* bMemory = b.Memory();

  a.Swap(b);
  EXPECT_EQ(b.Memory(), aMemory);
  EXPECT_EQ(b.DataString(), "abcdef");
  EXPECT_EQ(b.Position(), 2);
  EXPECT_EQ(a.Memory(), bMemory);
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.Position(), 0);
  EXPECT_EQ(a.Capacity(), 100);
  // Each stream owns what it got: both release it on their own.
  a.WriteBuffer("xy", 2);
  EXPECT_EQ(a.DataString(), "xy");
}

}  // namespace
}  // namespace limpet
