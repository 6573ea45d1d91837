// Operating-system services, kept behind small functions so that other
// systems can be added beside the POSIX versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace limpet::os {

enum TFileAccess { faRead, faWrite, faReadWrite };
enum TFileLock { flNone, flShared, flExclusive };

// Opens (or, with create, creates or empties) a file and takes the advisory
// lock without waiting. Returns the handle, or -1 when the file cannot be
// opened, is a directory, or the lock is held by someone else. An existing
// file is emptied only after the lock has been taken.
int OpenFile(const std::string& path, TFileAccess access, bool create, TFileLock lock);
void CloseFile(int handle);
// Moves up to count bytes; returns the number moved, or -1 on an error
// before any byte moved.
int64_t ReadFile(int handle, void* buffer, size_t count);
int64_t WriteFile(int handle, const void* buffer, size_t count);
// Origin 0, 1 or 2; returns the new position, or -1.
int64_t SeekFile(int handle, int64_t offset, int origin);
bool TruncateFile(int handle, int64_t size);

// Full path of the running program's executable.
std::string ExecutablePath();
// The path made absolute against the current directory (not resolved).
std::string AbsolutePath(const std::string& path);
// True when the two names denote one file: by device and inode when both
// exist, otherwise by comparing the absolute forms of the names.
bool SameFile(const std::string& a, const std::string& b);

// Milliseconds since midnight UTC.
uint32_t UtcMillisecondsOfDay();
// A high-resolution monotonic counter.
uint64_t PerformanceCounter();
// Processor family as the processor reports it (x86: CPUID leaf 1, bits 8 to
// 11); a value above 3 where the processor does not tell.
int32_t ProcessorFamily();

// Fills memory with a byte value in a way the optimiser must keep, for
// overwriting secrets before their memory is released.
void WipeMemory(void* p, size_t size, uint8_t value) noexcept;

}  // namespace limpet::os
