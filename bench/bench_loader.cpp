// XML loader throughput against bare Expat on the same bytes, read the same
// way: plain files in 4096-byte fread chunks, gzip files in 4096-byte gzread
// chunks, memory buffers whole. Inputs come from the configuration generator:
// one graph descriptor and graph settings of about 300 KB, 1 MB, 3 MB, 12 MB
// and 50 MB.
//
// Times are the thread's CPU time. Per input and mode, rounds alternate one
// bare Expat run, one load and one destruction of the loaded tree. The
// summary shows the median of each over the rounds, and the ratios are the
// medians of each round's own ratio: a round's load is compared with the
// Expat run just before it, so a machine whose speed drifts (other work on
// it) moves both sides of a ratio alike. The destruction ends with one large malloc, which
// makes the allocator do at once the consolidation of freed blocks it would
// otherwise leave to the next large request, so that work is charged to the
// destruction that caused it and not to whatever is measured next. The key table is restored after every
// load, outside the timed parts.
//
// The summary gives, per input and mode, the ratio loader / Expat for the
// load and for load plus destruction, the destruction per input byte, and
// the heap the tree takes per input byte with its allocations per element.
// Rounds after the first find the memory the previous tree kept for the next
// load (up to 64 MiB); the first load of a process does not.
//
// Inputs go to a scratch directory that is removed at exit; set
// VORN_BENCH_DIR to keep them somewhere else. An argument selects the inputs
// whose label contains it (for example settings_300k); --rounds=N overrides
// the number of rounds.
#include <algorithm>
#include <atomic>
#include <ctime>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <expat.h>
#include <zlib.h>

#include <vorn/vorn.h>

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

// Arena blocks of large pages are mapped straight from the system; the
// library's calls resolve to these, which count what is mapped while
// counting. (The C library's own allocator maps through its internal entry
// points and is seen through mallinfo.)
namespace {
int64_t gMappedBytes = 0;
}

extern "C" __attribute__((visibility("default"))) void *mmap(void *address, size_t length, int protection, int flags,
                                                             int fd, off_t offset)
{
    void *mapped = reinterpret_cast<void *>(syscall(SYS_mmap, address, length, protection, flags, fd, offset));
    if (mapped != MAP_FAILED && gCounting.load(std::memory_order_relaxed))
        gMappedBytes += static_cast<int64_t>(length);
    return mapped;
}

extern "C" __attribute__((visibility("default"))) int munmap(void *address, size_t length)
{
    const auto result = static_cast<int>(syscall(SYS_munmap, address, length));
    if (result == 0 && gCounting.load(std::memory_order_relaxed))
        gMappedBytes -= static_cast<int64_t>(length);
    return result;
}

// Large arena blocks are aligned to large pages.
__attribute__((noinline)) void *operator new(std::size_t size, std::align_val_t alignment)
{
    void *block = nullptr;
    if (posix_memalign(&block, std::max(sizeof(void *), static_cast<std::size_t>(alignment)), size != 0 ? size : 1) !=
        0)
        throw std::bad_alloc();
    if (gCounting.load(std::memory_order_relaxed)) {
        gLiveBytes += static_cast<int64_t>(malloc_usable_size(block));
        ++gAllocations;
    }
    return block;
}

__attribute__((noinline)) void *operator new(std::size_t size, std::align_val_t alignment,
                                             const std::nothrow_t &) noexcept
{
    try {
        return operator new(size, alignment);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

__attribute__((noinline)) void operator delete(void *block, std::align_val_t) noexcept { operator delete(block); }
__attribute__((noinline)) void operator delete(void *block, std::size_t, std::align_val_t) noexcept
{
    operator delete(block);
}

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
    int64_t heapBytes = 0;  // malloc's own view, chunk overhead included, and the arena's own mappings
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
        const char *labels[] = {"settings_300k", "settings_1m", "settings_3m", "settings_12m", "settings_50m"};
        const size_t sizes[] = {300'000, 1'000'000, 3'000'000, 12'000'000, 50'000'000};
        std::vector<Input> l(std::size(labels) + 1);
        l[0].label = "descriptor";
        for (size_t i = 0; i < std::size(labels); ++i) {
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

bool runExpat(const Input &in, Mode mode, char *buffer)
{
    XML_Parser parser = bareParser();
    bool ok = parser != nullptr;
    if (ok) {
        switch (mode) {
        case Mode::File:
            ok = expatPlainFile(parser, in.xmlPath, buffer);
            break;
        case Mode::Gzip:
            ok = expatGzipFile(parser, in.gzPath, buffer);
            break;
        case Mode::Memory:
            ok = XML_Parse(parser, in.doc.text.data(), static_cast<int>(in.doc.text.size()), XML_TRUE) == XML_STATUS_OK;
            break;
        }
        XML_ParserFree(parser);
    }
    return ok;
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

void escape(void *pointer) { asm volatile("" : : "g"(pointer) : "memory"); }

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Destroys a tree and lets the allocator finish releasing it: a request
// from the large bins makes malloc merge the freed small blocks it keeps
// aside, which it would otherwise do in the next such request (of the next
// load, or of Expat).
void destroyTree(Vorn::IGraphConfig *tree)
{
    delete tree;
    void *large = std::malloc(64 * 1024);
    escape(large);
    std::free(large);
}

int64_t mallocInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

// Heap held by one tree. A first load puts the document's names into the key
// table, so the counted second load sees the tree alone; the memory the
// first tree left for the next one is given back, so the counted load takes
// all of its own.
bool measureTree(Input &in, const Vorn::KeyMap &savedKeys)
{
    destroyTree(load(in, Mode::Memory));
    Vorn::releaseCachedTreeMemory();
    const int64_t heapBefore = mallocInUse();
    gLiveBytes = 0;
    gAllocations = 0;
    gMappedBytes = 0;
    gCounting.store(true, std::memory_order_relaxed);
    Vorn::IGraphConfig *tree = load(in, Mode::Memory);
    gCounting.store(false, std::memory_order_relaxed);
    in.memory.heapBytes = mallocInUse() - heapBefore + gMappedBytes;
    in.memory.liveBytes = gLiveBytes;
    in.memory.allocations = gAllocations;
    delete tree;
    Vorn::copyVornKeys(savedKeys);
    in.measured = tree != nullptr;
    return in.measured;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Figures {
    double expat = 0;  // seconds, medians over the rounds
    double load = 0;
    double destroy = 0;
    double loadFaults = 0;  // page faults taken by one load, median over the rounds
    double loadRatio = 0;   // loader / expat, median over the rounds of each round's ratio
    double totalRatio = 0;  // (loader + destroy) / expat, likewise
};

// Page faults taken by this thread so far.
long threadFaults()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

int roundsFor(const Input &in, int override)
{
    if (override > 0)
        return override;
    if (in.targetBytes >= 40'000'000)
        return 7;
    if (in.targetBytes >= 10'000'000)
        return 9;
    if (in.targetBytes >= 1'000'000)
        return 31;
    return 41;
}

// Interleaved rounds of Expat, load and destruction; false when either side
// rejected the input.
bool measure(const Input &in, Mode mode, int rounds, const Vorn::KeyMap &savedKeys, Figures &figures)
{
    std::vector<char> buffer(kChunk);
    std::vector<double> expatTimes, loadTimes, destroyTimes, loadFaults, loadRatios, totalRatios;
    // One untimed round warms the caches and the file system.
    for (int round = -1; round < rounds; ++round) {
        double start = threadSeconds();
        if (!runExpat(in, mode, buffer.data()))
            return false;
        const double expatSeconds = threadSeconds() - start;

        const long faultsBefore = threadFaults();
        start = threadSeconds();
        Vorn::IGraphConfig *tree = load(in, mode);
        const double loadSeconds = threadSeconds() - start;
        const long faults = threadFaults() - faultsBefore;
        if (tree == nullptr)
            return false;
        start = threadSeconds();
        destroyTree(tree);
        const double destroySeconds = threadSeconds() - start;
        // Unknown names get keys on every load; start each one from the same table.
        Vorn::copyVornKeys(savedKeys);
        if (round >= 0) {
            expatTimes.push_back(expatSeconds);
            loadTimes.push_back(loadSeconds);
            destroyTimes.push_back(destroySeconds);
            loadFaults.push_back(static_cast<double>(faults));
            loadRatios.push_back(loadSeconds / expatSeconds);
            totalRatios.push_back((loadSeconds + destroySeconds) / expatSeconds);
        }
    }
    figures.expat = median(expatTimes);
    figures.load = median(loadTimes);
    figures.destroy = median(destroyTimes);
    figures.loadFaults = median(loadFaults);
    figures.loadRatio = median(loadRatios);
    figures.totalRatio = median(totalRatios);
    return true;
}

void printSummary(const std::vector<std::pair<const Input *, std::map<Mode, Figures>>> &results)
{
    std::printf("\nLoader against bare Expat (thread CPU time, medians of interleaved rounds; ratio = loader / expat,\n"
                "ratio+d = (loader + destroy) / expat, each the median of the rounds' own ratios; destroy includes\n"
                "the allocator's consolidation)\n\n");
    std::printf("%-14s %5s %9s %8s %10s %10s %6s %8s %10s %9s\n", "input", "mode", "bytes", "gz bytes", "expat ms",
                "loader ms", "ratio", "ratio+d", "destroy ms", "destr ns/B");
    for (Mode mode : kModes) {
        for (const auto &[in, figures] : results) {
            auto found = figures.find(mode);
            if (found == figures.end())
                continue;
            const Figures &f = found->second;
            const double bytes = static_cast<double>(in->doc.text.size());
            std::printf("%-14s %5s %9zu %8ld %10.3f %10.3f %6.2f %8.2f %10.3f %9.3f\n", in->label.c_str(),
                        modeName(mode), in->doc.text.size(), in->gzBytes, f.expat * 1e3, f.load * 1e3, f.loadRatio,
                        f.totalRatio, f.destroy * 1e3, f.destroy * 1e9 / bytes);
        }
    }

    std::printf("\nTree memory (one load from memory; heap = malloc in use incl. chunk overhead and the\n"
                "arena's large-page blocks, new = usable bytes through operator new)\n\n");
    std::printf("%-14s %9s %9s %9s %11s %10s %9s %10s %9s\n", "input", "bytes", "elements", "attrs", "heap bytes",
                "heap B/B", "new B/B", "B/element", "allocs/el");
    for (const auto &[in, figures] : results) {
        if (!in->measured)
            continue;
        const double bytes = static_cast<double>(in->doc.text.size());
        const double elements = static_cast<double>(in->doc.elements);
        std::printf("%-14s %9zu %9zu %9zu %11" PRId64 " %10.2f %9.2f %10.1f %9.2f\n", in->label.c_str(),
                    in->doc.text.size(), in->doc.elements, in->doc.attributes, in->memory.heapBytes,
                    static_cast<double>(in->memory.heapBytes) / bytes,
                    static_cast<double>(in->memory.liveBytes) / bytes,
                    static_cast<double>(in->memory.heapBytes) / elements,
                    static_cast<double>(in->memory.allocations) / elements);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    std::string filter;
    int rounds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--rounds=", 0) == 0)
            rounds = std::atoi(argument.c_str() + 9);
        else
            filter = argument;
    }
    Vorn::KeyMap savedKeys;
    Vorn::getVornKeys(savedKeys);
    std::vector<std::pair<const Input *, std::map<Mode, Figures>>> results;
    int status = 0;
    for (Input &in : inputs()) {
        if (!filter.empty() && in.label.find(filter) == std::string::npos)
            continue;
        if (!prepare(in)) {
            std::fprintf(stderr, "%s: %s\n", in.label.c_str(), in.error.c_str());
            status = 1;
            continue;
        }
        if (!measureTree(in, savedKeys)) {
            std::fprintf(stderr, "%s: the loader returned no tree\n", in.label.c_str());
            status = 1;
            continue;
        }
        std::map<Mode, Figures> figures;
        for (Mode mode : kModes) {
            Figures f;
            if (!measure(in, mode, roundsFor(in, rounds), savedKeys, f)) {
                std::fprintf(stderr, "%s/%s: rejected\n", in.label.c_str(), modeName(mode));
                status = 1;
                continue;
            }
            std::printf("%-14s %5s  expat %9.3f ms  loader %9.3f ms  destroy %9.3f ms  faults/load %.0f\n",
                        in.label.c_str(), modeName(mode), f.expat * 1e3, f.load * 1e3, f.destroy * 1e3, f.loadFaults);
            std::fflush(stdout);
            figures[mode] = f;
        }
        results.emplace_back(&in, std::move(figures));
    }
    printSummary(results);
    vornbench::removeScratchDirectory();
    return status;
}
