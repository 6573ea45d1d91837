#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LQObList.h"
#include "LQSysUtils.h"
#include "Limpet.h"
#include "TestSupport.h"

namespace limpet {
namespace {

// An item that records its destruction in a shared log.
class TTracked : public TObject {
 public:
  TTracked(std::vector<int>* log, int tag) : FLog(log), FTag(tag) {}
  ~TTracked() override {
    if (FLog != nullptr) FLog->push_back(FTag);
  }
  int Tag() const { return FTag; }

 private:
  std::vector<int>* FLog;
  int FTag;
};

class TOtherItem : public TTracked {
  LIMPET_CLASS(TOtherItem)
 public:
  using TTracked::TTracked;
};
LIMPET_DEFINE_CLASS(TOtherItem, TObject)

class ObjListTest : public ::testing::Test {
 protected:
  // A list holding items tagged 0..n-1.
  void Fill(TObjList& list, int n) {
    for (int i = 0; i < n; ++i) list.Add(new TTracked(&freed, i));
  }
  std::vector<int> Tags(const TObjList& list) {
    std::vector<int> tags;
    for (int i = 0; i < list.Count(); ++i) {
      auto* item = static_cast<TTracked*>(list.Get(i));
      tags.push_back(item == nullptr ? -1 : item->Tag());
    }
    return tags;
  }
  std::vector<int> freed;
};

// Runs `op` and expects EListError with exactly `message`.
template <class Op>
void ExpectListError(Op op, const std::string& message) {
  test::ExpectError<EListError>(op, message);
}

TEST_F(ObjListTest, IndexErrorsNameTheOffendingValue) {
  TObjList list;
  ExpectListError([&] { list.First(); }, "List index out of bounds (0)");
  ExpectListError([&] { list.Last(); }, "List index out of bounds (-1)");
  Fill(list, 3);
  ExpectListError([&] { list.Get(3); }, "List index out of bounds (3)");
  ExpectListError([&] { list.Put(-1, nullptr); }, "List index out of bounds (-1)");
  ExpectListError([&] { list.Delete(5); }, "List index out of bounds (5)");
  ExpectListError([&] { list.Insert(4, nullptr); }, "List index out of bounds (4)");
  // Exchange reports the first bad index; Move checks the new index first.
  ExpectListError([&] { list.Exchange(7, 9); }, "List index out of bounds (7)");
  ExpectListError([&] { list.Exchange(1, 9); }, "List index out of bounds (9)");
  ExpectListError([&] { list.Move(8, 9); }, "List index out of bounds (9)");
  ExpectListError([&] { list.Move(8, 1); }, "List index out of bounds (8)");
  ExpectListError([&] { list.SetCapacity(2); }, "List capacity out of bounds (2)");
  ExpectListError([&] { list.SetCapacity(134217728); }, "List capacity out of bounds (134217728)");
  ExpectListError([&] { list.SetCount(-1); }, "List count out of bounds (-1)");
  ExpectListError([&] { list.SetCount(134217728); }, "List count out of bounds (134217728)");
  ExpectListError([&] { list.FindInstanceOf(TObject::Class(), false, -1); }, "List index out of bounds (-1)");
  // Nothing changed on the way.
  EXPECT_EQ(Tags(list), (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(freed.empty());
  // Equal indexes in Move do nothing, even out of range.
  list.Move(10, 10);
}

TEST_F(ObjListTest, GrowthSteps) {
  TObjList list(false);
  std::vector<int32_t> capacities;
  for (int i = 0; i < 120; ++i) {
    list.Add(nullptr);
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95, 118, 147}));
  TObjList a(false);
  a.SetCapacity(8);
  a.Grow();
  EXPECT_EQ(a.Capacity(), 12);
  a.SetCapacity(64);
  a.Grow();
  EXPECT_EQ(a.Capacity(), 80);
}

TEST_F(ObjListTest, InsertPutDeleteAndOwnership) {
  {
    TObjList list;
    Fill(list, 3);
    list.Insert(3, new TTracked(&freed, 3));  // at Count appends
    list.Insert(0, new TTracked(&freed, 4));
    EXPECT_EQ(Tags(list), (std::vector<int>{4, 0, 1, 2, 3}));
    // Put over a slot frees the old item; putting the same item changes nothing.
    list.Put(1, new TTracked(&freed, 5));
    EXPECT_EQ(freed, (std::vector<int>{0}));
    list.Put(1, list.Get(1));
    EXPECT_EQ(freed, (std::vector<int>{0}));
    list.Delete(0);
    EXPECT_EQ(freed, (std::vector<int>{0, 4}));
    // SetCount to a smaller count frees the dropped items, last index first.
    list.SetCount(1);
    EXPECT_EQ(freed, (std::vector<int>{0, 4, 3, 2, 1}));
    list.SetCount(3);
    EXPECT_EQ(Tags(list), (std::vector<int>{5, -1, -1}));
  }
  // Destruction frees the rest.
  EXPECT_EQ(freed.back(), 5);
}

TEST_F(ObjListTest, NonOwningListFreesNothing) {
  std::vector<TTracked> items;
  items.reserve(3);
  for (int i = 0; i < 3; ++i) items.emplace_back(&freed, i);
  {
    TObjList list(false);
    for (auto& item : items) list.Add(&item);
    list.Delete(0);
    list.Clear();
  }
  EXPECT_TRUE(freed.empty());
  freed.clear();
}

TEST_F(ObjListTest, RemoveExtractAndPack) {
  TObjList list;
  Fill(list, 3);
  TTracked stranger(nullptr, 99);
  EXPECT_EQ(list.Remove(&stranger), -1);
  EXPECT_EQ(list.Extract(&stranger), nullptr);
  TObject* middle = list.Get(1);
  EXPECT_EQ(list.Extract(middle), middle);  // never freed
  EXPECT_TRUE(freed.empty());
  delete middle;
  freed.clear();
  EXPECT_EQ(list.Remove(list.Get(1)), 1);
  EXPECT_EQ(freed, (std::vector<int>{2}));
  list.Add(nullptr);
  list.Insert(0, nullptr);
  EXPECT_EQ(list.Count(), 3);
  list.Pack();
  EXPECT_EQ(Tags(list), (std::vector<int>{0}));
  EXPECT_EQ(freed, (std::vector<int>{2}));
}

TEST_F(ObjListTest, MoveAndExchangeNeverFree) {
  TObjList list;
  Fill(list, 5);
  list.Move(0, 3);
  EXPECT_EQ(Tags(list), (std::vector<int>{1, 2, 3, 0, 4}));
  list.Move(4, 1);
  EXPECT_EQ(Tags(list), (std::vector<int>{1, 4, 2, 3, 0}));
  list.Exchange(0, 4);
  EXPECT_EQ(Tags(list), (std::vector<int>{0, 4, 2, 3, 1}));
  EXPECT_TRUE(freed.empty());
}

TEST_F(ObjListTest, FindInstanceOf) {
  TObjList list;
  list.Add(new TTracked(&freed, 0));
  list.Add(nullptr);
  list.Add(new TOtherItem(&freed, 2));
  EXPECT_EQ(list.FindInstanceOf(TOtherItem::Class(), true, 0), 2);
  EXPECT_EQ(list.FindInstanceOf(TObject::Class(), true, 0), 0);
  EXPECT_EQ(list.FindInstanceOf(TObject::Class(), true, 1), -1);  // TOtherItem is not exactly TObject
  EXPECT_EQ(list.FindInstanceOf(TObject::Class(), false, 1), 2);
  EXPECT_EQ(list.FindInstanceOf(TOtherItem::Class(), true, 3), -1);
  EXPECT_EQ(list.FindInstanceOf(TOtherItem::Class(), true, 100), -1);
}

int32_t CompareTags(TObject* a, TObject* b) {
  return static_cast<TTracked*>(a)->Tag() - static_cast<TTracked*>(b)->Tag();
}

int gCompareCalls = 0;
int32_t CountingCompare(TObject* a, TObject* b) {
  ++gCompareCalls;
  return CompareTags(a, b);
}

TEST_F(ObjListTest, SortOrdersAndCallsNothingOnAnEmptyList) {
  TObjList list;
  const int tags[] = {5, 3, 9, 1, 1, 7, 0, 8, 2, 6, 4, 3};
  for (int t : tags) list.Add(new TTracked(&freed, t));
  list.Sort(CompareTags);
  EXPECT_EQ(Tags(list), (std::vector<int>{0, 1, 1, 2, 3, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(freed.empty());
  TObjList empty;
  gCompareCalls = 0;
  empty.Sort(CountingCompare);
  EXPECT_EQ(gCompareCalls, 0);
}

TEST(FileEntry, DefaultsAndEncryptedState) {
  TFileEntry e;
  EXPECT_EQ(e.Flags(), 0);
  EXPECT_EQ(e.Offset(), 0);
  EXPECT_EQ(e.ID(), -1);
  EXPECT_EQ(e.CompressionLevel(), 0);
  EXPECT_FALSE(e.Encrypted());
  e.SetPassword("x");
  EXPECT_TRUE(e.Encrypted());
}

TEST(FileList, FindsTheFirstMatchByNameAndByIdentifier) {
  TFileList list;
  auto add = [&](const std::string& name, int32_t id) {
    auto* e = new TFileEntry();
    e->SetName(name);
    if (id != -1) e->SetID(id);
    return list.Add(e);
  };
  add("a.txt", 3);
  add("b.txt", -1);
  add("a.txt", 4);
  add("A.TXT", 3);
  int32_t index = 42;
  EXPECT_TRUE(list.Find("a.txt", index));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(list.Find("A.TXT", index));
  EXPECT_EQ(index, 3);
  index = 42;
  EXPECT_FALSE(list.Find("B.txt", index));
  EXPECT_EQ(index, 42);  // untouched on a miss
  EXPECT_TRUE(list.Find(int32_t{3}, index));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(list.Find(int32_t{-1}, index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find(int32_t{7}, index));
  EXPECT_EQ(list.GetItems(2)->ID(), 4);
}

}  // namespace
}  // namespace limpet
