// A program that restores the files bound to its own executable.
//
//   limpet_selfextract OUTDIR [PASSWORD]
//
// Lists its own entries, then restores each one twice: by stored name into
// OUTDIR/<index>.byname and by identifier into OUTDIR/<index>.byid. Prints
// one line per entry: index, identifier and stored name.
#include <cstdio>
#include <iostream>
#include <string>

#include "LQSysUtils.h"
#include "Limpet.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: limpet_selfextract OUTDIR [PASSWORD]\n";
    return 2;
  }
  const std::string outDir = argv[1];
  const std::string password = argc > 2 ? argv[2] : "";
  try {
    limpet::TExtractFromEXE extractor;
    extractor.ExtractToFileList();
    limpet::TFileList& list = extractor.FileList();
    for (int32_t i = 0; i < list.Count(); ++i) {
      const limpet::TFileEntry& entry = *list.GetItems(i);
      const std::string base = outDir + "/" + std::to_string(i);
      extractor.ExtractToFile(entry.Name(), base + ".byname", password);
      extractor.ExtractToFile(entry.ID(), base + ".byid", password);
      std::cout << i << " " << entry.ID() << " " << entry.Name() << "\n";
    }
    std::cout << "from " << extractor.FileName() << "\n";
  } catch (const limpet::Exception& e) {
    std::cerr << e.Message() << "\n";
    return 1;
  }
  return 0;
}
