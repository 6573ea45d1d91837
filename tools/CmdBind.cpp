// limpet bind: binds files to an executable, from a manifest or a list.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <limits>
#include <memory>

#include "LQBoundInfo.h"
#include "Limpet.h"
#include "Manifest.h"
#include "Passwords.h"
#include "Progress.h"
#include "Text.h"
#include "Tool.h"

namespace limpet::cli {

namespace {

struct TBindOptions {
  std::string Exe;
  std::vector<std::string> Files;
  std::string Manifest;
  int Level = 0;
  int64_t IdStart = -1;
  std::string NameFrom = "path";
  TPasswordOptions Password;
  const CLI::Option* IdStartOption = nullptr;
};

std::vector<TBindItem> ItemsFromFiles(const TBindOptions& options) {
  std::vector<TBindItem> items;
  const bool numbered = options.IdStartOption->count() > 0;
  const int64_t last = options.IdStart + static_cast<int64_t>(options.Files.size()) - 1;
  if (numbered && !options.Files.empty() && last > std::numeric_limits<int32_t>::max()) {
    throw EUsageError("--id-start " + std::to_string(options.IdStart) + " leaves no room for " +
                      std::to_string(options.Files.size()) + " identifiers below 2^31");
  }
  for (size_t i = 0; i < options.Files.size(); ++i) {
    const std::string& file = options.Files[i];
    TBindItem item;
    item.Source = file;
    item.Name = file;
    if (options.NameFrom == "basename") {
      const std::string base = std::filesystem::path(file).filename().string();
      if (!base.empty()) item.Name = base;
    }
    item.ID = numbered ? static_cast<int32_t>(options.IdStart + static_cast<int64_t>(i)) : -1;
    item.Level = static_cast<uint8_t>(options.Level);
    items.push_back(std::move(item));
  }
  return items;
}

int RunBind(const TBindOptions& options) {
  const std::vector<TBindItem> items =
      options.Manifest.empty() ? ItemsFromFiles(options) : ReadManifest(options.Manifest);
  TPassword password(options.Password, /*confirm=*/true);

  TLimpet binder;
  binder.SetFileName(options.Exe);
  std::vector<int64_t> sizes;
  int encrypted = 0;
  for (const TBindItem& item : items) {
    auto entry = std::make_unique<TFileEntry>();
    entry->SetFileName(item.Source);
    entry->SetName(item.Name);
    entry->SetID(item.ID);
    entry->SetCompressionLevel(item.Level);
    if (item.Password) {
      entry->SetPassword(*item.Password);
    } else if (password.Given()) {
      entry->SetPassword(*password.Given());
    }
    if (entry->Encrypted()) ++encrypted;
    binder.FileList().Add(entry.get());
    entry.release();
    std::error_code error;
    const auto size = std::filesystem::file_size(item.Source, error);
    sizes.push_back(error ? 0 : static_cast<int64_t>(size));
  }

  // The binder reports after each entry; encryption reports within one.
  std::unique_ptr<TProgressBar> bar;
  int64_t done = 0;
  size_t next = 0;  // the entry being worked on
  binder.SetOnProgress(TByteProgressEvent([&](TObject*, int64_t bytes, int64_t total) {
    if (!bar) {
      bar = std::make_unique<TProgressBar>("binding", total);
    } else {
      ++next;
    }
    done = bytes;
    bar->Show(done);
  }));
  TLibraryProgress within([&](int64_t current, int64_t maximal) {
    if (bar && maximal > 0 && next < sizes.size()) bar->Show(done + sizes[next] * current / maximal);
  });
  binder.Update();
  bar.reset();

  const TBoundInfo info = ReadBoundInfo(options.Exe);
  std::cout << "Bound " << items.size() << (items.size() == 1 ? " file" : " files") << " to "
            << Printable(options.Exe) << " (" << encrypted << " encrypted): a block of " << info.Block.Size
            << " bytes at " << info.Block.Start << ".\n";
  return kExitOk;
}

}  // namespace

TCommand AddBindCommand(CLI::App& app) {
  auto options = std::make_shared<TBindOptions>();
  CLI::App* cmd = app.add_subcommand("bind", "Bind files to an executable, replacing an earlier binding");
  cmd->add_option("EXE", options->Exe, "The executable to bind the files to")->required();
  auto* files = cmd->add_option("FILE", options->Files, "Files to bind, stored under the path as given");
  auto* manifest = cmd->add_option("--manifest", options->Manifest,
                                   "JSON manifest: {\"entries\":[{\"file\":PATH, \"name\":STR, \"id\":INT, "
                                   "\"level\":0-9, \"password\":STR}]}, only \"file\" required");
  manifest->type_name("M.json")->check(CLI::ExistingFile);
  auto* level = cmd->add_option("--level", options->Level, "Compression level, 0 (stored) to 9");
  level->check(CLI::Range(0, 9))->type_name("N");
  auto* idStart = cmd->add_option("--id-start", options->IdStart,
                                  "Number the files from N on (default: every identifier is -1)");
  idStart->check(CLI::Range(static_cast<int64_t>(std::numeric_limits<int32_t>::min()),
                            static_cast<int64_t>(std::numeric_limits<int32_t>::max())))
      ->type_name("N");
  options->IdStartOption = idStart;
  auto* nameFrom = cmd->add_option("--name-from", options->NameFrom,
                                   "Store each file under its path as given or its base name");
  nameFrom->check(CLI::IsMember({"path", "basename"}))->type_name("path|basename");
  for (CLI::Option* quick : {files, level, idStart, nameFrom}) manifest->excludes(quick);
  AddPasswordOptions(*cmd, options->Password);
  cmd->footer(Example(
      "  limpet bind viewer a.jpg b.jpg --level 6 --id-start 1 --name-from basename \\\n"
      "      --password-env PHOTOS_PASSWORD\n"
      "  limpet bind viewer --manifest photos.json\n"
      "The password options set the password of every file that has none in the manifest;\n"
      "a manifest \"password\" of \"\" keeps that file unencrypted. `limpet bind EXE` alone\n"
      "binds an empty list."));
  return TCommand{cmd, [options] { return RunBind(*options); }};
}

}  // namespace limpet::cli
