#include "LQInterfaced.h"

#include "LQSysUtils.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TInterfacedObject, TObject)

int32_t TInterfacedObject::_AddRef() noexcept {
  return FRefCount.fetch_add(1, std::memory_order_acq_rel) + 1;
}

int32_t TInterfacedObject::_Release() {
  int32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

void TInterfacedObject::BeforeDestruction() {
  if (RefCount() != 0) throw EInvalidPointer(SInvalidPointer);
}

}  // namespace limpet
