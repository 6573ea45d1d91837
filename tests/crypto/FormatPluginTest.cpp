#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CipUtils.h"

namespace limpet {
namespace {

std::vector<std::string> FormatNames() {
  TStringList list;
  GetStringFormats(&list);
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
  return names;
}

void* LoadAndRegister() {
  void* module = dlopen(LIMPET_FORMAT_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    ADD_FAILURE() << dlerror();
    return nullptr;
  }
  auto registerFormats = reinterpret_cast<void (*)()>(dlsym(module, "LimpetPluginRegister"));
  if (registerFormats == nullptr) {
    ADD_FAILURE() << dlerror();
  } else {
    registerFormats();
  }
  return module;
}

TEST(FormatPlugin, FormatLeavesTheRegistryWhenItsModuleIsUnloaded) {
  const std::vector<std::string> before = FormatNames();
  ASSERT_EQ(StringFormat(7777), nullptr);

  for (int round = 0; round < 2; ++round) {  // loading it again works the same
    void* module = LoadAndRegister();
    ASSERT_NE(module, nullptr);
    const TStringFormatClass* cls = StringFormat(7777);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->Name(), "Reverse");
    EXPECT_EQ(StrToFormat("abc", 3, 7777), "cba");
    std::vector<std::string> withPlugin = before;
    withPlugin.push_back("Reverse");
    EXPECT_EQ(FormatNames(), withPlugin);
    SetDefaultStringFormat(7777);
    EXPECT_EQ(DefaultStringFormat(), 7777);

    ASSERT_EQ(dlclose(module), 0);
    EXPECT_EQ(dlopen(LIMPET_FORMAT_PLUGIN, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module stayed loaded";
    EXPECT_EQ(StringFormat(7777), nullptr);
    EXPECT_EQ(FormatNames(), before);
    // The default still names the vanished format: asking for it fails
    // cleanly, with the identifier as passed.
    try {
      StrToFormat("abc", 3, fmtDEFAULT);
      ADD_FAILURE() << "no error";
    } catch (const EStringFormat& e) {
      EXPECT_EQ(e.Message(), "String Format \"-1\" not exists.");
    }
    SetDefaultStringFormat(fmtMIME64);
  }
}

}  // namespace
}  // namespace limpet
