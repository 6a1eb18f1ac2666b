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
