// Key lookups against a bare std::map baseline holding the same names.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <vorn/vorn.h>

namespace {

std::vector<std::string> allNames()
{
    std::vector<std::string> names;
    for (const auto &entry : Vorn::vorn_key_map)
        names.push_back(entry.first);
    return names;
}

void BM_BaselineMapFind(benchmark::State &state)
{
    const Vorn::KeyMap copy = Vorn::vorn_key_map;
    const auto names = allNames();
    size_t i = 0;
    for (auto _ : state) {
        auto it = copy.find(names[i++ % names.size()]);
        benchmark::DoNotOptimize(it);
    }
}
BENCHMARK(BM_BaselineMapFind);

void BM_Str2Key(benchmark::State &state)
{
    const auto names = allNames();
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(Vorn::ItemUID::str2key(names[i++ % names.size()]));
}
BENCHMARK(BM_Str2Key);

// key2str answers from an index: its cost must not grow with the table.
void BM_Key2Str(benchmark::State &state)
{
    Vorn::KeyMap saved;
    Vorn::getVornKeys(saved);
    for (int64_t n = 0; n < state.range(0); ++n)
        Vorn::ItemUID::generateKey("bench_key_" + std::to_string(n));
    std::vector<Vorn::KeyId> ids;
    for (const auto &entry : Vorn::vorn_key_map)
        ids.push_back(entry.second);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(Vorn::ItemUID::key2str(ids[i++ % ids.size()]));
    state.counters["table"] = static_cast<double>(ids.size());
    Vorn::copyVornKeys(saved);
}
BENCHMARK(BM_Key2Str)->Arg(0)->Arg(1000)->Arg(4000);

void BM_ParsePath(benchmark::State &state)
{
    for (auto _ : state) {
        Vorn::ItemUID uid("port:format:width");
        benchmark::DoNotOptimize(uid);
    }
}
BENCHMARK(BM_ParsePath);

}  // namespace
