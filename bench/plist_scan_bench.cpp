// The bounded scan of property-list bytes (common/plist), which runs before every parse of
// a changed preferences file: on a typical file of the size a user's settings make (XML as
// the front-ends write it, and the same as binary), beside the platform's parse of the same
// bytes and the whole reading of the file (open, fstat, read, scan, parse).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "common/plist/scan.hpp"
#include "extension/contract/contract.hpp"

namespace {

namespace contract = halvernic::contract;

// The five settings and a few keys another tweak or an older version left: about 1.5 KB
// as XML.
objc::Ref typical_preferences() {
  objc::Ref prefs = objc::makeMutableDictionary();
  objc::dictionarySet(prefs.get(), contract::kPowerModeKey, objc::string("fullPower"));
  for (const char* key : {contract::kPreventDimmingKey, contract::kSuppressNotificationsKey,
                          contract::kDisablePocketSunlightKey, contract::kSunlightLockedKey}) {
    objc::dictionarySet(prefs.get(), key, objc::boolean(true));
  }
  for (int i = 0; i < 12; ++i) {
    objc::dictionarySet(prefs.get(), "anotherTweaksSetting" + std::to_string(i),
                        objc::string("a value of some length"));
  }
  objc::Ref list = objc::makeMutableArray();
  for (int i = 0; i < 8; ++i) objc::arrayAdd(list.get(), objc::number(i * 1000));
  objc::dictionarySet(prefs.get(), "anotherTweaksList", list.get());
  return prefs;
}

std::string serialised(long format) {
  objc::AutoreleasePool pool;
  objc::Ref prefs = typical_preferences();
  id error = nullptr;
  id data = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                           objc::sel("dataWithPropertyList:format:options:error:"), prefs.get(),
                           format, 0UL, &error);
  return {static_cast<const char*>(objc::send<const void*>(data, objc::sel("bytes"))),
          objc::send<unsigned long>(data, objc::sel("length"))};
}

void scan(benchmark::State& state, long format) {
  objc::attachCurrentThread();
  const std::string bytes = serialised(format);
  for (auto _ : state) {
    benchmark::DoNotOptimize(plist::scan(bytes.data(), bytes.size()));
  }
  if (plist::scan(bytes.data(), bytes.size()) == plist::Form::refused)
    state.SkipWithError("refused");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void parse(benchmark::State& state, long format) {
  objc::attachCurrentThread();
  objc::AutoreleasePool outer;
  const std::string bytes = serialised(format);
  objc::Ref data = objc::makeData(bytes);
  for (auto _ : state) {
    objc::AutoreleasePool pool;
    benchmark::DoNotOptimize(objc::parsePropertyList(data.get()));
  }
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void read_file(benchmark::State& state, long format) {
  objc::attachCurrentThread();
  objc::AutoreleasePool outer;
  const std::string path = "/tmp/hv-plist-scan-bench-" + std::to_string(getpid()) + ".plist";
  std::ofstream(path, std::ios::binary) << serialised(format);
  for (auto _ : state) {
    objc::AutoreleasePool pool;
    benchmark::DoNotOptimize(contract::readPreferencesFile(path));
  }
  std::remove(path.c_str());
}

void BM_ScanXml(benchmark::State& state) { scan(state, 100); }
void BM_ScanBinary(benchmark::State& state) { scan(state, 200); }
void BM_ParseXml(benchmark::State& state) { parse(state, 100); }
void BM_ParseBinary(benchmark::State& state) { parse(state, 200); }
void BM_ReadPreferencesFileXml(benchmark::State& state) { read_file(state, 100); }
void BM_ReadPreferencesFileBinary(benchmark::State& state) { read_file(state, 200); }

BENCHMARK(BM_ScanXml);
BENCHMARK(BM_ScanBinary);
BENCHMARK(BM_ParseXml);
BENCHMARK(BM_ParseBinary);
BENCHMARK(BM_ReadPreferencesFileXml);
BENCHMARK(BM_ReadPreferencesFileBinary);

}  // namespace
