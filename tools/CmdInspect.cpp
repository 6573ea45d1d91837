// limpet list, info and strip: what a bound file holds, and taking it off.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "Json.h"
#include "LQBoundInfo.h"
#include "Text.h"
#include "Tool.h"

namespace limpet::cli {

namespace {

struct TInspectOptions {
  std::string Exe;
  bool Json = false;
};

void PrintTable(const TBoundInfo& info) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"INDEX", "ID", "LEVEL", "ENCRYPTED", "OFFSET", "STORED", "PLAIN", "NAME"});
  for (const TBoundEntryInfo& e : info.Entries) {
    const bool sound = e.HeaderError.empty();
    std::string name = Printable(e.Name);
    if (!sound) name += "  (damaged: " + e.HeaderError + ")";
    rows.push_back({std::to_string(e.Index), std::to_string(e.ID), std::to_string(e.CompressionLevel),
                    e.Encrypted ? "yes" : "no", std::to_string(e.Offset),
                    sound ? std::to_string(e.StoredSize) : "?", sound ? std::to_string(e.PlainSize) : "?", name});
  }
  std::vector<size_t> widths(rows.front().size() - 1, 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < widths.size(); ++c) {
      // Numbers right-aligned, words left-aligned.
      const bool left = c == 3;
      const std::string pad(widths[c] - row[c].size(), ' ');
      line += left ? row[c] + pad : pad + row[c];
      line += "  ";
    }
    line += row.back();
    std::cout << line << '\n';
  }
  std::cout << info.Entries.size() << (info.Entries.size() == 1 ? " entry" : " entries") << '\n';
}

int RunList(const TInspectOptions& options) {
  const TBoundInfo info = ReadBoundInfo(options.Exe);
  if (options.Json) {
    std::cout << EntriesJson(info).dump(2) << '\n';
  } else {
    PrintTable(info);
  }
  return kExitOk;
}

int RunInfo(const TInspectOptions& options) {
  const TBoundInfo info = ReadBoundInfo(options.Exe);
  if (options.Json) {
    std::cout << BlockJson(info).dump(2) << '\n';
    return kExitOk;
  }
  std::cout << "file:        " << Printable(options.Exe) << '\n'
            << "file size:   " << info.FileSize << " bytes\n"
            << "block start: " << info.Block.Start << " (the executable's own bytes end there)\n"
            << "block size:  " << info.Block.Size << " bytes, then the 8-byte tail\n"
            << "entries:     " << info.Entries.size() << '\n';
  return kExitOk;
}

int RunStrip(const TInspectOptions& options) {
  const TBoundBlock removed = StripBoundData(options.Exe);
  std::cout << "Removed the bound block of " << removed.Size << " bytes and its 8-byte tail from "
            << Printable(options.Exe) << "; " << removed.Start << " bytes remain.\n";
  return kExitOk;
}

CLI::App* AddInspect(CLI::App& app, const char* name, const char* description, TInspectOptions& options) {
  CLI::App* cmd = app.add_subcommand(name, description);
  cmd->add_option("EXE", options.Exe, "The bound file")->required();
  return cmd;
}

}  // namespace

TCommand AddListCommand(CLI::App& app) {
  auto options = std::make_shared<TInspectOptions>();
  CLI::App* cmd = AddInspect(app, "list", "List the bound entries", *options);
  cmd->add_flag("--json", options->Json,
                "Print {\"entries\":[{\"index\",\"name\" (or \"name_hex\"),\"id\",\"level\",\"encrypted\","
                "\"offset\",\"stored_size\",\"plain_size\"}]}");
  cmd->footer(Example("  limpet list viewer\n  limpet list viewer --json"));
  return TCommand{cmd, [options] { return RunList(*options); }};
}

TCommand AddInfoCommand(CLI::App& app) {
  auto options = std::make_shared<TInspectOptions>();
  CLI::App* cmd = AddInspect(app, "info", "Show where the bound block lies, its size and its entry count", *options);
  cmd->add_flag("--json", options->Json, "Print the facts as JSON");
  cmd->footer(Example("  limpet info viewer"));
  return TCommand{cmd, [options] { return RunInfo(*options); }};
}

TCommand AddStripCommand(CLI::App& app) {
  auto options = std::make_shared<TInspectOptions>();
  CLI::App* cmd = AddInspect(app, "strip", "Remove the bound block and its tail, leaving the original bytes",
                             *options);
  cmd->footer(Example("  limpet strip viewer"));
  return TCommand{cmd, [options] { return RunStrip(*options); }};
}

}  // namespace limpet::cli
