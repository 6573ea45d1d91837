#include "LQClasses.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TList, TObject)
LIMPET_DEFINE_CLASS(TStringList, TObject)

void TList::Error(const std::string& msg, int64_t data) {
  throw EListError(FormatMessage(msg, {data}));
}

void TStringList::CheckIndex(int32_t index) const {
  if (index < 0 || index >= Count()) TList::Error(SListIndexError, index);
}

int32_t TStringList::AddObject(const std::string& s, const void* object) {
  FItems.emplace_back(s, object);
  return Count() - 1;
}

const std::string& TStringList::Strings(int32_t index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].first;
}

const void* TStringList::Objects(int32_t index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].second;
}

int32_t TStringList::IndexOf(const std::string& s) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].first == s) return static_cast<int32_t>(i);
  }
  return -1;
}

void TStringList::Delete(int32_t index) {
  CheckIndex(index);
  FItems.erase(FItems.begin() + index);
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& item : FItems) {
    out += item.first;
    out += '\n';
  }
  return out;
}

}  // namespace limpet
