// CompressStream and DecompressStream against zlib's one-shot compress2 and
// uncompress on the same 64 MiB of mixed data (text-like and random runs).
//
// Both sides start from the data in memory and end with the result in
// memory: the reference allocates its output buffer inside the timed region,
// our side gets a memory stream that already holds the input (filled before
// the clock starts) and leaves the result in it. Runs of the two sides
// alternate, each going first every other time; the best time of each side
// is kept. Decompression, being fast, gets four times as many runs.
//
// Usage: bench_compression [MiB] [runs]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "LQComp.h"

namespace {

using limpet::TMemoryStream;
using limpet::bench::MBps;
using Clock = std::chrono::steady_clock;

// Best times of the two sides over `runs` alternating rounds. `prepare`
// runs untimed before each of our runs.
struct TBest {
  double Ours = 1e30;
  double Zlib = 1e30;
};

TBest Race(int runs, const std::function<void()>& zlib, const std::function<void()>& prepare,
           const std::function<void()>& ours) {
  TBest best;
  auto timeZlib = [&] {
    auto t0 = Clock::now();
    zlib();
    best.Zlib = std::min(best.Zlib, std::chrono::duration<double>(Clock::now() - t0).count());
  };
  auto timeOurs = [&] {
    prepare();
    auto t0 = Clock::now();
    ours();
    best.Ours = std::min(best.Ours, std::chrono::duration<double>(Clock::now() - t0).count());
  };
  for (int run = 0; run < runs; ++run) {
    if (run % 2 == 0) {
      timeZlib();
      timeOurs();
    } else {
      timeOurs();
      timeZlib();
    }
  }
  return best;
}

void Fill(TMemoryStream& s, const std::string& bytes) {
  s.SetSize(0);
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
}

void Row(int level, const char* direction, size_t bytes, const TBest& r) {
  const double ours = MBps(bytes, r.Ours);
  const double zlib = MBps(bytes, r.Zlib);
  std::printf("%5d  %-10s  %10.1f  %10.1f  %6.3f\n", level, direction, ours, zlib, ours / zlib);
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const size_t size = mib << 20;
  const std::string data = limpet::bench::MixedData(size);
  const auto* plain = reinterpret_cast<const Bytef*>(data.data());

  std::printf("%zu MiB of mixed data; best of %d (compress) and %d (decompress) runs\n", mib,
              runs, 4 * runs);
  std::printf("MB/s = 10^6 plain bytes per second; ratio = ours / zlib\n");
  std::printf("level  direction   ours MB/s   zlib MB/s   ratio\n");

  for (int level : {1, 6, 9}) {
    TMemoryStream stream;

    const TBest comp = Race(
        runs,
        [&] {
          uLongf len = compressBound(static_cast<uLong>(size));
          std::unique_ptr<Bytef[]> dest(new Bytef[len]);
          if (compress2(dest.get(), &len, plain, static_cast<uLong>(size), level) != Z_OK) {
            Fail("compress2 failed");
          }
        },
        [&] { Fill(stream, data); },
        [&] { limpet::CompressStream(static_cast<limpet::TCompressLevel>(level), stream); });
    const std::string compressed = stream.DataString();

    // Our output must be what zlib reads back.
    {
      uLongf len = static_cast<uLongf>(size);
      std::unique_ptr<Bytef[]> back(new Bytef[size]);
      if (uncompress(back.get(), &len, reinterpret_cast<const Bytef*>(compressed.data()),
                     static_cast<uLong>(compressed.size())) != Z_OK ||
          len != size || std::memcmp(back.get(), plain, size) != 0) {
        Fail("our data does not inflate with uncompress");
      }
    }

    const TBest decomp = Race(
        4 * runs,
        [&] {
          uLongf len = static_cast<uLongf>(size);
          std::unique_ptr<Bytef[]> dest(new Bytef[size]);
          if (uncompress(dest.get(), &len, reinterpret_cast<const Bytef*>(compressed.data()),
                         static_cast<uLong>(compressed.size())) != Z_OK) {
            Fail("uncompress failed");
          }
        },
        [&] { Fill(stream, compressed); },
        [&] { limpet::DecompressStream(static_cast<int32_t>(size), stream); });
    if (stream.Size() != static_cast<int64_t>(size) ||
        std::memcmp(stream.Memory(), plain, size) != 0) {
      Fail("DecompressStream did not give the data back");
    }

    Row(level, "compress", size, comp);
    Row(level, "decompress", size, decomp);
    std::printf("       (compressed to %zu bytes, %.1f%% of the plain size)\n", compressed.size(),
                100.0 * static_cast<double>(compressed.size()) / static_cast<double>(size));
  }
  return 0;
}
