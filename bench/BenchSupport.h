// Small helpers shared by the benchmarks (header only).
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace limpet::bench {

// Best wall time in seconds of `runs` calls of fn.
inline double BestSeconds(int runs, const std::function<void()>& fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    fn();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

inline double MBps(uint64_t bytes, double seconds) { return bytes / 1e6 / seconds; }

// Peak resident set size of this process in MiB.
inline double PeakRssMiB() {
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;
}

// Deterministic mixed data: alternating 64 KiB runs of text-like and random
// bytes.
inline std::string MixedData(size_t size) {
  static const char* words[] = {"limpet ", "kelp ", "forest ", "tide\n", "rock ", "shell ",
                                "binds ", "files ", "to ", "the ", "executable "};
  std::string out;
  out.reserve(size);
  uint64_t s = 88172645463325252ull;
  bool text = true;
  while (out.size() < size) {
    size_t run = std::min<size_t>(65536, size - out.size());
    for (size_t i = 0; i < run;) {
      s ^= s << 13;
      s ^= s >> 7;
      s ^= s << 17;
      if (text) {
        const char* w = words[s % (sizeof(words) / sizeof(words[0]))];
        for (; *w != 0 && i < run; ++w, ++i) out.push_back(*w);
      } else {
        out.push_back(static_cast<char>(s >> 32));
        ++i;
      }
    }
    text = !text;
  }
  return out;
}

}  // namespace limpet::bench
