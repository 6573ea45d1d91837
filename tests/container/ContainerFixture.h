// Shared fixture of the extractor and binder tests: a temporary directory
// with a stand-in executable and a way to bind source files to it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Limpet.h"
#include "TestSupport.h"

namespace limpet::test {

struct TSource {
  std::string content;
  std::string name;
  int32_t id = -1;
  uint8_t level = 0;
  std::string password;
};

class ContainerTest : public ::testing::Test {
 protected:
  ContainerTest() : exe(dir.File("program.exe")) { WriteFileBytes(exe, original); }

  // Writes each source to its own file and binds them all to `target`.
  void Bind(const std::string& target, const std::vector<TSource>& sources) {
    TLimpet binder;
    binder.SetFileName(target);
    for (size_t i = 0; i < sources.size(); ++i) {
      const TSource& s = sources[i];
      std::string path = dir.File("source" + std::to_string(counter++));
      WriteFileBytes(path, s.content);
      auto* entry = new TFileEntry();
      entry->SetFileName(path);
      entry->SetName(s.name);
      entry->SetID(s.id);
      entry->SetCompressionLevel(s.level);
      entry->SetPassword(s.password);
      binder.FileList().Add(entry);
    }
    binder.Update();
  }

  TTempDir dir;
  const std::string original = std::string("\x7F" "ELF stand-in program bytes\0\x01\x02", 30);
  std::string exe;
  int counter = 0;
};

}  // namespace limpet::test
