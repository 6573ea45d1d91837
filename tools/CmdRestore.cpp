// limpet extract, extract-all and verify: restoring bound entries.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "LQBoundInfo.h"
#include "LQExcept.h"
#include "LQStreams.h"
#include "Limpet.h"
#include "Passwords.h"
#include "Progress.h"
#include "SafePath.h"
#include "Text.h"
#include "Tool.h"

namespace limpet::cli {

namespace {

struct TRestoreOptions {
  std::string Exe;
  std::string Name;
  int32_t ID = -1;
  std::string Out;
  std::string Folder;
  TPasswordOptions Password;
  const CLI::Option* NameOption = nullptr;
  const CLI::Option* IDOption = nullptr;
  const CLI::Option* OutOption = nullptr;
};

std::string Describe(const TBoundEntryInfo& e) { return "entry " + std::to_string(e.Index) + " " + Quoted(e.Name); }

bool AnyEncrypted(const TBoundInfo& info) {
  return std::any_of(info.Entries.begin(), info.Entries.end(), [](const TBoundEntryInfo& e) { return e.Encrypted; });
}

int64_t StoredTotal(const TBoundInfo& info) {
  int64_t total = 0;
  for (const TBoundEntryInfo& e : info.Entries) total += std::max<int64_t>(e.StoredSize, 0);
  return total;
}

void WriteAll(int fd, const uint8_t* data, int64_t size) {
  int64_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, static_cast<size_t>(std::min<int64_t>(size - done, 1 << 20)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EToolError(std::string("cannot write to standard output: ") + std::strerror(n < 0 ? errno : EIO));
    done += n;
  }
}

// Entries restored one after another, with a bar over their stored bytes
// that the library's decryption moves along within an entry.
class TEntryProgress {
 public:
  TEntryProgress(const char* label, const TBoundInfo& info)
      : FBar(label, StoredTotal(info)),
        FHook([this](int64_t current, int64_t maximal) {
          if (maximal > 0) FBar.Show(FDone + FCurrentSize * current / maximal);
        }) {}
  void Begin(const TBoundEntryInfo& e) { FCurrentSize = std::max<int64_t>(e.StoredSize, 0); }
  void End() {
    FDone += FCurrentSize;
    FCurrentSize = 0;
    FBar.Show(FDone);
  }
  // Before a line of output: the bar is drawn again by the next step.
  void Clear() { FBar.Clear(); }

 private:
  TProgressBar FBar;
  TLibraryProgress FHook;
  int64_t FDone = 0;
  int64_t FCurrentSize = 0;
};

int RunExtract(const TRestoreOptions& options) {
  const bool byName = options.NameOption->count() > 0;
  if (byName == (options.IDOption->count() > 0)) throw EUsageError("extract: give exactly one of --name NAME and --id N");
  const bool toFile = options.OutOption->count() > 0;
  if (toFile) {
    std::error_code error;
    if (std::filesystem::equivalent(options.Out, options.Exe, error)) {
      throw EUsageError("extract: -o names the bound file itself, which would be overwritten");
    }
  }

  // The first entry with that name or identifier is the one the library
  // restores; it needs a password when it is encrypted.
  const TBoundInfo info = ReadBoundInfo(options.Exe);
  std::string password;
  for (const TBoundEntryInfo& e : info.Entries) {
    if (byName ? e.Name == options.Name : e.ID == options.ID) {
      if (e.Encrypted) password = TPassword(options.Password, false).Require(Describe(e));
      break;
    }
  }

  TExtractFromEXE extractor;
  extractor.SetFileName(options.Exe);
  if (toFile) {
    if (byName) {
      extractor.ExtractToFile(options.Name, options.Out, password);
    } else {
      extractor.ExtractToFile(options.ID, options.Out, password);
    }
    return kExitOk;
  }
  TMemoryStream restored;
  if (byName) {
    extractor.ExtractToStream(options.Name, restored, password);
  } else {
    extractor.ExtractToStream(options.ID, restored, password);
  }
  WriteAll(STDOUT_FILENO, restored.Memory(), restored.Size());
  return kExitOk;
}

int RunExtractAll(const TRestoreOptions& options) {
  TBoundReader reader(options.Exe);
  const TBoundInfo& info = reader.Info();
  std::string password;
  if (AnyEncrypted(info)) password = TPassword(options.Password, false).Require("restoring the encrypted entries");

  TExtractRoot root(options.Folder);
  std::map<std::string, int32_t> names;  // stored name -> first entry
  std::map<std::string, int32_t> paths;  // path written -> first entry
  int failed = 0;
  int written = 0;
  TEntryProgress progress("restoring", info);
  TMemoryStream restored;
  for (const TBoundEntryInfo& e : info.Entries) {
    progress.Clear();
    if (auto [it, fresh] = names.emplace(e.Name, e.Index); !fresh) {
      PrintWarning(Describe(e) + " skipped: entry " + std::to_string(it->second) +
                   " has the same name, and the first one wins");
      continue;
    }
    const TSafeName name = CheckStoredName(e.Name);
    if (!name.Refusal.empty()) {
      PrintError(Describe(e) + " refused: " + name.Refusal + "; nothing was written for it");
      ++failed;
      continue;
    }
    if (auto [it, fresh] = paths.emplace(name.Path(), e.Index); !fresh) {
      PrintWarning(Describe(e) + " skipped: entry " + std::to_string(it->second) + " is written to the same path " +
                   Quoted(name.Path()));
      continue;
    }
    progress.Begin(e);
    try {
      reader.ExtractToStream(e.Index, restored, password);
      root.WriteFile(name, restored.Memory(), static_cast<size_t>(restored.Size()));
      progress.Clear();
      std::cout << Printable(name.Path()) << std::endl;
      ++written;
    } catch (const Exception& error) {
      progress.Clear();
      PrintError(Describe(e) + ": " + error.Message());
      ++failed;
    } catch (const EToolError& error) {
      progress.Clear();
      PrintError(Describe(e) + ": " + error.what());
      ++failed;
    }
    restored.Clear();
    progress.End();
  }
  if (failed > 0) {
    PrintError(std::to_string(failed) + " of " + std::to_string(info.Entries.size()) +
               " entries were not restored");
    return kExitFailure;
  }
  return kExitOk;
}

int RunVerify(const TRestoreOptions& options) {
  TBoundReader reader(options.Exe);
  const TBoundInfo& info = reader.Info();
  std::string password;
  if (AnyEncrypted(info)) password = TPassword(options.Password, false).Require("verifying the encrypted entries");

  int failed = 0;
  TEntryProgress progress("verifying", info);
  for (const TBoundEntryInfo& e : info.Entries) {
    progress.Begin(e);
    try {
      reader.Verify(e.Index, password);
      progress.Clear();
      std::cout << "ok      " << e.Index << "  " << Printable(e.Name) << '\n';
    } catch (const Exception& error) {
      progress.Clear();
      std::cout << "FAILED  " << e.Index << "  " << Printable(e.Name) << ": " << error.Message() << '\n';
      ++failed;
    }
    progress.End();
  }
  std::cout << info.Entries.size() << (info.Entries.size() == 1 ? " entry: " : " entries: ")
            << info.Entries.size() - static_cast<size_t>(failed) << " ok, " << failed << " failed\n";
  if (failed > 0) {
    std::cout.flush();
    PrintError(std::to_string(failed) + " of " + std::to_string(info.Entries.size()) + " entries failed");
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

TCommand AddExtractCommand(CLI::App& app) {
  auto options = std::make_shared<TRestoreOptions>();
  CLI::App* cmd = app.add_subcommand("extract", "Restore one entry, chosen by name or identifier");
  cmd->add_option("EXE", options->Exe, "The bound file")->required();
  auto* name = cmd->add_option("--name", options->Name, "The stored name (the first entry with it)");
  auto* id = cmd->add_option("--id", options->ID, "The identifier (the first entry with it)");
  name->excludes(id);
  options->NameOption = name;
  options->IDOption = id;
  options->OutOption =
      cmd->add_option("-o,--output", options->Out, "Write the file here (created only once restored); "
                                                   "standard output without it");
  AddPasswordOptions(*cmd, options->Password);
  cmd->footer(Example("  limpet extract viewer --name a.jpg -o a.jpg --password-env PHOTOS_PASSWORD\n"
                      "  limpet extract viewer --id 2 > b.jpg"));
  return TCommand{cmd, [options] { return RunExtract(*options); }};
}

TCommand AddExtractAllCommand(CLI::App& app) {
  auto options = std::make_shared<TRestoreOptions>();
  CLI::App* cmd = app.add_subcommand("extract-all", "Restore every entry into a folder");
  cmd->add_option("EXE", options->Exe, "The bound file")->required();
  cmd->add_option("-C,--directory", options->Folder, "The folder to restore into (created when missing)")
      ->required()
      ->type_name("DIR");
  AddPasswordOptions(*cmd, options->Password);
  cmd->footer(Example(
      "  limpet extract-all viewer -C photos --password-env PHOTOS_PASSWORD\n"
      "Stored names are paths beneath DIR. Absolute names, names with \"..\" and names that would\n"
      "leave DIR through a symbolic link are refused; of entries with the same name the first\n"
      "is restored. Prints each path written; exit status 1 when any entry was not restored."));
  return TCommand{cmd, [options] { return RunExtractAll(*options); }};
}

TCommand AddVerifyCommand(CLI::App& app) {
  auto options = std::make_shared<TRestoreOptions>();
  CLI::App* cmd = app.add_subcommand("verify", "Restore every entry in memory and report each as ok or failed");
  cmd->add_option("EXE", options->Exe, "The bound file")->required();
  AddPasswordOptions(*cmd, options->Password);
  cmd->footer(Example(
      "  limpet verify viewer --password-env PHOTOS_PASSWORD\n"
      "Catches a wrong password, damaged compressed data and sizes that do not match; stored\n"
      "(level 0) data carry no checksum, so changed bytes in them go unnoticed.\n"
      "Exit status 1 when any entry failed."));
  return TCommand{cmd, [options] { return RunVerify(*options); }};
}

}  // namespace limpet::cli
