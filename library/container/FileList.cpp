#include "Limpet.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TFileEntry, TObject)
LIMPET_DEFINE_CLASS(TFileList, TObjList)

// The first entry, from index 0, that `matches`; its index goes to `index`.
template <class TMatch>
bool TFileList::FindFirst(TMatch matches, int32_t& index) const {
  for (int32_t i = 0; i < Count(); ++i) {
    const TFileEntry* entry = GetItems(i);
    if (entry != nullptr && matches(*entry)) {
      index = i;
      return true;
    }
  }
  return false;
}

bool TFileList::Find(const std::string& name, int32_t& index) const {
  return FindFirst([&](const TFileEntry& e) { return e.Name() == name; }, index);
}

bool TFileList::Find(int32_t id, int32_t& index) const {
  return FindFirst([&](const TFileEntry& e) { return e.ID() == id; }, index);
}

}  // namespace limpet
