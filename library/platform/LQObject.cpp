#include "LQObject.h"

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_set>

namespace limpet {

namespace {

// The registry is created on first use and deliberately never destroyed:
// objects and descriptors may be destroyed during process exit after every
// ordinary static has gone.
struct TLiveRegistry {
  std::mutex Lock;
  std::unordered_set<const void*> Objects;
};

TLiveRegistry& Registry() noexcept {
  static TLiveRegistry* registry = new TLiveRegistry();
  return *registry;
}

constexpr int kMaxUnloadHooks = 16;
// Constant-initialised and trivially destructible, so usable at any time.
std::atomic<TClassUnloadHook> gUnloadHooks[kMaxUnloadHooks];

}  // namespace

TClass::TClass(const char* name, const TClass* parent) noexcept
    : FName(name), FParent(parent) {}

TClass::~TClass() {
  for (auto& slot : gUnloadHooks) {
    TClassUnloadHook hook = slot.load(std::memory_order_acquire);
    if (hook != nullptr) hook(this);
  }
}

bool TClass::InheritsFrom(const TClass* ancestor) const noexcept {
  if (ancestor == nullptr) return false;
  for (const TClass* c = this; c != nullptr; c = c->FParent) {
    if (c == ancestor) return true;
  }
  return false;
}

bool AddClassUnloadHook(TClassUnloadHook hook) noexcept {
  if (hook == nullptr) return false;
  for (auto& slot : gUnloadHooks) {
    if (slot.load() == hook) return true;
  }
  for (auto& slot : gUnloadHooks) {
    TClassUnloadHook expected = nullptr;
    if (slot.compare_exchange_strong(expected, hook)) return true;
  }
  return false;
}

void RemoveClassUnloadHook(TClassUnloadHook hook) noexcept {
  for (auto& slot : gUnloadHooks) {
    TClassUnloadHook expected = hook;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

TObject::TObject() noexcept {
  TLiveRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  try {
    r.Objects.insert(this);
  } catch (const std::bad_alloc&) {
    // An unregistered object is only invisible to IsLiveObject.
  }
}

TObject::TObject(const TObject&) noexcept : TObject() {}

TObject::~TObject() {
  TLiveRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Objects.erase(this);
}

const TClass* TObject::Class() noexcept {
  static const TClassOf<TObject> descriptor("TObject", nullptr);
  return &descriptor;
}

void TObject::Free() {
  BeforeDestruction();
  delete this;
}

bool IsLiveObject(const void* p, const TClass* cls) noexcept {
  if (p == nullptr) return false;
  TLiveRegistry& r = Registry();
  // The lock is held while the class is read: an object being destroyed on
  // another thread cannot leave the registry (and so cannot be freed) until
  // the check is over.
  std::lock_guard<std::mutex> guard(r.Lock);
  if (r.Objects.find(p) == r.Objects.end()) return false;
  if (cls == nullptr) return true;
  return static_cast<const TObject*>(p)->ClassType()->InheritsFrom(cls);
}

}  // namespace limpet
