// The platform's list base and string list.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "LQObject.h"
#include "LQSysUtils.h"

namespace limpet {

// Base of the library's lists. Holds no storage of its own: a descendant
// keeps its items and implements every operation; the base fixes the two
// virtual operations and the class-level error routine.
class TList : public TObject {
  LIMPET_CLASS(TList)
 public:
  virtual void Grow() = 0;
  virtual void Clear() = 0;
  // Raises EListError with `msg` formatted with `data` (a "%d" template).
  [[noreturn]] static void Error(const std::string& msg, int64_t data);
};

// A list of strings, each with an associated object (any address, or null;
// class references are stored as their descriptors).
class TStringList : public TObject {
  LIMPET_CLASS(TStringList)
 public:
  int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
  int32_t Add(const std::string& s) { return AddObject(s, nullptr); }
  int32_t AddObject(const std::string& s, const void* object);
  const std::string& Strings(int32_t index) const;
  const void* Objects(int32_t index) const;
  int32_t IndexOf(const std::string& s) const;
  void Delete(int32_t index);
  void Clear() noexcept { FItems.clear(); }
  // All strings, each followed by a line feed.
  std::string Text() const;

 private:
  void CheckIndex(int32_t index) const;
  std::vector<std::pair<std::string, const void*>> FItems;
};

inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SListCapacityError = "List capacity out of bounds (%d)";
inline constexpr const char* SListCountError = "List count out of bounds (%d)";

}  // namespace limpet
