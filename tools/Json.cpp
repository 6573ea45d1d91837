#include "Json.h"

#include "Text.h"

namespace limpet::cli {

nlohmann::ordered_json EntriesJson(const TBoundInfo& info) {
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (const TBoundEntryInfo& e : info.Entries) {
    nlohmann::ordered_json item;
    item["index"] = e.Index;
    if (IsValidUtf8(e.Name)) {
      item["name"] = e.Name;
    } else {
      item["name_hex"] = HexOf(e.Name);
    }
    item["id"] = e.ID;
    item["level"] = e.CompressionLevel;
    item["encrypted"] = e.Encrypted;
    item["offset"] = e.Offset;
    if (e.HeaderError.empty()) {
      item["stored_size"] = e.StoredSize;
      item["plain_size"] = e.PlainSize;
    } else {
      item["stored_size"] = nullptr;
      item["plain_size"] = nullptr;
      item["error"] = e.HeaderError;
    }
    entries.push_back(std::move(item));
  }
  nlohmann::ordered_json document;
  document["entries"] = std::move(entries);
  return document;
}

nlohmann::ordered_json BlockJson(const TBoundInfo& info) {
  nlohmann::ordered_json document;
  document["file_size"] = info.FileSize;
  document["block_start"] = info.Block.Start;
  document["block_size"] = info.Block.Size;
  document["tail_size"] = 8;
  document["entries"] = info.Entries.size();
  return document;
}

}  // namespace limpet::cli
