// Loading the firmware catalogue with 10 to 10,000 entries. "Cold" starts
// from a registry that has not read its file yet, as a fresh host does;
// "Warm" loads again in the same process, as the add-firmware dialog does
// after every change. Both point every entry at one firmware file.
// "ColdFiles" points each entry at a file of its own on disk and, when the
// program may (root), drops the kernel's page, inode and name caches before
// every load, as after a reboot: the counter "dropped" says whether it did.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "afx/Registry.h"
#include "firmware/FirmwareEntryManager.h"

namespace {

// Every entry's firmware path: one file for all, or `path`<n> for entry n.
std::string Catalogue(int entries, const std::string& firmwarePath, bool distinct = false) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  char key[64];
  for (int i = 0; i < entries; ++i) {
    std::snprintf(key, sizeof key, "Firmware %05d", i);
    text += "[HKEY_LOCAL_MACHINE\\" + std::string(FirmwareEntryManager::kRootPath) + "\\" + key + "]\r\n";
    text += "\"Description\"=\"" + std::string(key) + "\"\r\n";
    text += "\"FirmwarePath\"=\"" + firmwarePath + (distinct ? std::to_string(i) : "") + "\"\r\n";
    text += "\"DeviceType\"=\"QZ710\"\r\n";
    text += "\"FWSIG\"=\"QZGARNX\"\r\n";
    text += "\"OriginalInstall\"=dword:00000000\r\n\r\n";
  }
  return text;
}

void Load(benchmark::State& state, bool cold) {
  const int entries = static_cast<int>(state.range(0));
  bench::ScratchDir dir;
  const std::string firmware = bench::WriteFile(dir.File("image.img"), std::string(256, 'x'));
  const std::string store = bench::WriteFile(dir.File("registry.reg"), Catalogue(entries, firmware));
  afx::SetRegistryPath(store);
  for (auto _ : state) {
    if (cold) afx::SetRegistryPath(store);  // forgets what was read
    FirmwareEntryManager catalogue;
    catalogue.RetrieveFirmwareFiles("QZ710", "");
    if (catalogue.GetCount() != entries) {
      state.SkipWithError("entries went missing");
      return;
    }
  }
  state.SetComplexityN(entries);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * entries);
}

// Writes back and drops the page cache, dentries and inodes; false when not allowed.
bool DropCaches() {
  ::sync();
  const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, "3\n", 2) == 2;
  ::close(fd);
  return ok;
}

void BM_Catalogue_ColdFiles(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  bench::ScratchDir dir(bench::ScratchDir::kOnDisk);
  const std::string base = dir.File("image");
  for (int i = 0; i < entries; ++i) bench::WriteFile(base + std::to_string(i), std::string(256, 'x'));
  const std::string store = bench::WriteFile(dir.File("registry.reg"), Catalogue(entries, base, true));
  bool dropped = true;
  for (auto _ : state) {
    state.PauseTiming();
    dropped = DropCaches() && dropped;
    afx::SetRegistryPath(store);
    state.ResumeTiming();
    FirmwareEntryManager catalogue;
    catalogue.RetrieveFirmwareFiles("QZ710", "");
    if (catalogue.GetCount() != entries) {
      state.SkipWithError("entries went missing");
      return;
    }
  }
  state.counters["dropped"] = dropped ? 1 : 0;
}

void BM_Catalogue_Cold(benchmark::State& state) { Load(state, true); }
void BM_Catalogue_Warm(benchmark::State& state) { Load(state, false); }

BENCHMARK(BM_Catalogue_Cold)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_Catalogue_Warm)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_Catalogue_ColdFiles)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

// Ratios: time for ten times the entries over time for the entries; 10 is linear.
int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv,
                              {{"BM_Catalogue_Cold/100", "BM_Catalogue_Cold/10", "~10 (linear)"},
                               {"BM_Catalogue_Cold/1000", "BM_Catalogue_Cold/100", "~10 (linear)"},
                               {"BM_Catalogue_Cold/10000", "BM_Catalogue_Cold/1000", "~10 (linear)"},
                               {"BM_Catalogue_Warm/10000", "BM_Catalogue_Warm/1000", "~10 (linear)"},
                               {"BM_Catalogue_ColdFiles/10000/iterations:1/real_time", "BM_Catalogue_Cold/10000",
                                "distinct files, caches dropped"}});
}
