#include "Limpet.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TFileEntry, TObject)
LIMPET_DEFINE_CLASS(TFileList, TObjList)

bool TFileList::Find(const std::string& name, int32_t& index) const {
  for (int32_t i = 0; i < Count(); ++i) {
    const TFileEntry* entry = GetItems(i);
    if (entry != nullptr && entry->Name() == name) {
      index = i;
      return true;
    }
  }
  return false;
}

bool TFileList::Find(int32_t id, int32_t& index) const {
  for (int32_t i = 0; i < Count(); ++i) {
    const TFileEntry* entry = GetItems(i);
    if (entry != nullptr && entry->ID() == id) {
      index = i;
      return true;
    }
  }
  return false;
}

}  // namespace limpet
