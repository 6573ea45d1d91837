// Stream helpers shared by every subsystem.
#pragma once

#include "LQStreams.h"

namespace limpet {

// Replaces dest's content with source's: dest's size becomes source's size,
// all of source is copied into it from source's start, and dest is left at
// position 0.
void CopyStream(TStream& source, TStream& dest);

}  // namespace limpet
