// Binds pictures to a copy of a demo program, the way the demos expect them.
//
//   limpet_demo_bind EXE FILE...
//
// Each file is stored under its file name (without the folder), compressed
// at level 6 and encrypted under the demos' password, in the order given;
// an earlier binding of EXE is replaced.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "Limpet.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: limpet_demo_bind EXE FILE...\n");
    return 2;
  }
  try {
    limpet::TLimpet binder;
    binder.SetFileName(argv[1]);
    for (int i = 2; i < argc; ++i) {
      const std::string path = argv[i];
      auto entry = std::make_unique<limpet::TFileEntry>();
      entry->SetFileName(path);
      entry->SetName(path.substr(path.find_last_of('/') + 1));
      entry->SetID(i - 2);
      entry->SetCompressionLevel(6);
      entry->SetPassword("KelpForest");
      binder.FileList().Add(entry.release());
    }
    binder.Update();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "limpet_demo_bind: %s\n", e.what());
    return 1;
  }
  return 0;
}
