// Restoring every entry of a bound file: the bound-file reader, which reads
// the directory once and keeps the file open, against the extractor, which
// opens the file and reads the directory again for every entry (what a
// program that restores entry after entry by name pays). Also verifying,
// which counts the inflated bytes instead of holding them, against
// restoring, and listing with sizes (the reader) against listing the
// directory alone (the extractor).
//
// For a growing number of 4 KiB entries at level 6 the table gives the
// times and the ratio extractor / reader; the reference is the extractor in
// the same run on the same file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "LQBoundInfo.h"
#include "LQStreams.h"
#include "Limpet.h"

using namespace limpet;

namespace {

std::string TempFolder() {
  std::string base = std::filesystem::temp_directory_path().string() + "/limpet-bench-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) std::abort();
  return base;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  TFileStream out(path, fmCreate);
  out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace

int main() {
  const std::string folder = TempFolder();
  const std::string exe = folder + "/program";
  const std::string source = folder + "/source";
  WriteBytes(source, bench::MixedData(4096));

  std::printf("%8s %14s %14s %8s %14s %14s %14s %14s\n", "entries", "extractor s", "reader s", "ratio",
              "verify s", "verify/reader", "list dir s", "list sizes s");
  for (int count : {16, 128, 1024, 4096}) {
    WriteBytes(exe, std::string(4096, 'x'));
    TLimpet binder;
    binder.SetFileName(exe);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      auto* entry = new TFileEntry();
      entry->SetFileName(source);
      entry->SetName("images/picture-" + std::to_string(i) + ".jpg");
      entry->SetCompressionLevel(6);
      binder.FileList().Add(entry);
      names.push_back(entry->Name());
    }
    binder.Update();

    const int runs = count >= 4096 ? 1 : 3;
    TMemoryStream out;
    const double extractor = bench::BestSeconds(runs, [&] {
      TExtractFromEXE x;
      x.SetFileName(exe);
      for (const std::string& name : names) x.ExtractToStream(name, out, "");
    });
    const double reader = bench::BestSeconds(runs, [&] {
      TBoundReader r(exe);
      for (int32_t i = 0; i < count; ++i) r.ExtractToStream(i, out, "");
    });
    const double verify = bench::BestSeconds(runs, [&] {
      TBoundReader r(exe);
      for (int32_t i = 0; i < count; ++i) r.Verify(i, "");
    });
    const double listDirectory = bench::BestSeconds(runs, [&] {
      TExtractFromEXE x;
      x.SetFileName(exe);
      x.ExtractToFileList();
    });
    const double listSizes = bench::BestSeconds(runs, [&] { ReadBoundInfo(exe); });
    std::printf("%8d %14.5f %14.5f %8.2f %14.5f %14.2f %14.5f %14.5f\n", count, extractor, reader,
                extractor / reader, verify, verify / reader, listDirectory, listSizes);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
