// Binding and restoring against the raw steps they are made of.
//
// 256 MiB of mixed data in 64 files is bound to a stand-in executable at
// level 0, level 6, and level 6 with a password, then every entry is
// restored. Each is timed beside the raw steps on the same data in the same
// run: reading the sources and writing the block (a plain file copy), zlib's
// compress2/uncompress, and the Blowfish chaining loop. Each phase runs in a
// child process so that its peak memory can be reported on its own.
//
// Then a 1 KiB entry is restored from a file with a 1 GiB bound block and
// compared with one full read of that block.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "BlowfishCore.h"
#include "LQStreams.h"
#include "Limpet.h"
#include "MD4Core.h"

using namespace limpet;
using limpet::bench::MixedData;

namespace {

constexpr int kFiles = 64;
constexpr size_t kFileSize = 4u << 20;
const char* const kPassword = "KelpForest";

struct TPhase {
  double Seconds = 0;
  double PeakMiB = 0;
};

// Runs fn in a child process; returns its wall time (measured inside the
// child) and its peak resident memory.
TPhase InChild(const std::function<void()>& fn) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    double s = bench::BestSeconds(1, fn);
    if (write(fds[1], &s, sizeof s) != sizeof s) _exit(3);
    _exit(0);
  }
  close(fds[1]);
  TPhase phase;
  if (read(fds[0], &phase.Seconds, sizeof phase.Seconds) != sizeof phase.Seconds) {
    std::fprintf(stderr, "phase failed\n");
    std::exit(1);
  }
  close(fds[0]);
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "phase failed\n");
    std::exit(1);
  }
  phase.PeakMiB = ru.ru_maxrss / 1024.0;
  return phase;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string Compress(const std::string& data, int level) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
            data.size(), level);
  out.resize(size);
  return out;
}

void Uncompress(const std::string& data, size_t plain) {
  std::string out(plain, '\0');
  uLongf size = plain;
  uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
             data.size());
}

blowfish::TContext KeyFor(const std::string& password) {
  uint8_t key[16];
  md4::Digest(reinterpret_cast<const uint8_t*>(password.data()), password.size(), key);
  blowfish::TContext ctx;
  blowfish::KeySchedule(ctx, key, 16);
  return ctx;
}

void Crypt(const blowfish::TContext& ctx, std::string& data, bool encrypt) {
  uint8_t feedback[8];
  std::memset(feedback, 0xFF, 8);
  blowfish::EncryptBlock(ctx, feedback);
  auto* p = reinterpret_cast<uint8_t*>(data.data());
  if (encrypt) {
    blowfish::EncryptCTS(ctx, feedback, p, p, data.size() / 8);
  } else {
    blowfish::DecryptCTS(ctx, feedback, p, p, data.size() / 8);
  }
}

struct TMode {
  const char* Name;
  uint8_t Level;
  bool Password;
};

}  // namespace

int main() {
  const std::string dir = std::filesystem::temp_directory_path().string() + "/limpet-bench-" +
                          std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string program = dir + "/program";
  WriteAll(program, std::string(64 * 1024, 'P'));
  std::vector<std::string> sources;
  {
    const std::string data = MixedData(kFileSize * kFiles);
    for (int i = 0; i < kFiles; ++i) {
      sources.push_back(dir + "/source" + std::to_string(i));
      WriteAll(sources.back(), data.substr(i * kFileSize, kFileSize));
    }
  }
  const double totalMB = kFileSize * kFiles / 1e6;

  std::printf("Binding and restoring 64 files, 256 MiB in all (times are single runs)\n\n");
  std::printf("%-16s %-8s %10s %10s %10s %8s %10s\n", "mode", "step", "limpet s", "raw s", "MB/s", "ratio",
              "peak MiB");
  const TMode modes[] = {{"level 0", 0, false}, {"level 6", 6, false}, {"level 6 + pw", 6, true}};
  for (const TMode& mode : modes) {
    const std::string exe = dir + "/bound";
    std::filesystem::copy_file(program, exe, std::filesystem::copy_options::overwrite_existing);
    TPhase bind = InChild([&] {
      TLimpet binder;
      binder.SetFileName(exe);
      for (int i = 0; i < kFiles; ++i) {
        auto* e = new TFileEntry();
        e->SetFileName(sources[i]);
        e->SetName("entry" + std::to_string(i));
        e->SetCompressionLevel(mode.Level);
        if (mode.Password) e->SetPassword(kPassword);
        binder.FileList().Add(e);
      }
      binder.Update();
    });
    // The raw steps: read each source, compress it, encrypt it, write the
    // results one after another to a copy of the program.
    const std::string rawOut = dir + "/raw";
    TPhase rawBind = InChild([&] {
      std::filesystem::copy_file(program, rawOut, std::filesystem::copy_options::overwrite_existing);
      std::ofstream out(rawOut, std::ios::binary | std::ios::app);
      blowfish::TContext ctx = KeyFor(kPassword);
      for (int i = 0; i < kFiles; ++i) {
        std::string data = ReadAll(sources[i]);
        if (mode.Level != 0) data = Compress(data, mode.Level);
        if (mode.Password) Crypt(ctx, data, true);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
      }
    });
    std::printf("%-16s %-8s %10.3f %10.3f %10.1f %8.3f %10.1f\n", mode.Name, "bind", bind.Seconds,
                rawBind.Seconds, totalMB / bind.Seconds, bind.Seconds / rawBind.Seconds, bind.PeakMiB);

    TPhase restore = InChild([&] {
      TExtractFromEXE x;
      x.SetFileName(exe);
      TMemoryStream s;
      for (int i = 0; i < kFiles; ++i) x.ExtractToStream("entry" + std::to_string(i), s, kPassword);
    });
    // The raw steps: read each stored payload from the bound file, decrypt
    // and inflate it.
    TExtractFromEXE lister;
    lister.SetFileName(exe);
    lister.ExtractToFileList();
    std::vector<std::pair<int64_t, int64_t>> payloads;  // position in the file, stored size
    {
      TFileStream f(exe, fmOpenRead | fmShareDenyWrite);
      const int64_t size = f.Size();
      uint8_t tail[8];
      f.SetPosition(size - 8);
      f.ReadBuffer(tail, 8);
      const int64_t blockStart = size - 8 - (tail[0] | tail[1] << 8 | tail[2] << 16 | int64_t{tail[3]} << 24);
      for (int i = 0; i < lister.FileList().Count(); ++i) {
        const int64_t offset = lister.FileList().GetItems(i)->Offset();
        uint8_t header[9];
        f.SetPosition(blockStart + offset);
        f.ReadBuffer(header, 9);
        const int64_t stored = header[1] | header[2] << 8 | header[3] << 16 | int64_t{header[4]} << 24;
        payloads.emplace_back(blockStart + offset + 9, stored);
      }
    }
    TPhase rawRestore = InChild([&] {
      blowfish::TContext ctx = KeyFor(kPassword);
      std::ifstream in(exe, std::ios::binary);
      for (const auto& p : payloads) {
        std::string data(static_cast<size_t>(p.second), '\0');
        in.seekg(p.first);
        in.read(data.data(), p.second);
        if (mode.Password) {
          Crypt(ctx, data, false);
          data.resize(data.size() - 4);
        }
        if (mode.Level != 0) Uncompress(data, kFileSize);
      }
    });
    std::printf("%-16s %-8s %10.3f %10.3f %10.1f %8.3f %10.1f\n", mode.Name, "restore", restore.Seconds,
                rawRestore.Seconds, totalMB / restore.Seconds, restore.Seconds / rawRestore.Seconds,
                restore.PeakMiB);
  }

  // One small entry out of a file whose bound block is 1 GiB.
  {
    const std::string big = dir + "/big";
    {
      std::ofstream f(big, std::ios::binary);
    }
    std::filesystem::resize_file(big, int64_t{1} << 30);  // sparse zeros
    const std::string small = dir + "/small";
    WriteAll(small, std::string(1024, 's'));
    const std::string exe = dir + "/bound-1g";
    std::filesystem::copy_file(program, exe, std::filesystem::copy_options::overwrite_existing);
    {
      TLimpet binder;
      binder.SetFileName(exe);
      auto* e = new TFileEntry();
      e->SetFileName(big);
      e->SetName("big");
      binder.FileList().Add(e);
      e = new TFileEntry();
      e->SetFileName(small);
      e->SetName("small");
      binder.FileList().Add(e);
      binder.Update();
    }
    std::filesystem::remove(big);
    TExtractFromEXE x;
    x.SetFileName(exe);
    TMemoryStream block;
    x.ExtractStreamFromEXE(block);  // warm the page cache
    block.Clear();
    double full = bench::BestSeconds(3, [&] {
      x.ExtractStreamFromEXE(block);
      block.Clear();
    });
    TMemoryStream one;
    double single = bench::BestSeconds(20, [&] { x.ExtractToStream("small", one, ""); });
    std::printf("\n1 KiB entry from a 1 GiB bound block: %.6f s; full block read %.3f s; %.4f%% of it "
                "(target under 1%%)\n",
                single, full, 100.0 * single / full);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
