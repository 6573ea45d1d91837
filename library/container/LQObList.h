// An ordered list of object references that may own its items.
#pragma once

#include <cstdint>

#include "LQClasses.h"
#include "LQObject.h"

namespace limpet {

enum TListNotification : uint8_t { lnAdded = 0, lnExtracted = 1, lnDeleted = 2 };

// Comparison for Sort: negative when the first item sorts before the second,
// 0 when equal, positive when after.
using TListSortCompare = int32_t (*)(TObject* item1, TObject* item2);

// Indexes are 0-based. Bad indexes, counts and capacities raise EListError
// with the offending value, and leave the list unchanged. An owning list
// frees an item when it deletes it (Delete, Remove, Put over a slot, SetCount
// to a smaller count, Clear, destruction), never on Extract, Move, Exchange,
// Pack or Sort.
class TObjList : public TList {
  LIMPET_CLASS(TObjList)
 public:
  static constexpr int32_t MaxListSize = 134217727;

  TObjList() noexcept : TObjList(true) {}
  explicit TObjList(bool ownsObjects) noexcept : FOwnsObjects(ownsObjects) {}
  TObjList(const TObjList&) = delete;
  TObjList& operator=(const TObjList&) = delete;
  ~TObjList() override;

  int32_t Add(TObject* item);
  void Insert(int32_t index, TObject* item);
  TObject* Get(int32_t index) const;
  void Put(int32_t index, TObject* item);
  void Delete(int32_t index);
  int32_t Remove(TObject* item);
  TObject* Extract(TObject* item);
  int32_t IndexOf(const TObject* item) const noexcept;
  int32_t FindInstanceOf(const TClass* cls, bool exact = true, int32_t startAt = 0) const;
  TObject* First() const { return Get(0); }
  TObject* Last() const { return Get(FCount - 1); }
  void Exchange(int32_t index1, int32_t index2);
  void Move(int32_t curIndex, int32_t newIndex);
  void Pack();
  TObjList* Expand();
  void Grow() override;
  void Clear() override;
  void Sort(TListSortCompare compare);

  int32_t Count() const noexcept { return FCount; }
  void SetCount(int32_t newCount);
  int32_t Capacity() const noexcept { return FCapacity; }
  void SetCapacity(int32_t newCapacity);
  TObject* Items(int32_t index) const { return Get(index); }
  void SetItems(int32_t index, TObject* item) { Put(index, item); }
  bool OwnsObjects() const noexcept { return FOwnsObjects; }

 protected:
  void Notify(TObject* item, TListNotification action);

 private:
  void QuickSort(int32_t l, int32_t r, TListSortCompare compare);

  TObject** FList = nullptr;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
  bool FOwnsObjects;
};

}  // namespace limpet
