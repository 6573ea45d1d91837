// JSON documents the tool prints.
#pragma once

#include <nlohmann/json.hpp>

#include "LQBoundInfo.h"

namespace limpet::cli {

// {"entries":[{"index":N,"name":STR,"id":N,"level":N,"encrypted":BOOL,
//   "offset":N,"stored_size":N,"plain_size":N}]}
// A name that is not valid UTF-8 is given as "name_hex" (the hexadecimal of
// its bytes) instead of "name". An entry whose header is damaged has null
// sizes and an "error" with the reason.
nlohmann::ordered_json EntriesJson(const TBoundInfo& info);

// {"file_size":N,"block_start":N,"block_size":N,"tail_size":8,"entries":N}
nlohmann::ordered_json BlockJson(const TBoundInfo& info);

}  // namespace limpet::cli
