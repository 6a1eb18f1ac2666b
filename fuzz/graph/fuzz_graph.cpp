// Fuzz target of the main road of libvorn: an input is a graph descriptor and
// graph settings separated by a NUL byte (without one, the whole input is the
// settings and the bundled sample descriptor is used). Both are loaded from
// memory; every settings entry (up to 16) gets its result graph built, read
// through the port, format and execution-context queries, turned into kernel
// lists (both lookups of them and their dumps, stream chains, routing and
// MBR limits; new-version graphs through their analysis, records included),
// for generations 6 and 7 also analysed directly by stream and context, edited
// through a format change and released. Nothing may crash, leak or read out
// of bounds.
//
// Loading adds generated keys to the process-wide key table; the table is
// put back after each input so that inputs stay independent.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <vorn/vorn.h>

using namespace Vorn;

namespace {

constexpr size_t kMaxGraphs = 16;

IGraphConfig *parse(const char *data, size_t size)
{
    VornParser parser;
    IGraphConfig *tree = nullptr;
    parser.parseVornXmlData(data, size, &tree);
    return tree;
}

const std::string &sampleDescriptor()
{
    static const std::string text = [] {
        std::string content;
        if (FILE *file = std::fopen(VORN_SAMPLE_DIR "/sample_descriptor.xml", "rb")) {
            char buffer[4096];
            size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                content.append(buffer, got);
            std::fclose(file);
        }
        return content;
    }();
    return text;
}

void readPort(IGraphConfig *port)
{
    uint32_t enabled = 0, uid = 0, width = 0, height = 0, fourcc = 0, bpl = 0, bpp = 0;
    if (GraphCameraUtil::portGetFormat(port, enabled, uid, width, height, fourcc, bpl, bpp) == err_none &&
        enabled != 0) {
        VornFormats::ve_format_t format;
        if (VornFormats::getFormatByFourcc(fourcc, format) == err_none) {
            uint32_t offsets[3] = {}, sizes[3] = {};
            (void)VornFormats::calculateBufferSize(format, width, height, bpl, offsets, sizes);
        }
    }
    GraphCameraUtil::PortDescriptor descriptor;
    (void)GraphCameraUtil::portGetDescriptor(port, descriptor);
    (void)GraphCameraUtil::portGetPeerFormat(port);
    (void)GraphCameraUtil::isEdgePort(port);
    (void)GraphCameraUtil::portIsVirtual(port);
    int32_t w = 0, h = 0, l = 0, t = 0, r = 0, b = 0;
    (void)GraphCameraUtil::getDimensions(port, &w, &h, &l, &t, &r, &b);
    IGraphConfig *peer = nullptr;
    (void)GraphCameraUtil::portGetPeer(port, &peer);
}

// Reads every record a list hands out, so that a record pointing outside its
// arrays is found.
void touchRecords(const ve_isp_tol_program_group &group)
{
    volatile int32_t sink = 0;
    for (uint32_t i = 0; i < group.kernel_count; ++i) {
        const ve_isp_tol_run_kernels &record = group.run_kernels[i];
        if (record.resolution_history != nullptr)
            sink = sink + record.resolution_history->output_width;
        const uint32_t infos = record.resolution_info_count != 0 ? record.resolution_info_count : 1;
        for (uint32_t k = 0; record.resolution_info != nullptr && k < infos; ++k)
            sink = sink + record.resolution_info[k].output_height;
    }
}

void readKernelLists(IGraphConfig *graph)
{
    TolKorUtils kor;
    (void)kor.initKorUtils(graph);
    std::vector<int32_t> streams;
    (void)kor.getStreamIds(streams, false);
    (void)kor.getStreamIds(streams, true);
    streams.push_back(-1);
    for (int32_t stream : streams) {
        ve_isp_tol_program_group group{};
        kor.getProgramGroup(stream, group);
        touchRecords(group);
        kor.dumpKernels(stream);
        ve_view_mbr_limits_t limits;
        (void)kor.getMbrData(stream, &limits);
    }
    NodeIterator programGroups(graph);
    while (IGraphConfig *programGroup = programGroups.iterateByType(key_program_group)) {
        ve_isp_tol_program_group group{};
        if (kor.getProgramGroup(programGroup, group) == err_none) {
            touchRecords(group);
            TolKorUtils::dumpKernels(group.run_kernels, group.kernel_count);
        }
    }
    TolKorUtils::StreamChainMap chains;
    (void)kor.getStreamChains(chains);
    TolKorUtils::RoutingInfoMap routing;
    (void)kor.getRoutingInfo(routing);
    float gain = 0;
    std::string mode;
    (void)kor.getDolInfo(gain, mode);
}

// The analysis of a new-version graph, by stream and by execution context,
// with its records (per subgraph and per program group) and dumps; every
// status is acceptable, a crash, hang or record out of bounds is not.
void analyseGraph(const IGraphConfig *graph)
{
    const std::shared_ptr<IspUtils> isp = IspUtils::Factory(graph);
    const GdfVersion version = isp != nullptr ? isp->getOktVersion() : GDF_VERSION_NONE;
    if (version < GDF_VERSION_OKT6)
        return;
    GraphUtil util;
    for (const KeyId key : {key_stream_id, key_exec_ctx_id}) {
        (void)util.init(key, graph, version);
        for (const auto &entry : util.subGraphs()) {
            util.dumpInnerGraph(entry.first);
            util.dumpKernels(entry.first);
            (void)util.disableKernelsToDisabledTerminals(*entry.second);
            ve_isp_tol_program_group group{};
            if (util.getKorData(entry.first, group) == err_none)
                touchRecords(group);
            for (const IGraphConfig *pg : entry.second->pgs) {
                ve_isp_tol_program_group byPg{};
                if (util.getPgKorData(pg, byPg) == err_none)
                    touchRecords(byPg);
            }
        }
        util.dumpKorStructs();
    }
}

void readGraph(IGraphConfig *graph)
{
    readKernelLists(graph);
    analyseGraph(graph);
    std::vector<IGraphConfig *> sources;
    (void)GraphCameraUtil::getSourceNode(graph, sources);
    std::set<int32_t> contexts;
    (void)GraphCameraUtil::getExecCtxIds(*graph, contexts);
    std::map<int32_t, int32_t> tuning;
    (void)GraphCameraUtil::getExecCtxIdsTuningMap(*graph, tuning);
    std::vector<std::pair<std::string, std::string>> connections;
    std::vector<std::string> inputs, outputs;
    (void)GraphCameraUtil::getExecCtxConnectionPorts(graph, connections, inputs, outputs);
    for (int32_t context : contexts) {
        std::vector<IGraphConfig *> ports;
        (void)GraphCameraUtil::getInputPorts(key_exec_ctx_id, context, *graph, ports);
        (void)GraphCameraUtil::getOutputPorts(key_exec_ctx_id, context, *graph, ports);
    }
    std::vector<IGraphConfig *> sinks;
    (void)GraphCameraUtil::graphGetSinksByName("", graph, sinks);
    std::string type;
    (void)GraphCameraUtil::sensorGetType(graph, type);

    // Ports one level below the top nodes; the first pixel port also gets a
    // format change through its peer's options.
    bool changed = false;
    NodeIterator nodes(graph);
    while (IGraphConfig *node = nodes.iterateDescendants()) {
        uint32_t kernels = 0;
        (void)GraphCameraUtil::getKernelCountInPg(node, kernels);
        NodeIterator ports(node);
        while (IGraphConfig *port = ports.iterateByType(key_port)) {
            readPort(port);
            if (!changed) {
                changed = true;
                (void)GraphCameraUtil::applyFormat(port, "YUV420_10_SP");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const KeyMap initialKeys = vorn_key_map;

    const char *text = reinterpret_cast<const char *>(data);
    const void *nul = std::memchr(text, '\0', size);
    IGraphConfig *descriptor = nullptr;
    IGraphConfig *settings = nullptr;
    if (nul != nullptr) {
        const size_t split = static_cast<size_t>(static_cast<const char *>(nul) - text);
        descriptor = parse(text, split);
        settings = parse(text + split + 1, size - split - 1);
    } else {
        descriptor = parse(sampleDescriptor().data(), sampleDescriptor().size());
        settings = parse(text, size);
    }

    if (descriptor != nullptr && settings != nullptr) {
        GraphQueryManager manager;
        manager.setGraphDescriptor(descriptor);
        manager.setGraphSettings(settings);
        (void)manager.validateSettingsAgainstDescriptor();
        GraphConfigList all;
        (void)manager.queryGraphs({}, all, true);
        GraphConfigList sized;
        (void)manager.queryGraphs({{ItemUID{key_width}, "1920"}, {ItemUID("sensor:mode_id"), "full"}}, all, sized,
                                  false);
        for (size_t i = 0; i < all.size() && i < kMaxGraphs; ++i) {
            IGraphConfig *graph = nullptr;
            const status_t status = manager.createGraph(all[i], &graph);
            if (status == err_none && graph != nullptr)
                readGraph(graph);
            manager.destroyGraph(graph);
        }
    }
    delete descriptor;
    delete settings;
    copyVornKeys(initialKeys);
    return 0;
}
