// Start-up and shut-down of the unit, run when the shared library is loaded
// and unloaded, and the start-up integrity test of its constant data.
#include <cstring>

#include "CipUtils.h"
#include "CipUtilsPrivate.h"
#include "LQOS.h"

namespace limpet {

namespace cip_internal {

// Known answers of the tables and constant strings the unit relies on: the
// CRC check values of "123456789" (the first table slice), the CRCs of the
// test vector (every slice), the character tables, and the bit utilities.
bool RunIntegrityTest() noexcept {
  static constexpr char kCheck[] = "123456789";
  bool ok = true;
  ok &= CRC16(0, kCheck, 9) == 0xBB3D;
  ok &= (CRC32(0xFFFFFFFFu, kCheck, 9) ^ 0xFFFFFFFFu) == 0xCBF43926u;
  ok &= CRC16(0, GetTestVector(), 40) == 0x16EB;
  ok &= (CRC32(0xFFFFFFFFu, GetTestVector(), 40) ^ 0xFFFFFFFFu) == 0xDEBFCB28u;
  ok &= (detail::CRC32Portable(0xFFFFFFFFu, GetTestVector(), 40) ^ 0xFFFFFFFFu) == 0xDEBFCB28u;

  struct TTableCheck {
    const TStringFormatClass* Format;
    uint32_t Crc;
  };
  const TTableCheck tables[] = {{TStringFormat_HEX::Class(), 0xD40E169Eu},
                                {TStringFormat_HEXL::Class(), 0x9875DE25u},
                                {TStringFormat_MIME64::Class(), 0xB4E1F863u},
                                {TStringFormat_UU::Class(), 0xAEDA7B77u},
                                {TStringFormat_XX::Class(), 0x6C59C20Cu}};
  for (const TTableCheck& t : tables) {
    const char* table = t.Format->CharTable();
    auto len = static_cast<uint32_t>(std::strlen(table));
    ok &= (CRC32(0xFFFFFFFFu, table, len) ^ 0xFFFFFFFFu) == t.Crc;
  }

  ok &= SwapInteger(0x12345678u) == 0x78563412u;
  ok &= SwapBits(0x12345678u) == 0x1E6A2C48u;
  return ok;
}

}  // namespace cip_internal

namespace {

// The unit's start-up runs when the library is loaded, its shut-down when
// it is unloaded. Descriptors made during start-up are destroyed after the
// shut-down (statics go in reverse order of their construction), by which
// time the clean-up hook is gone and the registry freed.
struct TCipUtilsUnit {
  TCipUtilsUnit() {
    cip_internal::InstallFormatUnloadHook();
    const int32_t family = os::ProcessorFamily();
    cip_internal::SetCPUType(family);
    if (family > 3) {
      SwapInteger = &detail::SwapIntegerBswap;
      SwapIntegerBuffer = &detail::SwapIntegerBufferBswap;
    } else {
      SwapInteger = &detail::SwapIntegerRotate;
      SwapIntegerBuffer = &detail::SwapIntegerBufferRotate;
    }
    cip_internal::RegisterBuiltInFormats();
    InitTestIsOk = cip_internal::RunIntegrityTest();
  }
  ~TCipUtilsUnit() {
    cip_internal::RemoveFormatUnloadHook();
    cip_internal::FreeFormatRegistry();
  }
  TCipUtilsUnit(const TCipUtilsUnit&) = delete;
  TCipUtilsUnit& operator=(const TCipUtilsUnit&) = delete;
};

TCipUtilsUnit gUnit;

}  // namespace

}  // namespace limpet
