#include "LQSysUtils.h"

namespace limpet {

std::string FormatMessage(const std::string& fmt, std::initializer_list<TFormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 32);
  auto next = args.begin();
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c == '%' && i + 1 < fmt.size()) {
      char d = fmt[i + 1];
      if (d == '%') {
        out += '%';
        ++i;
        continue;
      }
      if ((d == 's' || d == 'd') && next != args.end()) {
        out += next->Text();
        ++next;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace limpet
