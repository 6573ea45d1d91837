// Notifications bound to an object.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "LQObject.h"

namespace limpet {

// A notification: a callable plus the object it is bound to (null for a
// free routine). Code that fires a notification may check that the bound
// object is still alive before calling it.
template <class... Args>
class TEvent {
 public:
  using THandler = std::function<void(Args...)>;

  TEvent() = default;
  TEvent(std::nullptr_t) {}
  // A free routine or lambda, bound to no object.
  TEvent(THandler handler) : FHandler(std::move(handler)) {}
  // A callable bound to `object`.
  TEvent(const TObject* object, THandler handler)
      : FHandler(std::move(handler)), FObject(object) {}
  // A method of `object`.
  template <class T>
  static TEvent Bind(T* object, void (T::*method)(Args...)) {
    return TEvent(object, [object, method](Args... args) { (object->*method)(args...); });
  }

  explicit operator bool() const noexcept { return static_cast<bool>(FHandler); }
  const TObject* Object() const noexcept { return FObject; }
  void operator()(Args... args) const { FHandler(args...); }

 private:
  THandler FHandler;
  const TObject* FObject = nullptr;
};

// Notification with the sender only.
using TNotifyEvent = TEvent<TObject*>;
// Progress notification: sender, current and maximal count.
using TProgressEvent = TEvent<TObject*, int32_t, int32_t>;

}  // namespace limpet
