// Settings query over generated graph settings: a strict three-item query
// (width, height, fps) against documents of growing size, reported per
// settings entry. The time per entry must stay flat as the document grows.
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <vorn/vorn.h>

#include "config_generator.h"

namespace {

struct Loaded {
    std::unique_ptr<Vorn::IGraphConfig> settings;
    std::unique_ptr<Vorn::IGraphConfig> descriptor;
    size_t entries = 0;
};

// Documents are generated and loaded once per size for the whole run.
const Loaded &loaded(size_t bytes)
{
    static std::map<size_t, Loaded> cache;
    auto found = cache.find(bytes);
    if (found != cache.end())
        return found->second;
    Loaded &entry = cache[bytes];
    const vornbench::Document settings = vornbench::makeGraphSettings(bytes);
    const vornbench::Document descriptor = vornbench::makeGraphDescriptor();
    Vorn::VornParser parser;
    Vorn::IGraphConfig *out = nullptr;
    parser.parseVornXmlData(settings.text.data(), settings.text.size(), &out);
    entry.settings.reset(out);
    out = nullptr;
    parser.parseVornXmlData(descriptor.text.data(), descriptor.text.size(), &out);
    entry.descriptor.reset(out);
    entry.entries = settings.settingsEntries;
    return entry;
}

void BM_StrictQuery(benchmark::State &state)
{
    const Loaded &input = loaded(static_cast<size_t>(state.range(0)) << 20);
    if (!input.settings || !input.descriptor) {
        state.SkipWithError("generated documents did not load");
        return;
    }
    Vorn::GraphQueryManager manager;
    manager.setGraphSettings(input.settings.get());
    manager.setGraphDescriptor(input.descriptor.get());
    const Vorn::SearchQuery query = {
        {Vorn::ItemUID{Vorn::key_width}, "1920"},
        {Vorn::ItemUID{Vorn::key_height}, "1080"},
        {Vorn::ItemUID{Vorn::key_fps}, "30"},
    };
    size_t matches = 0;
    for (auto _ : state) {
        Vorn::GraphConfigList result;
        manager.queryGraphs(query, result, true);
        matches = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["entries"] = static_cast<double>(input.entries);
    state.counters["matches"] = static_cast<double>(matches);
    // Seconds per settings entry; Google Benchmark prints it scaled.
    state.counters["per_entry"] = benchmark::Counter(static_cast<double>(input.entries) * state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StrictQuery)->Arg(3)->Arg(12)->Arg(50)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
