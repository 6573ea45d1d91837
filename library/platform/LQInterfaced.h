// Reference-counted objects and the intrusive pointer that holds them.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "LQObject.h"

namespace limpet {

// Base of reference-counted objects. A new object has count 0 and belongs
// to its creator, who may destroy it with Free(). AddRef and Release change
// the count atomically; the Release that brings it to 0 destroys the object.
// Destroying an object through Free() while its count is not 0 is refused
// with EInvalidPointer and leaves the object intact. The destructor is
// protected so that a bare `delete` cannot bypass that check.
class TInterfacedObject : public TObject {
  LIMPET_CLASS(TInterfacedObject)
 public:
  TInterfacedObject() noexcept = default;
  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;

  int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_acquire); }
  int32_t _AddRef() noexcept;
  int32_t _Release();
  void BeforeDestruction() override;

 protected:
  ~TInterfacedObject() override = default;

 private:
  std::atomic<int32_t> FRefCount{0};
};

// Intrusive pointer: holds one reference for as long as it points at an
// object, so C++ callers never count by hand.
template <class T>
class TRef {
 public:
  TRef() noexcept = default;
  TRef(std::nullptr_t) noexcept {}
  explicit TRef(T* p) noexcept : FPtr(p) {
    if (FPtr != nullptr) FPtr->_AddRef();
  }
  TRef(const TRef& other) noexcept : TRef(other.FPtr) {}
  TRef(TRef&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TRef(const TRef<U>& other) noexcept : TRef(other.Get()) {}
  ~TRef() {
    if (FPtr != nullptr) FPtr->_Release();
  }

  TRef& operator=(const TRef& other) {
    TRef(other).Swap(*this);
    return *this;
  }
  TRef& operator=(TRef&& other) noexcept {
    TRef(std::move(other)).Swap(*this);
    return *this;
  }

  void Reset(T* p = nullptr) { TRef(p).Swap(*this); }
  void Swap(TRef& other) noexcept { std::swap(FPtr, other.FPtr); }

  T* Get() const noexcept { return FPtr; }
  T* operator->() const noexcept { return FPtr; }
  T& operator*() const noexcept { return *FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }

 private:
  T* FPtr = nullptr;
};

// Creates a T and returns it already held.
template <class T, class... Args>
TRef<T> MakeRef(Args&&... args) {
  return TRef<T>(new T(std::forward<Args>(args)...));
}

}  // namespace limpet
