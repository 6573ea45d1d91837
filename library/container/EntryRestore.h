// Restoring one entry from an open bound file: shared by the extractor and
// the bound-file reader.
#pragma once

#include <cstdint>
#include <string>

#include "BoundLayout.h"
#include "LQStreams.h"

namespace limpet::detail {

// Replaces the stream's content with the stored payload of the entry whose
// record lies at `offset` in the block and whose directory flags are
// `flags`. Refuses, before allocating anything, a compressed entry whose
// plain size deflate could never have produced from its stored size.
// Returns the plain size from the entry header.
int64_t CopyStoredPayload(TStream& file, const layout::TBlockLocation& block, uint8_t flags,
                          int64_t offset, TStream& stream);

// Decrypts (when bit 7 of `flags` is set) and decompresses (when its level
// is not 0) a payload that CopyStoredPayload copied, leaving the restored
// file in the stream at position 0.
void RestorePayload(uint8_t flags, int64_t plainSize, TStream& stream, const std::string& password);

}  // namespace limpet::detail
