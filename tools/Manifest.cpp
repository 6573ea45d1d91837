#include "Manifest.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "Tool.h"

namespace limpet::cli {

namespace {

using nlohmann::json;

[[noreturn]] void Refuse(const std::string& manifest, const std::string& what) {
  throw EUsageError("manifest " + manifest + ": " + what);
}

TBindItem ReadItem(const std::string& manifest, const std::filesystem::path& base, const json& item,
                   size_t index) {
  const std::string where = "entry " + std::to_string(index);
  if (!item.is_object()) Refuse(manifest, where + " is not an object");
  for (const auto& [key, value] : item.items()) {
    if (key != "file" && key != "name" && key != "id" && key != "level" && key != "password") {
      Refuse(manifest, where + " has the unknown key \"" + key + "\"");
    }
  }
  TBindItem result;
  const auto file = item.find("file");
  if (file == item.end() || !file->is_string() || file->get<std::string>().empty()) {
    Refuse(manifest, where + " needs \"file\", a non-empty string");
  }
  const std::string given = file->get<std::string>();
  const std::filesystem::path path(given);
  result.Source = path.is_absolute() ? given : (base / path).string();
  result.Name = given;
  if (const auto name = item.find("name"); name != item.end()) {
    if (!name->is_string()) Refuse(manifest, where + ": \"name\" must be a string");
    // An empty stored name would make the library record the source path
    // instead; the default is the path as written in the manifest.
    if (!name->get<std::string>().empty()) result.Name = name->get<std::string>();
  }
  if (const auto id = item.find("id"); id != item.end()) {
    if (!id->is_number_integer()) Refuse(manifest, where + ": \"id\" must be an integer");
    const int64_t value = id->is_number_unsigned() && id->get<uint64_t>() > INT64_MAX ? INT64_MAX : id->get<int64_t>();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
      Refuse(manifest, where + ": \"id\" must fit in 32 bits");
    }
    result.ID = static_cast<int32_t>(value);
  }
  if (const auto level = item.find("level"); level != item.end()) {
    if (!level->is_number_integer()) Refuse(manifest, where + ": \"level\" must be an integer from 0 to 9");
    const int64_t value = level->is_number_unsigned() && level->get<uint64_t>() > 9 ? 10 : level->get<int64_t>();
    if (value < 0 || value > 9) Refuse(manifest, where + ": \"level\" must be an integer from 0 to 9");
    result.Level = static_cast<uint8_t>(value);
  }
  if (const auto password = item.find("password"); password != item.end()) {
    if (!password->is_string()) Refuse(manifest, where + ": \"password\" must be a string");
    result.Password = password->get<std::string>();
  }
  return result;
}

}  // namespace

std::vector<TBindItem> ReadManifest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EUsageError("cannot read the manifest " + path);
  json document;
  try {
    document = json::parse(in);
  } catch (const json::exception& e) {
    Refuse(path, std::string("not valid JSON: ") + e.what());
  }
  if (!document.is_object()) Refuse(path, "the top level must be an object with \"entries\"");
  for (const auto& [key, value] : document.items()) {
    if (key != "entries") Refuse(path, "unknown key \"" + key + "\" at the top level");
  }
  const auto entries = document.find("entries");
  if (entries == document.end() || !entries->is_array()) Refuse(path, "\"entries\" must be an array");
  const std::filesystem::path base = std::filesystem::path(path).parent_path();
  std::vector<TBindItem> items;
  items.reserve(entries->size());
  for (size_t i = 0; i < entries->size(); ++i) items.push_back(ReadItem(path, base, (*entries)[i], i));
  return items;
}

}  // namespace limpet::cli
