// Settings store speed: loading a store file whose one key holds many values (as a large watch
// or history key does), looking values up in it, and saving it. The counter "values/s" is the
// load rate; it must stay about the same from 10,000 to 100,000 values (a load that searched
// each key linearly would fall by ten times over that range).
#include "RegistryStore.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A store file of one key with `count` integer values "v0" .. and a few subkeys.
std::string store_file(int count)
{
    const fs::path dir = fs::temp_directory_path() / ("kx-bench-registry-" +
                                                      std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / ("store-" + std::to_string(count) + ".kxreg")).string();
    std::string text = "KXREG 1\nK \"Software\" \"Values\"\n";
    for (int i = 0; i < count; ++i)
        text += "I \"v" + std::to_string(i) + "\" " + std::to_string(i) + "\n";
    for (int i = 0; i < 100; ++i)
        text += "K \"Software\" \"Values\" \"sub" + std::to_string(i) + "\"\n";
    text += "END\n";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

void BM_LoadStore(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string path = store_file(count);
    for (auto _ : state) {
        RegistryStore store(path);
        benchmark::DoNotOptimize(store.has_changes());
    }
    state.counters["values/s"] =
        benchmark::Counter(double(count) * double(state.iterations()), benchmark::Counter::kIsRate);
    fs::remove_all(fs::path(path).parent_path());
}
BENCHMARK(BM_LoadStore)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Every value read back by name (with another case than it was written with).
void BM_LookUpEveryValue(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string path = store_file(count);
    RegistryStore store(path);
    if (!store.open_key("SOFTWARE\\values", false)) {
        state.SkipWithError("the key is missing");
        return;
    }
    for (auto _ : state)
        for (int i = 0; i < count; ++i)
            benchmark::DoNotOptimize(store.read_integer("V" + std::to_string(i)));
    state.counters["lookups/s"] =
        benchmark::Counter(double(count) * double(state.iterations()), benchmark::Counter::kIsRate);
    fs::remove_all(fs::path(path).parent_path());
}
BENCHMARK(BM_LookUpEveryValue)->Arg(100000)->Unit(benchmark::kMillisecond);

// One value changed and the store saved: the save reads the file again, replays the change and
// writes it whole.
void BM_ChangeAndSave(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string path = store_file(count);
    RegistryStore store(path);
    if (!store.open_key("Software\\Values", false)) {
        state.SkipWithError("the key is missing");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        if (!store.write_integer("v" + std::to_string(n % count), n) || !store.flush()) {
            state.SkipWithError(store.last_error().c_str());
            break;
        }
        ++n;
    }
    fs::remove_all(fs::path(path).parent_path());
}
BENCHMARK(BM_ChangeAndSave)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
