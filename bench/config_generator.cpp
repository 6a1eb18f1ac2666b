// Camera configuration generator: one module model, rendered as a graph
// descriptor or as graph settings of a requested size.
#include "config_generator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>
#include <zlib.h>

namespace vornbench {

namespace {

// splitmix64: tiny, fast, and the same sequence everywhere.
class Prng {
public:
    explicit Prng(uint64_t seed) : mState(seed) {}

    uint64_t next()
    {
        uint64_t z = (mState += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [lo, hi]; the modulo bias is irrelevant at these ranges.
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }

    bool chance(int percent) { return range(0, 99) < percent; }

    template <typename T, size_t N>
    const T &pick(const T (&items)[N])
    {
        return items[next() % N];
    }

    template <typename T>
    const T &pick(const std::vector<T> &items)
    {
        return items[next() % items.size()];
    }

private:
    uint64_t mState;
};

// Streams indented XML into a string and counts what it wrote. Values are
// generated without markup characters, so nothing needs escaping.
class XmlWriter {
public:
    explicit XmlWriter(Document &doc) : mDoc(doc) {}

    XmlWriter &begin(const std::string &name)
    {
        if (mTagOpen)
            mDoc.text += ">\n";
        mDoc.text.append(2 * mOpen.size(), ' ');
        mDoc.text += '<';
        mDoc.text += name;
        mOpen.push_back(name);
        mTagOpen = true;
        ++mDoc.elements;
        return *this;
    }

    XmlWriter &attr(const char *name, const std::string &value) { return attr(name, value.c_str()); }

    XmlWriter &attr(const char *name, const char *value)
    {
        mDoc.text += ' ';
        mDoc.text += name;
        mDoc.text += "=\"";
        mDoc.text += value;
        mDoc.text += '"';
        ++mDoc.attributes;
        return *this;
    }

    XmlWriter &attr(const char *name, long long value) { return attr(name, std::to_string(value)); }
    XmlWriter &attr(const char *name, int value) { return attr(name, static_cast<long long>(value)); }

    void end()
    {
        if (mTagOpen) {
            mDoc.text += "/>\n";
        } else {
            mDoc.text.append(2 * (mOpen.size() - 1), ' ');
            mDoc.text += "</";
            mDoc.text += mOpen.back();
            mDoc.text += ">\n";
        }
        mTagOpen = false;
        mOpen.pop_back();
    }

private:
    Document &mDoc;
    std::vector<std::string> mOpen;
    bool mTagOpen = false;
};

struct Resolution {
    int width;
    int height;
};

constexpr Resolution kResolutions[] = {
    {4032, 3024}, {4000, 3000}, {3840, 2160}, {2560, 1440}, {1920, 1440}, {1920, 1080},
    {1600, 1200}, {1280, 960},  {1280, 720},  {800, 600},   {640, 480},   {320, 240},
};
constexpr int kFrameRates[] = {15, 24, 30, 30, 30, 60, 60, 120, 240};
constexpr const char *kRawFormats[] = {"BG10", "GR10", "GB10", "RG10", "BG12", "GR12", "CSL6"};
constexpr const char *kYuvFormats[] = {"NV12", "NV21", "YUYV", "P010", "I420", "V420", "NV12_DEC400"};
constexpr const char *kStatFormats[] = {"STAT", "META", "PAF4"};
constexpr const char *kProgramGroupNames[] = {
    "isa_lb",    "psa_video", "bbps_video", "gdc_video", "tnr_video", "post_gdc",
    "isa_still", "psa_still", "bbps_still", "lbff_main", "ofs_main",  "pdaf_proc",
};
constexpr const char *kKernelBases[] = {
    "ob",        "lin",        "lsc",      "dpc",      "pedestal",  "bnlm",     "wb",         "demosaic",
    "ccm",       "gtc",        "gamma",    "csc",      "anr",       "xnr",      "tnr_blend",  "tnr_scale",
    "ee",        "sharp",      "iefd",     "yuv_ds",   "chroma_ds", "upscaler", "downscaler", "crop",
    "gdc",       "awb_stats",  "ae_stats", "af_stats", "hist",      "rgbs",     "ltm",        "hdr_merge",
    "dol_split", "pdaf_stats", "ir_split", "b2i_ds",   "tone_map",  "vcsc",     "pext",       "acm",
    "bxy_nr",    "fr_grid",    "glim",     "gmv",      "nlm",       "cas",      "smurf",      "tm_apply",
};
constexpr const char *kSinkNames[] = {
    "video_sink",     "preview_sink", "still_sink", "raw_sink", "ae_stats_sink",  "af_stats_sink",
    "awb_stats_sink", "pdaf_sink",    "dvs_sink",   "ir_sink",  "thumbnail_sink", "postview_sink",
};
constexpr const char *kOperationModes[] = {"normal", "low_power", "high_quality", "binning"};

// Kernels that carry crop and output resolutions in the settings.
bool resizes(const std::string &base)
{
    return base == "crop" || base == "upscaler" || base == "downscaler" || base == "yuv_ds" || base == "b2i_ds" ||
           base == "gdc" || base == "tnr_scale" || base == "chroma_ds";
}

struct Port {
    std::string name;
    int id;
    int direction;  // 0 input, 1 output
    std::string format;
    std::string contentType;
};

struct Kernel {
    std::string name;
    std::string base;
    int id;
    int metadata[3];
};

struct ProgramGroup {
    std::string name;
    int pgId;
    int execCtxId;
    std::vector<Kernel> kernels;
    std::vector<Port> inputs;
    std::vector<Port> outputs;
};

struct Sink {
    std::string name;
    int streamId;
    std::string contentType;
    std::string format;
};

struct Connection {
    std::string source;
    std::string sink;
    bool isStatic;
};

struct Pipeline {
    int id;
    std::string description;
    std::vector<size_t> programGroups;  // indices, in data-flow order
    std::vector<size_t> sinks;
    std::vector<Connection> connections;
};

struct SensorMode {
    std::string name;
    int id;
    Resolution full;
    Resolution output;
    int binning;
    int fps;
};

struct Module {
    std::string sensor;
    std::string pixelArray;
    std::string binner;
    std::string scaler;
    std::string rawFormat;
    std::vector<std::string> receivers;
    std::vector<ProgramGroup> programGroups;
    std::vector<Sink> sinks;
    std::vector<Pipeline> pipelines;
};

std::string endpoint(const std::string &node, const std::string &port) { return node + ":" + port; }

Module makeModule(uint64_t seed)
{
    Prng rng(seed);
    Module m;
    static constexpr const char *kSensors[] = {"imx_okt", "ov_okt", "s5k_okt", "hi_okt"};
    m.sensor = std::string(rng.pick(kSensors)) + std::to_string(rng.range(100, 999));
    m.pixelArray = m.sensor + "_pixel_array";
    m.binner = m.sensor + "_binner";
    m.scaler = m.sensor + "_scaler";
    m.rawFormat = rng.pick(kRawFormats);
    m.receivers = {"csi_be_0", "csi_be_soc_0"};

    const int pgCount = rng.range(6, 12);
    for (int p = 0; p < pgCount; ++p) {
        ProgramGroup pg;
        pg.name = kProgramGroupNames[p];
        pg.pgId = p;
        pg.execCtxId = p / 2;
        const int kernels = rng.range(20, 60);
        for (int k = 0; k < kernels; ++k) {
            Kernel kernel;
            kernel.base = rng.pick(kKernelBases);
            kernel.name = pg.name + "_" + kernel.base + "_" + std::to_string(k);
            kernel.id = k;
            for (int &word : kernel.metadata)
                word = rng.range(0, 15);
            pg.kernels.push_back(kernel);
        }
        int portId = 0;
        const int inputs = rng.range(2, 5);
        for (int i = 0; i < inputs; ++i) {
            const bool raw = p == 0 || rng.chance(30);
            pg.inputs.push_back({"input_" + std::to_string(i), portId++, 0,
                                 raw ? m.rawFormat : std::string(rng.pick(kYuvFormats)), raw ? "RAW" : "YUV"});
        }
        const int outputs = rng.range(3, 8);
        for (int i = 0; i < outputs; ++i) {
            const bool stats = rng.chance(35);
            pg.outputs.push_back({"output_" + std::to_string(i), portId++, 1,
                                  stats ? rng.pick(kStatFormats) : rng.pick(kYuvFormats), stats ? "STATS" : "YUV"});
        }
        m.programGroups.push_back(pg);
    }

    const int sinkCount = rng.range(5, 10);
    for (int s = 0; s < sinkCount; ++s) {
        const std::string name = kSinkNames[s];
        const bool stats = name.find("stats") != std::string::npos || name == "pdaf_sink";
        m.sinks.push_back({name, s, stats ? "STATS" : "YUV", stats ? "STAT" : rng.pick(kYuvFormats)});
    }

    const int pipelineCount = rng.range(8, 16);
    for (int g = 0; g < pipelineCount; ++g) {
        Pipeline pipe;
        pipe.id = 100 + g;
        // First group takes the receiver's output; later ones feed on earlier ones.
        pipe.programGroups.push_back(static_cast<size_t>(rng.range(0, 1)));
        const int extra = rng.range(2, 6);
        for (size_t p = pipe.programGroups.back() + 1; p < m.programGroups.size(); ++p)
            if (static_cast<int>(pipe.programGroups.size()) <= extra && rng.chance(60))
                pipe.programGroups.push_back(p);

        auto &c = pipe.connections;
        c.push_back({endpoint(m.pixelArray, "output"), endpoint(m.binner, "input"), true});
        c.push_back({endpoint(m.binner, "output"), endpoint(m.scaler, "input"), true});
        c.push_back({endpoint(m.scaler, "output"), endpoint(m.sensor, "port_0"), true});
        const std::string &receiver = m.receivers[static_cast<size_t>(g) % m.receivers.size()];
        c.push_back({endpoint(m.sensor, "port_0"), endpoint(receiver, "input"), true});
        const ProgramGroup &first = m.programGroups[pipe.programGroups.front()];
        c.push_back({endpoint(receiver, "output"), endpoint(first.name, first.inputs.front().name), false});

        std::vector<std::string> produced;  // outputs of the groups so far
        for (size_t i = 0; i < pipe.programGroups.size(); ++i) {
            const ProgramGroup &pg = m.programGroups[pipe.programGroups[i]];
            for (size_t in = (i == 0 ? 1 : 0); in < pg.inputs.size(); ++in) {
                const std::string source = produced.empty() ? endpoint(receiver, "output") : rng.pick(produced);
                c.push_back({source, endpoint(pg.name, pg.inputs[in].name), rng.chance(20)});
            }
            for (const Port &out : pg.outputs)
                produced.push_back(endpoint(pg.name, out.name));
        }
        // Roughly half the outputs leave the pipeline at a sink.
        for (const std::string &out : produced) {
            if (!rng.chance(50))
                continue;
            const size_t sink = static_cast<size_t>(rng.range(0, sinkCount - 1));
            c.push_back({out, m.sinks[sink].name, false});
            bool known = false;
            for (size_t s : pipe.sinks)
                known = known || s == sink;
            if (!known)
                pipe.sinks.push_back(sink);
        }
        const bool still = m.programGroups[pipe.programGroups.back()].name.find("still") != std::string::npos;
        pipe.description = std::string(still ? "still" : "video") + "_pipe_" + std::to_string(g);
        m.pipelines.push_back(pipe);
    }
    return m;
}

void writePort(XmlWriter &w, const std::string &name, int id, int direction, const std::string &format,
               const std::string &contentType)
{
    w.begin("port").attr("name", name).attr("type", "port").attr("id", id).attr("direction", direction);
    if (!format.empty())
        w.attr("format", format);
    if (!contentType.empty())
        w.attr("content_type", contentType);
    w.attr("enabled", 1).attr("private", 0);
    w.end();
}

std::string metadataText(const int (&words)[3])
{
    return std::to_string(words[0]) + "," + std::to_string(words[1]) + "," + std::to_string(words[2]);
}

void writeResolution(XmlWriter &w, const char *element, Resolution r, const std::string &format)
{
    w.begin(element);
    if (!format.empty())
        w.attr("format", format);
    w.attr("width", r.width).attr("height", r.height);
    w.end();
}

void writeCrop(XmlWriter &w, const char *element, Resolution r, int left, int top)
{
    w.begin(element)
        .attr("width", r.width)
        .attr("height", r.height)
        .attr("left", left)
        .attr("top", top)
        .attr("right", left)
        .attr("bottom", top);
    w.end();
}

std::vector<SensorMode> makeSensorModes(Prng &rng, size_t count)
{
    std::vector<SensorMode> modes;
    const Resolution full = kResolutions[rng.range(0, 1)];
    for (size_t i = 0; i < count; ++i) {
        SensorMode mode;
        mode.id = static_cast<int>(i);
        mode.full = full;
        mode.binning = rng.chance(40) ? 2 : 1;
        const int cropX = 8 * rng.range(0, 16);
        const int cropY = 8 * rng.range(0, 16);
        mode.output = {(full.width - 2 * cropX) / mode.binning, (full.height - 2 * cropY) / mode.binning};
        mode.fps = rng.pick(kFrameRates);
        mode.name = std::to_string(mode.output.width) + "x" + std::to_string(mode.output.height) + "_" +
                    std::to_string(mode.fps) + "fps_" + std::to_string(i);
        modes.push_back(mode);
    }
    return modes;
}

void writeSensorModes(XmlWriter &w, const Module &m, const std::vector<SensorMode> &modes)
{
    // One attribute name the key table does not know, as real modules have.
    w.begin("sensor_modes").attr("sensor_name", m.sensor).attr("pdaf_type", "none").attr("dol_mode", "off");
    for (const SensorMode &mode : modes) {
        w.begin("sensor_mode")
            .attr("name", mode.name)
            .attr("id", mode.id)
            .attr("width", mode.output.width)
            .attr("height", mode.output.height)
            .attr("fps", mode.fps);
        w.begin("pixel_array");
        writeCrop(w, "input", mode.full, (mode.full.width - mode.output.width * mode.binning) / 2,
                  (mode.full.height - mode.output.height * mode.binning) / 2);
        writeResolution(w, "output", {mode.output.width * mode.binning, mode.output.height * mode.binning}, "");
        w.end();
        w.begin("binner").attr("h_factor", mode.binning).attr("v_factor", mode.binning);
        w.end();
        w.begin("scaler").attr("num_factor", 1).attr("denom_factor", 1);
        w.end();
        writeResolution(w, "csi_output", mode.output, m.rawFormat);
        w.end();
    }
    w.end();
}

void writeSettingsEntry(XmlWriter &w, Prng &rng, const Module &m, const std::vector<SensorMode> &modes, int key)
{
    const Pipeline &pipe = rng.pick(m.pipelines);
    const SensorMode &mode = rng.pick(modes);
    const Resolution stream = kResolutions[rng.range(2, static_cast<int>(std::size(kResolutions)) - 1)];
    w.begin("settings")
        .attr("key", key)
        .attr("id", pipe.id)
        .attr("width", stream.width)
        .attr("height", stream.height)
        .attr("fps", mode.fps)
        .attr("bpp", 10)
        .attr("dvs", rng.range(0, 1))
        .attr("tnr", rng.range(0, 1))
        .attr("power_factor", rng.range(1, 5))
        .attr("psys_frequency", 100 * rng.range(2, 8))
        .attr("concurrent", 0)
        .attr("description",
              pipe.description + "_" + std::to_string(stream.width) + "x" + std::to_string(stream.height));

    w.begin(m.sensor).attr("mode_id", mode.id).attr("csi_port", rng.range(0, 3));
    w.begin(m.pixelArray);
    writeCrop(w, "output", mode.output, 0, 0);
    w.end();
    w.begin(m.binner).attr("h_factor", mode.binning).attr("v_factor", mode.binning);
    w.end();
    w.begin(m.scaler).attr("num_factor", 1).attr("denom_factor", 1);
    w.end();
    writeResolution(w, "port_0", mode.output, m.rawFormat);
    w.end();

    for (const std::string &receiver : m.receivers) {
        w.begin(receiver).attr("enabled", 1);
        writeResolution(w, "input", mode.output, m.rawFormat);
        writeResolution(w, "output", mode.output, m.rawFormat);
        w.end();
    }

    for (size_t index : pipe.programGroups) {
        const ProgramGroup &pg = m.programGroups[index];
        w.begin(pg.name)
            .attr("enabled", 1)
            .attr("exec_ctx_id", pg.execCtxId)
            .attr("operation_mode", rng.pick(kOperationModes));
        for (const Kernel &kernel : pg.kernels) {
            w.begin(kernel.name).attr("enabled", rng.chance(85) ? 1 : 0);
            if (rng.chance(10))
                w.attr("metadata", metadataText(kernel.metadata));
            if (resizes(kernel.base)) {
                writeCrop(w, "input", mode.output, 8 * rng.range(0, 4), 8 * rng.range(0, 4));
                writeResolution(w, "output", stream, "");
            }
            w.end();
        }
        for (const Port &port : pg.inputs) {
            w.begin(port.name).attr("format", port.format).attr("width", mode.output.width);
            w.attr("height", mode.output.height).attr("enabled", 1);
            w.end();
        }
        for (const Port &port : pg.outputs) {
            w.begin(port.name).attr("format", port.format).attr("width", stream.width);
            w.attr("height", stream.height).attr("enabled", rng.chance(80) ? 1 : 0);
            w.end();
        }
        w.end();
    }

    for (size_t index : pipe.sinks) {
        const Sink &sink = m.sinks[index];
        w.begin(sink.name)
            .attr("stream_id", sink.streamId)
            .attr("format", sink.format)
            .attr("width", stream.width)
            .attr("height", stream.height)
            .attr("enabled", 1);
        w.end();
    }
    w.end();
}

}  // namespace

Document makeGraphDescriptor(uint64_t seed)
{
    const Module m = makeModule(seed);
    Prng rng(seed ^ 0xd35c'0000ULL);
    Document doc;
    XmlWriter w(doc);
    doc.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    w.begin("graph_descriptor").attr("version", "6");
    w.begin("nodes");

    w.begin("sensor").attr("name", m.sensor).attr("sensor_type", "bayer").attr("description", "rear camera");
    w.begin("pixel_array").attr("name", m.pixelArray);
    writePort(w, "output", 0, 1, m.rawFormat, "RAW");
    w.end();
    for (const std::string &block : {m.binner, m.scaler}) {
        w.begin(block == m.binner ? "binner" : "scaler").attr("name", block);
        writePort(w, "input", 0, 0, m.rawFormat, "RAW");
        writePort(w, "output", 1, 1, m.rawFormat, "RAW");
        w.end();
    }
    writePort(w, "port_0", 0, 1, m.rawFormat, "RAW");
    w.end();

    for (const std::string &receiver : m.receivers) {
        w.begin(receiver.find("soc") != std::string::npos ? "csi_be_soc" : "csi_be").attr("name", receiver);
        w.attr("stream_id", 0);
        writePort(w, "input", 0, 0, m.rawFormat, "RAW");
        writePort(w, "output", 1, 1, m.rawFormat, "RAW");
        w.end();
    }

    for (const ProgramGroup &pg : m.programGroups) {
        w.begin("program_group")
            .attr("name", pg.name)
            .attr("pg_id", pg.pgId)
            .attr("exec_ctx_id", pg.execCtxId)
            .attr("stream_id", 0)
            .attr("psys_frequency", 400);
        for (const Kernel &kernel : pg.kernels) {
            w.begin("kernel")
                .attr("name", kernel.name)
                .attr("id", kernel.id)
                .attr("enabled", rng.chance(90) ? 1 : 0)
                .attr("metadata", metadataText(kernel.metadata));
            if (rng.chance(15))
                w.attr("rcb", 1);
            if (rng.chance(10))
                w.attr("branch_point", 1);
            w.end();
        }
        for (const Port &port : pg.inputs)
            writePort(w, port.name, port.id, port.direction, port.format, port.contentType);
        for (const Port &port : pg.outputs)
            writePort(w, port.name, port.id, port.direction, port.format, port.contentType);
        w.end();
    }

    for (const Sink &sink : m.sinks) {
        w.begin("node")
            .attr("name", sink.name)
            .attr("type", "sink")
            .attr("stream_id", sink.streamId)
            .attr("direction", 0)
            .attr("enabled", 1)
            .attr("content_type", sink.contentType)
            .attr("format", sink.format);
        w.end();
    }
    w.end();  // nodes

    w.begin("graphs");
    for (const Pipeline &pipe : m.pipelines) {
        w.begin("graph").attr("id", pipe.id).attr("description", pipe.description);
        for (const Connection &c : pipe.connections) {
            w.begin("connection").attr("source", c.source).attr("sink", c.sink);
            if (c.isStatic)
                w.attr("static", "true");
            w.end();
        }
        w.end();
    }
    w.end();  // graphs
    w.end();  // graph_descriptor
    return doc;
}

Document makeGraphSettings(size_t targetBytes, uint64_t seed)
{
    const Module m = makeModule(seed);
    Prng rng(seed ^ 0x5e77'0000ULL);
    Document doc;
    doc.text.reserve(targetBytes + 64 * 1024);
    XmlWriter w(doc);
    doc.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    w.begin("graph_settings").attr("version", "6.2");

    // Bigger settings files belong to modules with more sensor modes.
    const size_t modeCount = 4 + std::min<size_t>(20, targetBytes / (2u << 20));
    const std::vector<SensorMode> modes = makeSensorModes(rng, modeCount);
    writeSensorModes(w, m, modes);
    doc.sensorModes = modes.size();

    static constexpr size_t kClosingTag = sizeof("</graph_settings>\n") - 1;
    int key = 1000;
    while (doc.text.size() + kClosingTag < targetBytes) {
        writeSettingsEntry(w, rng, m, modes, key++);
        ++doc.settingsEntries;
    }
    w.end();
    return doc;
}

// --- a pipeline of chosen size -------------------------------------------------

namespace {

struct ScaledPort {
    std::string name;
    int id;
    bool stats;  // statistics rather than pixel data
    std::string format;
    Resolution size;
    bool connected = false;
};

struct ScaledGroup {
    std::string name;
    int pgId;
    int execCtxId;
    int streamId;
    bool derived;
    std::vector<std::string> kernels;
    std::vector<ScaledPort> inputs;
    std::vector<ScaledPort> outputs;
};

struct ScaledSink {
    std::string name;
    bool stats;
    int streamId;  // -1: taken from the producer
    std::string format;
    Resolution size;
};

constexpr const char *kScaledSensor = "sensor";
constexpr const char *kScaledReceiver = "csi_be_0";
constexpr const char *kScaledBase = "pg_base";
// The base node's kernels; a group built from it has its two inputs and
// three outputs (pixel, pixel, statistics).
constexpr const char *kBaseKernels[] = {"ob", "lsc", "bnlm", "demosaic", "ccm", "gamma", "csc", "ae_stats"};
constexpr int kBaseInputs = 2;
constexpr int kBaseOutputs = 3;

const char *contentTypeOf(bool stats) { return stats ? "statistics" : "pixel_data"; }

ScaledPort scaledPort(Prng &rng, const std::string &name, int id, bool stats)
{
    ScaledPort port;
    port.name = name;
    port.id = id;
    port.stats = stats;
    port.format = stats ? rng.pick(kStatFormats) : rng.pick(kYuvFormats);
    port.size = stats ? Resolution{64, 48} : kResolutions[rng.range(2, static_cast<int>(std::size(kResolutions)) - 1)];
    return port;
}

// Picks count distinct kernel names from the kernel vocabulary.
std::vector<std::string> pickKernels(Prng &rng, int count)
{
    std::vector<std::string> pool(std::begin(kKernelBases), std::end(kKernelBases));
    std::vector<std::string> picked;
    for (int k = 0; k < count && !pool.empty(); ++k) {
        const size_t at = static_cast<size_t>(rng.range(0, static_cast<int>(pool.size()) - 1));
        picked.push_back(pool[at]);
        pool[at] = pool.back();
        pool.pop_back();
    }
    return picked;
}

struct ScaledModel {
    std::string rawFormat;
    Resolution sensorSize{};
    std::vector<SensorMode> modes;
    size_t activeMode = 0;
    std::vector<ScaledGroup> groups;
    std::vector<ScaledSink> sinks;
    std::vector<Connection> connections;
    std::vector<std::pair<std::string, std::string>> overrides;  // target, value
};

ScaledModel makeScaledModel(size_t programGroups, Prng &rng)
{
    ScaledModel m;
    m.rawFormat = rng.pick(kRawFormats);
    m.modes = makeSensorModes(rng, 4);
    m.activeMode = static_cast<size_t>(rng.range(0, static_cast<int>(m.modes.size()) - 1));
    m.sensorSize = m.modes[m.activeMode].output;

    for (size_t i = 0; i < programGroups; ++i) {
        ScaledGroup g;
        g.name = "pg" + std::to_string(i);
        g.pgId = static_cast<int>(i);
        g.execCtxId = static_cast<int>(i / 4);
        g.streamId = 60000 + static_cast<int>(i % 4);
        // The first group takes the receiver's output alone, so it is never derived.
        g.derived = i % 50 == 25;
        int inputs = 0;
        if (g.derived) {
            g.kernels.assign(std::begin(kBaseKernels), std::end(kBaseKernels));
            inputs = kBaseInputs;
        } else {
            g.kernels = pickKernels(rng, rng.range(6, 16));
            inputs = i == 0 ? 1 : (rng.chance(35) ? 2 : 1);
        }
        int portId = 0;
        for (int in = 0; in < inputs; ++in)
            g.inputs.push_back(scaledPort(rng, "in" + std::to_string(in), portId++, false));
        if (g.derived) {
            g.outputs.push_back(scaledPort(rng, "out0", portId++, false));
            g.outputs.push_back(scaledPort(rng, "out1", portId++, false));
            g.outputs.push_back(scaledPort(rng, "out2", portId++, true));
        } else {
            const int outputs = rng.range(2, 3);
            g.outputs.push_back(scaledPort(rng, "out0", portId++, false));
            g.outputs.push_back(scaledPort(rng, "out1", portId++, !rng.chance(60)));
            if (outputs == 3)
                g.outputs.push_back(scaledPort(rng, "out2", portId++, true));
        }
        m.groups.push_back(g);
    }

    auto pixelOutput = [&rng](ScaledGroup &g) -> ScaledPort & {
        std::vector<size_t> pixel;
        for (size_t o = 0; o < g.outputs.size(); ++o)
            if (!g.outputs[o].stats)
                pixel.push_back(o);
        return g.outputs[rng.pick(pixel)];
    };

    m.connections.push_back({endpoint(kScaledSensor, "out"), endpoint(kScaledReceiver, "in"), true});
    for (size_t i = 0; i < m.groups.size(); ++i) {
        ScaledGroup &g = m.groups[i];
        for (size_t in = 0; in < g.inputs.size(); ++in) {
            std::string source;
            if (i == 0) {
                source = endpoint(kScaledReceiver, "out");
            } else {
                // The main input from one of the last few groups keeps the
                // tree deep; a second input may come from any earlier one.
                const int parent = in == 0 ? rng.range(std::max(0, static_cast<int>(i) - 6), static_cast<int>(i) - 1)
                                           : rng.range(0, static_cast<int>(i) - 1);
                ScaledGroup &producer = m.groups[static_cast<size_t>(parent)];
                ScaledPort &out = pixelOutput(producer);
                out.connected = true;
                source = endpoint(producer.name, out.name);
            }
            m.connections.push_back({source, endpoint(g.name, g.inputs[in].name), i != 0 && rng.chance(20)});
        }
    }

    // Outputs the tree left over end at virtual sinks, or nowhere.
    size_t pixelSinks = 0;
    size_t statsSinks = 0;
    for (ScaledGroup &g : m.groups) {
        for (ScaledPort &out : g.outputs) {
            if (out.connected || !rng.chance(out.stats ? 70 : 50))
                continue;
            ScaledSink sink;
            sink.stats = out.stats;
            // Numbered per kind, so a bigger pipeline reuses a smaller one's names.
            sink.name = (out.stats ? "st" : "px") + std::to_string(out.stats ? statsSinks++ : pixelSinks++);
            sink.streamId = rng.chance(50) ? static_cast<int>(m.sinks.size() % 8) : -1;
            sink.format = out.format;
            sink.size = out.size;
            m.sinks.push_back(sink);
            out.connected = true;
            m.connections.push_back({endpoint(g.name, out.name), sink.name, rng.chance(25)});
        }
    }

    for (size_t i = 0; i < m.groups.size(); i += 25) {
        m.overrides.emplace_back(m.groups[i].name + ":out0:format", "NV12");
        m.overrides.emplace_back(m.groups[i].name + ":psys_frequency", "600");
    }
    return m;
}

void writeScaledPort(XmlWriter &w, const ScaledPort &port, int direction)
{
    writePort(w, port.name, port.id, direction, port.format, contentTypeOf(port.stats));
}

void writeScaledKernels(XmlWriter &w, Prng &rng, const std::vector<std::string> &kernels)
{
    for (size_t k = 0; k < kernels.size(); ++k) {
        const int metadata[3] = {rng.range(0, 15), rng.range(0, 15), rng.range(0, 15)};
        w.begin("kernel")
            .attr("name", kernels[k])
            .attr("id", static_cast<int>(k))
            .attr("enabled", 1)
            .attr("metadata", metadataText(metadata));
        if (rng.chance(15))
            w.attr("rcb", 1);
        w.end();
    }
}

void writeScaledDescriptor(ScaledPipeline &out, const ScaledModel &m, Prng &rng)
{
    Document &doc = out.descriptor;
    XmlWriter w(doc);
    doc.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    w.begin("graph_descriptor").attr("version", "6");
    w.begin("nodes");

    w.begin("source").attr("name", kScaledSensor).attr("stream_id", 0).attr("sensor_type", "bayer");
    writePort(w, "out", 0, 1, m.rawFormat, "pixel_data");
    w.end();
    w.begin("csi_be").attr("name", kScaledReceiver).attr("stream_id", 0);
    writePort(w, "in", 0, 0, m.rawFormat, "pixel_data");
    writePort(w, "out", 1, 1, m.rawFormat, "pixel_data");
    w.end();

    w.begin("base_node")
        .attr("name", kScaledBase)
        .attr("base_type", "program_group")
        .attr("pg_id", 0)
        .attr("exec_ctx_id", 0)
        .attr("stream_id", 60000)
        .attr("psys_frequency", 400);
    writeScaledKernels(w, rng, std::vector<std::string>(std::begin(kBaseKernels), std::end(kBaseKernels)));
    for (int in = 0; in < kBaseInputs; ++in)
        writePort(w, "in" + std::to_string(in), in, 0, "NV12", "pixel_data");
    for (int o = 0; o < kBaseOutputs; ++o)
        writePort(w, "out" + std::to_string(o), kBaseInputs + o, 1, o == 2 ? "STAT" : "NV12", contentTypeOf(o == 2));
    w.end();

    for (const ScaledGroup &g : m.groups) {
        if (g.derived) {
            w.begin("program_group").attr("name", g.name).attr("base_node", kScaledBase);
            w.begin("override").attr("target", "pg_id").attr("value", g.pgId);
            w.end();
            w.begin("override").attr("target", "exec_ctx_id").attr("value", g.execCtxId);
            w.end();
            w.begin("override").attr("target", "stream_id").attr("value", g.streamId);
            w.end();
            w.end();
            ++out.derivedGroups;
            continue;
        }
        w.begin("program_group")
            .attr("name", g.name)
            .attr("pg_id", g.pgId)
            .attr("exec_ctx_id", g.execCtxId)
            .attr("stream_id", g.streamId)
            .attr("psys_frequency", 400);
        writeScaledKernels(w, rng, g.kernels);
        for (const ScaledPort &port : g.inputs)
            writeScaledPort(w, port, 0);
        for (const ScaledPort &port : g.outputs)
            writeScaledPort(w, port, 1);
        w.end();
    }

    for (const ScaledSink &sink : m.sinks) {
        w.begin("sink").attr("name", sink.name);
        if (sink.streamId >= 0)
            w.attr("stream_id", sink.streamId);
        w.attr("format", sink.format).attr("content_type", contentTypeOf(sink.stats));
        w.end();
    }
    w.end();  // nodes

    w.begin("graphs");
    w.begin("graph").attr("id", out.graphId).attr("description", "scaled_pipe_" + std::to_string(m.groups.size()));
    for (const Connection &c : m.connections) {
        w.begin("connection").attr("source", c.source).attr("sink", c.sink);
        if (c.isStatic) {
            w.attr("static", "true");
            ++out.staticConnections;
        }
        w.end();
    }
    for (const auto &change : m.overrides) {
        w.begin("apply").attr("target", change.first).attr("value", change.second);
        w.end();
    }
    w.end();  // graph
    w.end();  // graphs
    w.end();  // graph_descriptor
}

void writeScaledPortSettings(XmlWriter &w, const ScaledPort &port, bool enabled)
{
    w.begin(port.name)
        .attr("format", port.format)
        .attr("width", port.size.width)
        .attr("height", port.size.height)
        .attr("enabled", enabled ? 1 : 0);
    w.end();
}

void writeScaledSettings(ScaledPipeline &out, const ScaledModel &m, Prng &rng)
{
    Document &doc = out.settings;
    XmlWriter w(doc);
    doc.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    w.begin("graph_settings").attr("version", "6.0");

    w.begin("sensor_modes").attr("sensor_name", "scaled_sensor").attr("bpp", 10);
    for (const SensorMode &mode : m.modes) {
        w.begin("sensor_mode")
            .attr("name", mode.name)
            .attr("id", mode.id)
            .attr("width", mode.output.width)
            .attr("height", mode.output.height)
            .attr("fps", mode.fps);
        writeResolution(w, "out", mode.output, m.rawFormat);
        w.end();
    }
    w.end();
    doc.sensorModes = m.modes.size();

    const SensorMode &mode = m.modes[m.activeMode];
    w.begin("settings")
        .attr("key", out.settingsKey)
        .attr("id", out.graphId)
        .attr("width", 1920)
        .attr("height", 1080)
        .attr("fps", mode.fps)
        .attr("description", "scaled_pipe_" + std::to_string(m.groups.size()));
    ++doc.settingsEntries;

    w.begin(kScaledSensor).attr("mode_id", mode.name);
    writeResolution(w, "out", mode.output, m.rawFormat);
    w.end();
    w.begin(kScaledReceiver).attr("enabled", 1);
    writeResolution(w, "in", mode.output, m.rawFormat);
    writeResolution(w, "out", mode.output, m.rawFormat);
    w.end();

    for (const ScaledGroup &g : m.groups) {
        w.begin(g.name).attr("enabled", 1).attr("operation_mode", rng.pick(kOperationModes));
        for (const std::string &kernel : g.kernels) {
            w.begin(kernel).attr("enabled", rng.chance(85) ? 1 : 0);
            if (resizes(kernel)) {
                writeCrop(w, "input", m.sensorSize, 8 * rng.range(0, 4), 8 * rng.range(0, 4));
                writeResolution(w, "output", g.outputs.front().size, "");
            }
            w.end();
        }
        for (const ScaledPort &port : g.inputs)
            writeScaledPortSettings(w, port, true);
        // Outputs nothing consumes are mostly switched off already here.
        for (const ScaledPort &port : g.outputs)
            writeScaledPortSettings(w, port, port.connected || rng.chance(30));
        w.end();
    }

    for (const ScaledSink &sink : m.sinks) {
        w.begin(sink.name)
            .attr("format", sink.format)
            .attr("width", sink.size.width)
            .attr("height", sink.size.height)
            .attr("enabled", 1);
        w.end();
    }
    w.end();  // settings
    w.end();  // graph_settings
}

}  // namespace

ScaledPipeline makeScaledPipeline(size_t programGroups, uint64_t seed)
{
    Prng rng(seed ^ 0x5ca1'ed00'0000ULL);
    const ScaledModel m = makeScaledModel(programGroups, rng);
    ScaledPipeline out;
    out.graphId = 100;
    out.settingsKey = 9000;
    out.programGroups = m.groups.size();
    out.sinks = m.sinks.size();
    // Every connection is made: the settings name every endpoint and enable
    // every connected output, so each node of the model is in the result.
    out.nodes = 2 + m.groups.size() + m.sinks.size();
    out.connections = m.connections.size();
    out.overrides = m.overrides.size();
    writeScaledDescriptor(out, m, rng);
    writeScaledSettings(out, m, rng);
    return out;
}

namespace {

struct Scratch {
    std::string path;
    bool owned = false;
    bool tried = false;
    std::vector<std::string> files;
};

Scratch &scratch()
{
    static Scratch s;
    return s;
}

void remember(const std::string &path)
{
    for (const std::string &known : scratch().files)
        if (known == path)
            return;
    scratch().files.push_back(path);
}

}  // namespace

const std::string &scratchDirectory()
{
    Scratch &s = scratch();
    if (s.tried)
        return s.path;
    s.tried = true;
    if (const char *fixed = std::getenv("VORN_BENCH_DIR"); fixed != nullptr && fixed[0] != '\0') {
        s.path = fixed;
        return s.path;
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/vorn_bench.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) {
        s.path = buffer.data();
        s.owned = true;
    }
    return s.path;
}

void removeScratchDirectory()
{
    Scratch &s = scratch();
    // A directory named by the user keeps its inputs for inspection.
    if (!s.owned)
        return;
    for (const std::string &file : s.files)
        std::remove(file.c_str());
    s.files.clear();
    rmdir(s.path.c_str());
}

bool writePlainFile(const std::string &path, const std::string &text)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    remember(path);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!(written && closed)) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

bool writeGzipFile(const std::string &path, const std::string &text)
{
    gzFile file = gzopen(path.c_str(), "wb6");
    if (file == nullptr)
        return false;
    remember(path);
    bool written = true;
    constexpr size_t kPiece = size_t{1} << 20;
    for (size_t done = 0; written && done < text.size(); done += kPiece) {
        const size_t piece = std::min(kPiece, text.size() - done);
        written = gzwrite(file, text.data() + done, static_cast<unsigned>(piece)) == static_cast<int>(piece);
    }
    const bool closed = gzclose(file) == Z_OK;
    if (!(written && closed)) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace vornbench
