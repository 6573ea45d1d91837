// Internals shared by the implementation files of CipUtils.
#pragma once

#include <cstdint>

namespace limpet::cip_internal {

// Processor family for CPUType (set at start-up).
void SetCPUType(int32_t family) noexcept;
// Installs and removes the registry's class-unload clean-up.
bool InstallFormatUnloadHook() noexcept;
void RemoveFormatUnloadHook() noexcept;
// Frees the registry of string formats.
void FreeFormatRegistry() noexcept;
// Registers the six built-in string formats.
void RegisterBuiltInFormats();
// Start-up integrity test of the unit's constant data.
bool RunIntegrityTest() noexcept;

}  // namespace limpet::cip_internal
