// Deterministic generator of camera configurations for the benchmarks.
//
// One seed describes one camera module: a sensor with its pixel array, binner
// and scaler, CSI receivers, 6 to 12 program groups of 20 to 60 kernels each,
// sinks and 8 to 16 pipelines. The graph descriptor lists all of it; the
// graph settings repeat use cases (one <settings> per use case, naming the
// sensor mode, the program groups and kernels of its pipeline with their
// enable bits, and the formats and resolutions of their ports) until the
// requested size is reached. Same seed and size, same bytes, on every
// platform: the generator uses its own PRNG and no library distributions.
#ifndef VORN_BENCH_CONFIG_GENERATOR_H
#define VORN_BENCH_CONFIG_GENERATOR_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornbench {

constexpr uint64_t kDefaultSeed = 0x5eed'0c0f'f1e5'2024ULL;

struct Document {
    std::string text;
    size_t elements = 0;         // element start tags, root included
    size_t attributes = 0;       // XML attributes over all elements
    size_t settingsEntries = 0;  // <settings> use cases (graph settings only)
    size_t sensorModes = 0;      // <sensor_mode> entries (graph settings only)
};

// The graph descriptor of the module described by seed (tens of kilobytes).
Document makeGraphDescriptor(uint64_t seed = kDefaultSeed);

// Graph settings for the same module, at least targetBytes long (the last
// use case may overshoot by one entry, about ten kilobytes).
Document makeGraphSettings(size_t targetBytes, uint64_t seed = kDefaultSeed);

// A graph descriptor and graph settings whose one graph scales with the
// number of program groups: a sensor source with one raw output and a CSI
// receiver feeding a tree of program groups (1 or 2 inputs and 2 or 3
// outputs each, 6 to 16 kernels), about one group in fifty built from a base
// node, outputs left over by the tree ending in pixel or statistics virtual
// sinks, a fifth of the connections static, and two overrides per 25 groups.
// The settings hold one <settings> entry naming every node and port of the
// graph, and a few sensor modes. Node names are pg<i>, px<i> (pixel sinks)
// and st<i> (statistics sinks), numbered from 0, so a bigger pipeline reuses
// every name of a smaller one. Each name becomes a generated key (about two
// per group).
struct ScaledPipeline {
    Document descriptor;
    Document settings;
    int graphId = 0;      // "id" of the graph and of its settings entry
    int settingsKey = 0;  // "key" of the settings entry
    size_t programGroups = 0;
    size_t derivedGroups = 0;  // program groups built from the base node
    size_t sinks = 0;          // virtual sinks, pixel and statistics
    size_t nodes = 0;          // top-level nodes of the result graph: sensor, receiver, groups, sinks
    size_t connections = 0;    // <connection> elements of the graph
    size_t staticConnections = 0;
    size_t overrides = 0;  // <apply> elements of the graph
};

ScaledPipeline makeScaledPipeline(size_t programGroups, uint64_t seed = kDefaultSeed);

// A scratch directory for benchmark inputs, created on first use
// ($VORN_BENCH_DIR if set and kept afterwards, else a fresh directory under
// $TMPDIR or /tmp). Empty when it cannot be created.
const std::string &scratchDirectory();
// Deletes the files written through the functions below and the directory;
// does nothing when the directory came from $VORN_BENCH_DIR.
void removeScratchDirectory();

// Write text to path as is, or gzip-compressed (real gzip format). False on
// any failure, with a partial file removed.
bool writePlainFile(const std::string &path, const std::string &text);
bool writeGzipFile(const std::string &path, const std::string &text);

}  // namespace vornbench

#endif
