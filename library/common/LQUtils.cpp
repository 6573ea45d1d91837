#include "LQUtils.h"

namespace limpet {

void CopyStream(TStream& source, TStream& dest) {
  dest.SetSize(source.Size());
  dest.SetPosition(0);
  dest.CopyFrom(source, 0);
  dest.SetPosition(0);
}

}  // namespace limpet
