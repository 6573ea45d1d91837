// A string format defined in a loadable module: text is the raw bytes in
// reverse order. Registering it is left to the loader (LimpetPluginRegister).
#include <algorithm>
#include <string>

#include "CipUtils.h"

namespace plugin {

class TStringFormat_Reverse : public limpet::TStringFormat {
  LIMPET_CLASS_AS(TStringFormat_Reverse, limpet::TStringFormatClass)
};

class TReverseDescriptor : public limpet::TClassOf<TStringFormat_Reverse, limpet::TStringFormatClass> {
 public:
  using TClassOf::TClassOf;
  std::string ToStr(const void* value, int32_t len) const override { return Reverse(value, len); }
  std::string StrTo(const void* value, int32_t len) const override { return Reverse(value, len); }
  int32_t Format() const override { return 7777; }

 private:
  static std::string Reverse(const void* value, int32_t len) {
    len = ResolveLength(value, len);
    const char* p = static_cast<const char*>(value);
    std::string s(p, p + len);
    std::reverse(s.begin(), s.end());
    return s;
  }
};

LIMPET_DEFINE_CLASS_AS(TStringFormat_Reverse, limpet::TStringFormat, limpet::TStringFormatClass,
                       TReverseDescriptor)

}  // namespace plugin

extern "C" __attribute__((visibility("default"))) void LimpetPluginRegister() {
  limpet::RegisterStringFormats({plugin::TStringFormat_Reverse::Class()});
}
