// XML loader throughput against bare Expat on the same bytes, read the same
// way: plain files in 4096-byte fread chunks, gzip files in 4096-byte gzread
// chunks, memory buffers whole. Inputs come from the configuration generator:
// one graph descriptor and graph settings of about 300 KB, 3 MB, 12 MB and
// 50 MB. Loader times exclude the destruction of the tree (timed separately
// as destroy_ms) and the restoring of the key table between iterations.
//
// After the benchmarks a summary prints, per input and mode, the ratio
// loader / Expat, the growth of the per-byte time against the previous size,
// and the heap the tree takes per input byte.
//
// Inputs go to a scratch directory that is removed at exit; set
// VORN_BENCH_DIR to keep them somewhere else. Only the inputs of selected
// benchmarks are generated, so --benchmark_filter=settings_300k runs quickly.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <expat.h>
#include <zlib.h>

#include <vorn/vorn.h>

#include "best_run_reporter.h"
#include "config_generator.h"

// --- heap accounting --------------------------------------------------------
//
// Replaces the global operator new of the process (libvorn's allocations
// included) so that one load can be measured. Counting is off while timing.
// Kept out of line: inlined into a caller, the malloc inside would look to
// the compiler like a block later released with operator delete.

namespace {
std::atomic<bool> gCounting{false};
int64_t gLiveBytes = 0;  // usable bytes of blocks allocated minus freed while counting
int64_t gAllocations = 0;
}  // namespace

__attribute__((noinline)) void *operator new(std::size_t size)
{
    void *block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    if (gCounting.load(std::memory_order_relaxed)) {
        gLiveBytes += static_cast<int64_t>(malloc_usable_size(block));
        ++gAllocations;
    }
    return block;
}

__attribute__((noinline)) void operator delete(void *block) noexcept
{
    if (block != nullptr && gCounting.load(std::memory_order_relaxed))
        gLiveBytes -= static_cast<int64_t>(malloc_usable_size(block));
    std::free(block);
}

__attribute__((noinline)) void operator delete(void *block, std::size_t) noexcept { operator delete(block); }

namespace {

// --- inputs -------------------------------------------------------------------

constexpr size_t kChunk = 4096;

enum class Mode { File, Gzip, Memory };
constexpr Mode kModes[] = {Mode::File, Mode::Gzip, Mode::Memory};

const char *modeName(Mode mode)
{
    switch (mode) {
    case Mode::File:
        return "xml";
    case Mode::Gzip:
        return "gz";
    case Mode::Memory:
        return "mem";
    }
    return "?";
}

struct TreeMemory {
    int64_t liveBytes = 0;  // operator new, usable sizes
    int64_t heapBytes = 0;  // malloc's own view, chunk overhead included
    int64_t allocations = 0;
};

struct Input {
    std::string label;
    size_t targetBytes = 0;  // 0: the graph descriptor

    bool prepared = false;
    std::string error;
    vornbench::Document doc;
    std::string xmlPath;
    std::string gzPath;
    long gzBytes = 0;

    bool measured = false;
    TreeMemory memory;
};

std::vector<Input> &inputs()
{
    static std::vector<Input> list = [] {
        std::vector<Input> l(5);
        l[0].label = "descriptor";
        const char *labels[] = {"settings_300k", "settings_3m", "settings_12m", "settings_50m"};
        const size_t sizes[] = {300'000, 3'000'000, 12'000'000, 50'000'000};
        for (size_t i = 0; i < 4; ++i) {
            l[i + 1].label = labels[i];
            l[i + 1].targetBytes = sizes[i];
        }
        return l;
    }();
    return list;
}

// Generates the document and its two files on first use; false (with
// in.error set) when that failed.
bool prepare(Input &in)
{
    if (in.prepared || !in.error.empty())
        return in.error.empty();
    const std::string &dir = vornbench::scratchDirectory();
    if (dir.empty()) {
        in.error = "cannot create a scratch directory";
        return false;
    }
    in.doc = in.targetBytes == 0 ? vornbench::makeGraphDescriptor() : vornbench::makeGraphSettings(in.targetBytes);
    in.xmlPath = dir + "/" + in.label + ".xml";
    in.gzPath = in.xmlPath + ".gz";
    if (!vornbench::writePlainFile(in.xmlPath, in.doc.text) || !vornbench::writeGzipFile(in.gzPath, in.doc.text)) {
        in.error = "cannot write " + in.xmlPath;
        return false;
    }
    if (FILE *gz = std::fopen(in.gzPath.c_str(), "rb"); gz != nullptr) {
        std::fseek(gz, 0, SEEK_END);
        in.gzBytes = std::ftell(gz);
        std::fclose(gz);
    }
    in.prepared = true;
    return true;
}

// --- baseline: Expat with empty callbacks --------------------------------------

void emptyStart(void *, const char *, const char **) {}
void emptyEnd(void *, const char *) {}

XML_Parser bareParser()
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser != nullptr)
        XML_SetElementHandler(parser, emptyStart, emptyEnd);
    return parser;
}

bool expatPlainFile(XML_Parser parser, const std::string &path, char *buffer)
{
    FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return false;
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer, 1, kChunk, file);
        if (got == 0) {
            ok = !std::ferror(file) && XML_Parse(parser, buffer, 0, XML_TRUE) == XML_STATUS_OK;
            break;
        }
        const bool final = got < kChunk;
        if (XML_Parse(parser, buffer, static_cast<int>(got), final ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            ok = false;
            break;
        }
        if (final)
            break;
    }
    std::fclose(file);
    return ok;
}

bool expatGzipFile(XML_Parser parser, const std::string &path, char *buffer)
{
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bool ok = true;
    for (;;) {
        const int got = gzread(file, buffer, static_cast<unsigned>(kChunk));
        if (got < 0) {
            ok = false;
            break;
        }
        const bool final = static_cast<size_t>(got) < kChunk;
        if (XML_Parse(parser, buffer, got, final ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            ok = false;
            break;
        }
        if (final)
            break;
    }
    return gzclose(file) == Z_OK && ok;
}

void runExpat(benchmark::State &state, Input &in, Mode mode)
{
    if (!prepare(in)) {
        state.SkipWithError(in.error.c_str());
        return;
    }
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        XML_Parser parser = bareParser();
        bool ok = parser != nullptr;
        if (ok) {
            switch (mode) {
            case Mode::File:
                ok = expatPlainFile(parser, in.xmlPath, buffer.data());
                break;
            case Mode::Gzip:
                ok = expatGzipFile(parser, in.gzPath, buffer.data());
                break;
            case Mode::Memory:
                ok = XML_Parse(parser, in.doc.text.data(), static_cast<int>(in.doc.text.size()), XML_TRUE) ==
                     XML_STATUS_OK;
                break;
            }
            XML_ParserFree(parser);
        }
        if (!ok) {
            state.SkipWithError("Expat rejected the input");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(in.doc.text.size()));
}

// --- the loader -----------------------------------------------------------------

Vorn::IGraphConfig *load(const Input &in, Mode mode)
{
    Vorn::VornParser parser;
    Vorn::IGraphConfig *tree = nullptr;
    switch (mode) {
    case Mode::File:
        parser.parseVornXmlFile(in.xmlPath, &tree);
        break;
    case Mode::Gzip:
        parser.parseVornXmlFile(in.gzPath, &tree);
        break;
    case Mode::Memory:
        parser.parseVornXmlData(in.doc.text.data(), in.doc.text.size(), &tree);
        break;
    }
    return tree;
}

int64_t mallocInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

// Heap held by one tree. A first load puts the document's names into the key
// table, so the counted second load sees the tree alone.
bool measureTree(Input &in, const Vorn::KeyMap &savedKeys)
{
    delete load(in, Mode::Memory);
    const int64_t heapBefore = mallocInUse();
    gLiveBytes = 0;
    gAllocations = 0;
    gCounting.store(true, std::memory_order_relaxed);
    Vorn::IGraphConfig *tree = load(in, Mode::Memory);
    gCounting.store(false, std::memory_order_relaxed);
    in.memory.heapBytes = mallocInUse() - heapBefore;
    in.memory.liveBytes = gLiveBytes;
    in.memory.allocations = gAllocations;
    delete tree;
    Vorn::copyVornKeys(savedKeys);
    in.measured = tree != nullptr;
    return in.measured;
}

void runLoader(benchmark::State &state, Input &in, Mode mode)
{
    if (!prepare(in)) {
        state.SkipWithError(in.error.c_str());
        return;
    }
    Vorn::KeyMap savedKeys;
    Vorn::getVornKeys(savedKeys);
    if (mode == Mode::Memory && !in.measured && !measureTree(in, savedKeys)) {
        state.SkipWithError("the loader returned no tree");
        return;
    }

    double destroySeconds = 0;
    for (auto _ : state) {
        Vorn::IGraphConfig *tree = load(in, mode);
        if (tree == nullptr) {
            state.SkipWithError("the loader returned no tree");
            break;
        }
        state.PauseTiming();
        const auto start = std::chrono::steady_clock::now();
        delete tree;
        destroySeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Unknown names get keys on every load; start each one from the same table.
        Vorn::copyVornKeys(savedKeys);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(in.doc.text.size()));
    state.counters["destroy_ms"] = benchmark::Counter(destroySeconds * 1e3, benchmark::Counter::kAvgIterations);
    if (in.measured)
        state.counters["tree_B/B"] = static_cast<double>(in.memory.heapBytes) / static_cast<double>(in.doc.text.size());
}

std::string benchmarkName(const char *what, Mode mode, const Input &in)
{
    return std::string(what) + "/" + modeName(mode) + "/" + in.label;
}

void registerBenchmarks()
{
    for (Input &in : inputs()) {
        for (Mode mode : kModes) {
            for (int loader = 0; loader < 2; ++loader) {
                const std::string name = benchmarkName(loader ? "loader" : "expat", mode, in);
                auto *b = loader ? benchmark::RegisterBenchmark(
                                       name.c_str(), [&in, mode](benchmark::State &s) { runLoader(s, in, mode); })
                                 : benchmark::RegisterBenchmark(
                                       name.c_str(), [&in, mode](benchmark::State &s) { runExpat(s, in, mode); });
                // Best of several repetitions: the machine may be shared.
                b->Unit(benchmark::kMillisecond)
                    ->ComputeStatistics("min", vornbench::minimumOf)
                    ->DisplayAggregatesOnly(true);
                // The large documents take a second or more per load.
                if (in.targetBytes >= 40'000'000)
                    b->Iterations(3)->Repetitions(2);
                else if (in.targetBytes >= 10'000'000)
                    b->Iterations(5)->Repetitions(3);
                else
                    b->MinTime(0.2)->Repetitions(3);
            }
        }
    }
}

// --- summary ------------------------------------------------------------------------

// Destruction time per iteration, reported by the loader benchmarks.
double destroySeconds(const vornbench::BestRun &run)
{
    auto found = run.counters.find("destroy_ms");
    return found != run.counters.end() ? found->second / 1e3 : 0;
}

void printSummary(const vornbench::BestRunReporter &reporter)
{
    std::printf("\nLoader against bare Expat (CPU time per load; ratio = loader / expat; growth = loader time\n"
                "per byte against the previous settings size, 1.00 is linear; destroy not included in ratio)\n\n");
    std::printf("%-14s %5s %9s %8s %10s %10s %6s %8s %10s %7s %7s\n", "input", "mode", "bytes", "gz bytes", "expat ms",
                "loader ms", "ratio", "ratio+d", "destroy ms", "growth", "ratio/r");
    for (Mode mode : kModes) {
        double previousPerByte = 0;
        double previousRatio = 0;
        for (const Input &in : inputs()) {
            const vornbench::BestRun *expat = reporter.find(benchmarkName("expat", mode, in));
            const vornbench::BestRun *loader = reporter.find(benchmarkName("loader", mode, in));
            if (expat == nullptr || loader == nullptr || !in.prepared)
                continue;
            const double bytes = static_cast<double>(in.doc.text.size());
            const double ratio = loader->cpuSeconds / expat->cpuSeconds;
            const double withDestroy = (loader->cpuSeconds + destroySeconds(*loader)) / expat->cpuSeconds;
            const double perByte = loader->cpuSeconds / bytes;
            char growth[16] = "-";
            char ratioGrowth[16] = "-";
            if (in.targetBytes != 0 && previousPerByte > 0) {
                std::snprintf(growth, sizeof growth, "%.2f", perByte / previousPerByte);
                std::snprintf(ratioGrowth, sizeof ratioGrowth, "%.2f", ratio / previousRatio);
            }
            if (in.targetBytes != 0) {
                previousPerByte = perByte;
                previousRatio = ratio;
            }
            std::printf("%-14s %5s %9zu %8ld %10.3f %10.3f %6.2f %8.2f %10.3f %7s %7s\n", in.label.c_str(),
                        modeName(mode), in.doc.text.size(), in.gzBytes, expat->cpuSeconds * 1e3,
                        loader->cpuSeconds * 1e3, ratio, withDestroy, destroySeconds(*loader) * 1e3, growth,
                        ratioGrowth);
        }
    }

    std::printf("\nTree memory (one load from memory; heap = malloc in use incl. chunk overhead,\n"
                "new = usable bytes through operator new)\n\n");
    std::printf("%-14s %9s %9s %9s %11s %10s %9s %10s %9s\n", "input", "bytes", "elements", "attrs", "heap bytes",
                "heap B/B", "new B/B", "B/element", "allocs/el");
    for (const Input &in : inputs()) {
        if (!in.measured)
            continue;
        const double bytes = static_cast<double>(in.doc.text.size());
        const double elements = static_cast<double>(in.doc.elements);
        std::printf("%-14s %9zu %9zu %9zu %11" PRId64 " %10.2f %9.2f %10.1f %9.2f\n", in.label.c_str(),
                    in.doc.text.size(), in.doc.elements, in.doc.attributes, in.memory.heapBytes,
                    static_cast<double>(in.memory.heapBytes) / bytes, static_cast<double>(in.memory.liveBytes) / bytes,
                    static_cast<double>(in.memory.heapBytes) / elements,
                    static_cast<double>(in.memory.allocations) / elements);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    registerBenchmarks();
    const int status = vornbench::runWithSummary(argc, argv, printSummary);
    vornbench::removeScratchDirectory();
    return status;
}
