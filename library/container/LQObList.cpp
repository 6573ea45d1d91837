#include "LQObList.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace limpet {

LIMPET_DEFINE_CLASS(TObjList, TList)

TObjList::~TObjList() { Clear(); }

void TObjList::Notify(TObject* item, TListNotification action) {
  if (FOwnsObjects && action == lnDeleted) delete item;
}

int32_t TObjList::Add(TObject* item) {
  if (FCount == FCapacity) Grow();
  int32_t index = FCount;
  FList[index] = item;
  ++FCount;
  if (item != nullptr) Notify(item, lnAdded);
  return index;
}

void TObjList::Insert(int32_t index, TObject* item) {
  if (index < 0 || index > FCount) Error(SListIndexError, index);
  if (FCount == FCapacity) Grow();
  if (index < FCount) {
    std::memmove(FList + index + 1, FList + index, static_cast<size_t>(FCount - index) * sizeof(TObject*));
  }
  FList[index] = item;
  ++FCount;
  if (item != nullptr) Notify(item, lnAdded);
}

TObject* TObjList::Get(int32_t index) const {
  if (index < 0 || index >= FCount) Error(SListIndexError, index);
  return FList[index];
}

void TObjList::Put(int32_t index, TObject* item) {
  if (index < 0 || index >= FCount) Error(SListIndexError, index);
  TObject* old = FList[index];
  // Storing the object the slot already holds changes nothing; an owning
  // list must not free an object that stays listed.
  if (old == item) return;
  FList[index] = item;
  if (old != nullptr) Notify(old, lnDeleted);
  if (item != nullptr) Notify(item, lnAdded);
}

void TObjList::Delete(int32_t index) {
  if (index < 0 || index >= FCount) Error(SListIndexError, index);
  TObject* item = FList[index];
  --FCount;
  if (index < FCount) {
    std::memmove(FList + index, FList + index + 1, static_cast<size_t>(FCount - index) * sizeof(TObject*));
  }
  if (item != nullptr) Notify(item, lnDeleted);
}

int32_t TObjList::Remove(TObject* item) {
  int32_t index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

TObject* TObjList::Extract(TObject* item) {
  int32_t index = IndexOf(item);
  if (index < 0) return nullptr;
  FList[index] = nullptr;
  Delete(index);
  Notify(item, lnExtracted);
  return item;
}

int32_t TObjList::IndexOf(const TObject* item) const noexcept {
  for (int32_t i = 0; i < FCount; ++i) {
    if (FList[i] == item) return i;
  }
  return -1;
}

int32_t TObjList::FindInstanceOf(const TClass* cls, bool exact, int32_t startAt) const {
  if (startAt > FCount - 1) return -1;
  for (int32_t i = startAt; i < FCount; ++i) {
    TObject* item = Get(i);
    if (item == nullptr) continue;
    const TClass* itemClass = item->ClassType();
    if (exact ? itemClass == cls : itemClass->InheritsFrom(cls)) return i;
  }
  return -1;
}

void TObjList::Exchange(int32_t index1, int32_t index2) {
  if (index1 < 0 || index1 >= FCount) Error(SListIndexError, index1);
  if (index2 < 0 || index2 >= FCount) Error(SListIndexError, index2);
  std::swap(FList[index1], FList[index2]);
}

void TObjList::Move(int32_t curIndex, int32_t newIndex) {
  if (curIndex == newIndex) return;
  if (newIndex < 0 || newIndex >= FCount) Error(SListIndexError, newIndex);
  if (curIndex < 0 || curIndex >= FCount) Error(SListIndexError, curIndex);
  TObject* item = FList[curIndex];
  if (curIndex < newIndex) {
    std::memmove(FList + curIndex, FList + curIndex + 1, static_cast<size_t>(newIndex - curIndex) * sizeof(TObject*));
  } else {
    std::memmove(FList + newIndex + 1, FList + newIndex, static_cast<size_t>(curIndex - newIndex) * sizeof(TObject*));
  }
  FList[newIndex] = item;
}

void TObjList::Pack() {
  for (int32_t i = FCount - 1; i >= 0; --i) {
    if (FList[i] == nullptr) Delete(i);
  }
}

TObjList* TObjList::Expand() {
  if (FCount == FCapacity) Grow();
  return this;
}

void TObjList::Grow() {
  int32_t delta;
  if (FCapacity > 64) {
    delta = FCapacity / 4;
  } else if (FCapacity > 8) {
    delta = 16;
  } else {
    delta = 4;
  }
  SetCapacity(FCapacity + delta);
}

void TObjList::SetCapacity(int32_t newCapacity) {
  if (newCapacity < FCount || newCapacity > MaxListSize) Error(SListCapacityError, newCapacity);
  if (newCapacity == FCapacity) return;
  if (newCapacity == 0) {
    std::free(FList);
    FList = nullptr;
  } else {
    void* p = std::realloc(FList, static_cast<size_t>(newCapacity) * sizeof(TObject*));
    if (p == nullptr) throw std::bad_alloc();
    FList = static_cast<TObject**>(p);
  }
  FCapacity = newCapacity;
}

void TObjList::SetCount(int32_t newCount) {
  if (newCount < 0 || newCount > MaxListSize) Error(SListCountError, newCount);
  if (newCount > FCapacity) SetCapacity(newCount);
  if (newCount > FCount) {
    std::memset(FList + FCount, 0, static_cast<size_t>(newCount - FCount) * sizeof(TObject*));
  } else {
    for (int32_t i = FCount - 1; i >= newCount; --i) Delete(i);
  }
  FCount = newCount;
}

void TObjList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

void TObjList::Sort(TListSortCompare compare) {
  if (FList != nullptr && FCount > 0) QuickSort(0, FCount - 1, compare);
}

void TObjList::QuickSort(int32_t l, int32_t r, TListSortCompare compare) {
  int32_t i;
  do {
    i = l;
    int32_t j = r;
    TObject* pivot = FList[(static_cast<uint32_t>(l) + static_cast<uint32_t>(r)) >> 1];
    do {
      while (compare(FList[i], pivot) < 0) ++i;
      while (compare(FList[j], pivot) > 0) --j;
      if (i <= j) {
        std::swap(FList[i], FList[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (l < j) QuickSort(l, j, compare);
    l = i;
  } while (i < r);
}

}  // namespace limpet
