// The main road of libvorn on the bundled sample camera module: load the
// graph descriptor and the (gzip-compressed) graph settings, check that their
// versions fit, find the use case that matches a query, build its result
// graph and print what a camera service would read from it: nodes, ports,
// connections, enabled state, formats, strides and buffer sizes; then the
// kernel lists that the ISP-parameter component receives, per execution
// context and program group.
//
//   vorn_demo [--config DIR] [--list] [--verbose] [path=value ...]
//
// Query items are paths relative to a settings entry (names joined by ":")
// and the value they must have; the default asks for 4K video at 30 fps.
#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <vorn/vorn.h>

using Vorn::GraphCameraUtil;
using Vorn::GraphConfigNode;
using Vorn::IGraphConfig;
using Vorn::ItemUID;
using Vorn::KeyId;

#ifndef VORN_SAMPLE_DIR
#define VORN_SAMPLE_DIR "config"
#endif

namespace {

// ---------------------------------------------------------------------------
// Library messages. A host process receives every log line of the library by
// defining ve_log_common_vdebug (below); the demo collects them per step and
// shows warnings and errors, and everything with --verbose.

struct LogLine {
    uint32_t level;
    std::string text;
};

// The library logs from its start-up code, before this file's globals are
// constructed: the list is made on first use.
std::vector<LogLine> &logLines()
{
    static std::vector<LogLine> lines;
    return lines;
}
bool g_verbose = false;

const char *levelName(uint32_t level)
{
    switch (level) {
    case VE_LOG_ERROR:
        return "error";
    case VE_LOG_WARNING:
        return "warning";
    case VE_LOG_INFO:
        return "info";
    case VE_LOG_VERBOSE:
        return "verbose";
    default:
        return "debug";
    }
}

// Prints (and forgets) the lines collected since the last call.
void flushLog(const char *step)
{
    size_t shown = 0;
    for (const LogLine &line : logLines()) {
        if (!g_verbose && line.level != VE_LOG_ERROR && line.level != VE_LOG_WARNING)
            continue;
        if (shown++ == 0)
            std::printf("  library messages while %s:\n", step);
        std::printf("    %-7s %s\n", levelName(line.level), line.text.c_str());
    }
    logLines().clear();
}

// ---------------------------------------------------------------------------
// Small readers.

std::string str(const IGraphConfig *node, KeyId key, const char *fallback = "")
{
    std::string value;
    if (node == nullptr || node->getValue(key, value) != err_none)
        return fallback;
    return value;
}

bool integer(const IGraphConfig *node, KeyId key, int32_t &value)
{
    return node != nullptr && node->getValue(key, value) == err_none;
}

std::string fourccText(uint32_t fourcc)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((fourcc >> shift) & 0xFFu);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

// 16588800 -> "16,588,800"
std::string grouped(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, ",");
    return digits;
}

// Every "peer" of a port or virtual sink, in connection order.
std::vector<std::string> peersOf(const IGraphConfig *item)
{
    std::vector<std::string> peers;
    const auto range = GraphConfigNode::from(item)->children().equal_range(Vorn::key_peer);
    for (auto it = range.first; it != range.second; ++it) {
        std::string text;
        if (it->second->getValue(text) == err_none)
            peers.push_back(text);
    }
    return peers;
}

size_t countChildren(const IGraphConfig *node, KeyId key)
{
    if (node == nullptr)
        return 0;
    return GraphConfigNode::from(node)->children().count(key);
}

std::unique_ptr<IGraphConfig> load(Vorn::VornParser &parser, const std::string &path)
{
    IGraphConfig *tree = nullptr;
    parser.parseVornXmlFile(path.c_str(), &tree);
    return std::unique_ptr<IGraphConfig>(tree);
}

// ---------------------------------------------------------------------------
// Printing the result graph.

void printPort(const IGraphConfig *port)
{
    int32_t direction = 0;
    integer(port, Vorn::key_direction, direction);
    const std::string content = GraphCameraUtil::portGetContentType(port);
    const std::vector<std::string> peers = peersOf(port);

    std::printf("    %-9s %-3s %-10s", port->getName().c_str(), direction == 1 ? "out" : "in", content.c_str());
    std::string link;
    for (const std::string &peer : peers)
        link += (link.empty() ? "" : ", ") + peer;
    if (link.empty())
        link = "(not connected)";
    std::printf(" %s %s", direction == 1 ? "->" : "<-", link.c_str());
    if (GraphCameraUtil::isEdgePort(port))
        std::printf("  [crosses context]");
    std::printf("\n");

    uint32_t enabled = 0, uid = 0, width = 0, height = 0, fourcc = 0, bpl = 0, bpp = 0;
    if (GraphCameraUtil::portGetInfo(port, enabled, uid) != err_none) {
        std::printf("              (no port info)\n");
        return;
    }
    if (enabled == 0) {
        std::printf("              disabled\n");
        return;
    }
    std::string ignored;
    if (content != "pixel_data" && port->getValue(Vorn::key_format, ignored) != err_none) {
        std::printf("              enabled, uid 0x%08" PRIx32 ", no frame format (%s buffer)\n", uid, content.c_str());
        return;
    }
    const Vorn::status_t status = GraphCameraUtil::portGetFormat(port, enabled, uid, width, height, fourcc, bpl, bpp);
    VornFormats::ve_format_t format;
    if (status != err_none || VornFormats::getFormatByFourcc(fourcc, format) != err_none) {
        std::printf("              enabled, uid 0x%08" PRIx32 ", format incomplete (status %d)\n", uid, status);
        return;
    }
    const uint32_t size = VornFormats::calculateBufferSize(format, width, height, bpl);
    std::printf("              %-12s '%s' %4" PRIu32 "x%-4" PRIu32 " %2" PRIu32 " bpp  stride %5" PRIu32
                "  buffer %s bytes  uid 0x%08" PRIx32 "\n",
                format.name.c_str(), fourccText(fourcc).c_str(), width, height, bpp, bpl, grouped(size).c_str(), uid);
}

void printKernels(const IGraphConfig *node)
{
    uint32_t count = 0;
    if (GraphCameraUtil::getKernelCountInPg(node, count) != err_none || count == 0)
        return;
    std::string on, off;
    Vorn::NodeIterator kernels(const_cast<IGraphConfig *>(node));
    while (IGraphConfig *kernel = kernels.iterateByType(Vorn::key_kernel)) {
        int32_t enabled = 1;
        Vorn::status_t status =
            GraphCameraUtil::kernelGetValues(kernel, nullptr, nullptr, nullptr, &enabled, nullptr, nullptr, nullptr);
        std::string &list = (status == err_none && enabled != 0) ? on : off;
        list += (list.empty() ? "" : " ") + kernel->getName();
    }
    std::printf("    kernels   %u: %s%s%s\n", count, on.c_str(),
                off.empty() ? "" : "  (off: ", off.empty() ? "" : (off + ")").c_str());
}

void printNode(const IGraphConfig *node)
{
    const std::string type = str(node, Vorn::key_type, "?");
    std::printf("\n  %s  (%s", node->getName().c_str(), type.c_str());
    int32_t value = 0;
    if (integer(node, Vorn::key_pg_id, value))
        std::printf(", pg %d", value);
    if (integer(node, Vorn::key_exec_ctx_id, value))
        std::printf(", context %d", value);
    if (integer(node, Vorn::key_stream_id, value))
        std::printf(", stream %d", value);
    if (integer(node, Vorn::key_tuning_mode, value))
        std::printf(", tuning mode %d", value);
    const std::string base = str(node, Vorn::key_base_node);
    if (!base.empty())
        std::printf(", built from %s", base.c_str());
    std::printf(")\n");

    if (type == "sink") {
        const std::vector<std::string> peers = peersOf(node);
        std::string from;
        for (const std::string &peer : peers)
            from += (from.empty() ? "" : ", ") + peer;
        int32_t width = 0, height = 0;
        const bool sized = integer(node, Vorn::key_width, width) && integer(node, Vorn::key_height, height);
        std::printf("    virtual sink, %s <- %s", str(node, Vorn::key_content_type, "pixel_data").c_str(),
                    from.empty() ? "(nothing)" : from.c_str());
        if (sized)
            std::printf("  %dx%d %s", width, height, str(node, Vorn::key_format).c_str());
        std::printf("\n");
        return;
    }
    printKernels(node);
    Vorn::NodeIterator ports(const_cast<IGraphConfig *>(node));
    while (IGraphConfig *port = ports.iterateByType(Vorn::key_port))
        printPort(port);
}

// Nodes in data-flow order: from the sources along the output ports' peers,
// then whatever no connection reaches.
std::vector<const IGraphConfig *> flowOrder(const IGraphConfig *root, const std::vector<IGraphConfig *> &sources)
{
    std::vector<const IGraphConfig *> order;
    std::set<const IGraphConfig *> seen;
    auto visit = [&](const IGraphConfig *node) {
        if (node != nullptr && node->getAncestor() == root && seen.insert(node).second)
            order.push_back(node);
    };
    for (IGraphConfig *source : sources)
        visit(source);
    for (size_t i = 0; i < order.size(); ++i) {
        Vorn::NodeIterator ports(const_cast<IGraphConfig *>(order[i]));
        while (IGraphConfig *port = ports.iterateByType(Vorn::key_port)) {
            int32_t direction = 0;
            if (!integer(port, Vorn::key_direction, direction) || direction != 1)
                continue;
            for (const std::string &peer : peersOf(port)) {
                const IGraphConfig *target = root->getDescendantByString(peer);
                if (target != nullptr && target->getAncestor() != root)
                    target = target->getAncestor();
                visit(target);
            }
        }
    }
    for (const auto &child : GraphConfigNode::from(root)->children())
        if (child.second->type == Vorn::ItemType::NODE && child.first != Vorn::key_graph)
            visit(static_cast<const GraphConfigNode *>(child.second));
    return order;
}

// "WxH" of the item at path below node, or "?".
std::string sizeAt(const IGraphConfig *node, const char *path)
{
    const IGraphConfig *item = node->getDescendantByString(path);
    int32_t width = 0, height = 0;
    if (item == nullptr || !integer(item, Vorn::key_width, width) || !integer(item, Vorn::key_height, height))
        return "?";
    return std::to_string(width) + "x" + std::to_string(height);
}

void printSensor(const IGraphConfig *root, const std::vector<IGraphConfig *> &sources)
{
    for (const IGraphConfig *source : sources) {
        std::string type;
        GraphCameraUtil::sensorGetType(source, type);
        std::printf("Source   %s (%s)", source->getName().c_str(), type.c_str());
        const std::string mode = str(source, Vorn::key_mode_id);
        int32_t fps = 0;
        if (!mode.empty()) {
            std::printf(", mode %s", mode.c_str());
            if (integer(source, Vorn::key_fps, fps))
                std::printf(" up to %d fps", fps);
        }
        std::printf("\n");
        const IGraphConfig *binner = source->getDescendant(Vorn::key_binner);
        const IGraphConfig *scaler = source->getDescendant(Vorn::key_scaler);
        int32_t h = 1, v = 1, num = 1, den = 1, left = 0, top = 0;
        if (binner == nullptr || scaler == nullptr ||
            GraphCameraUtil::sensorGetBinningFactor(binner, h, v) != err_none ||
            GraphCameraUtil::sensorGetScalingFactor(scaler, num, den) != err_none)
            continue;
        const IGraphConfig *array = source->getDescendantByString("pixel_array:output");
        integer(array, Vorn::key_left, left);
        integer(array, Vorn::key_top, top);
        std::printf("         pixel array %s at (%d,%d) -> binner %dx%d -> %s -> scaler %d/%d -> %s\n",
                    sizeAt(source, "pixel_array:output").c_str(), left, top, h, v,
                    sizeAt(source, "binner:output").c_str(), num, den, sizeAt(source, "scaler:output").c_str());
    }

    std::set<int32_t> contexts;
    std::map<int32_t, int32_t> tuning;
    if (GraphCameraUtil::getExecCtxIds(*root, contexts) == err_none &&
        GraphCameraUtil::getExecCtxIdsTuningMap(*root, tuning) == err_none) {
        std::printf("Contexts");
        for (int32_t id : contexts) {
            std::vector<IGraphConfig *> groups;
            GraphCameraUtil::getProgramGroups(Vorn::key_exec_ctx_id, id, root, groups);
            std::printf("  %d:", id);
            for (IGraphConfig *group : groups)
                std::printf(" %s", group->getName().c_str());
            std::printf(" (tuning %d)", tuning[id]);
        }
        std::printf("\n");
    }
}

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// Kernel lists.

const char *enableText(int32_t enable)
{
    switch (enable) {
    case VE_ISP_TOL_KERNEL_BYPASS:
        return "bypass";
    case VE_ISP_TOL_KERNEL_ENABLED:
        return "on";
    case VE_ISP_TOL_KERNEL_DISABLED:
        return "off";
    default:
        return "?";
    }
}

// "4208x3120 [184 480 184 480] -> 3840x2160": the source pixels, the crop in
// them, and the size of the image as the kernel receives it.
std::string historyText(const ve_isp_tol_resolution_info *history)
{
    if (history == nullptr)
        return "-";
    char text[96];
    std::snprintf(text, sizeof text, "%dx%d [%d %d %d %d] -> %dx%d", history->input_width, history->input_height,
                  history->input_crop.left, history->input_crop.top, history->input_crop.right,
                  history->input_crop.bottom, history->output_width, history->output_height);
    return text;
}

void printProgramGroupKernels(Vorn::TolKorUtils &kor, const IGraphConfig *programGroup)
{
    ve_isp_tol_program_group group{};
    if (kor.getProgramGroup(programGroup, group) != err_none)
        return;
    std::printf("    %s (%u kernels)\n", programGroup->getName().c_str(), group.kernel_count);
    std::printf("      %-3s %-6s %-6s %-7s %-40s %s\n", "id", "uuid", "state", "bpp",
                "image reaching it (source [crop] -> size)", "output");
    for (uint32_t i = 0; i < group.kernel_count; ++i) {
        const ve_isp_tol_run_kernels &k = group.run_kernels[i];
        char bpp[16];
        std::snprintf(bpp, sizeof bpp, "%u/%u", k.bpp_info.input_bpp, k.bpp_info.output_bpp);
        char output[24] = "";
        if (k.resolution_info != nullptr)
            std::snprintf(output, sizeof output, "%dx%d", k.resolution_info->output_width,
                          k.resolution_info->output_height);
        std::printf("      %-3u %-6u %-6s %-7s %-40s %s\n", i, k.kernel_uuid, enableText(k.enable), bpp,
                    historyText(k.resolution_history).c_str(), output);
    }
}

// The run kernels of every execution context, program group by program group.
void printKernelLists(const IGraphConfig *graph)
{
    Vorn::TolKorUtils kor;
    const Vorn::status_t status = kor.initKorUtils(graph);
    std::printf("Kernel lists per execution context (stream id): %s\n", status == err_none ? "built" : "FAILED");
    if (status != err_none) {
        std::printf("  initKorUtils returned %d\n", status);
        flushLog("building kernel lists");
        return;
    }
    if (!g_verbose)
        logLines().clear();  // the generation's own dumps of its progress
    std::vector<int32_t> streams;
    kor.getStreamIds(streams, false);
    std::sort(streams.begin(), streams.end());
    for (int32_t stream : streams) {
        ve_isp_tol_program_group context{};
        kor.getProgramGroup(stream, context);
        std::printf("  stream %d: %u run kernels\n", stream, context.kernel_count);
        Vorn::NodeIterator programGroups(const_cast<IGraphConfig *>(graph));
        while (const IGraphConfig *programGroup = programGroups.iterateByType(Vorn::key_program_group)) {
            int32_t id = -1;
            if (integer(programGroup, Vorn::key_stream_id, id) && id == stream)
                printProgramGroupKernels(kor, programGroup);
        }
    }
    std::printf("\n");
    flushLog("reading kernel lists");
}

void listUseCases(const IGraphConfig *settings)
{
    std::printf("\nUse cases of the settings:\n");
    std::printf("  %6s %6s  %-20s %s\n", "key", "graph", "description", "stream");
    Vorn::NodeIterator entries(const_cast<IGraphConfig *>(settings));
    while (IGraphConfig *entry = entries.iterateByUid(Vorn::key_settings)) {
        int32_t key = 0, id = 0, width = 0, height = 0, fps = 0;
        integer(entry, Vorn::key_key, key);
        integer(entry, Vorn::key_id, id);
        integer(entry, Vorn::key_width, width);
        integer(entry, Vorn::key_height, height);
        integer(entry, Vorn::key_fps, fps);
        std::printf("  %6d %6d  %-20s %dx%d@%d\n", key, id, str(entry, Vorn::key_description).c_str(), width, height,
                    fps);
    }
}

void usage(const char *program)
{
    std::printf("usage: %s [--config DIR] [--list] [--verbose] [path=value ...]\n"
                "  Builds the result graph of the use case whose settings match every\n"
                "  path=value item (default: width=3840 height=2160 fps=30).\n",
                program);
}

}  // namespace

// The host's log sink: replaces the library's, which discards the lines.
extern "C" void ve_log_common_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap)
{
    (void)tag;
    char text[VE_LOG_LINE_MAX];
    std::vsnprintf(text, sizeof text, fmt, ap);
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
    logLines().push_back({level, text});
}

int main(int argc, char **argv)
{
    std::string dir = VORN_SAMPLE_DIR;
    bool list = false;
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--config") == 0 && i + 1 < argc) {
            dir = argv[++i];
        } else if (std::strcmp(arg, "--list") == 0) {
            list = true;
        } else if (std::strcmp(arg, "--verbose") == 0 || std::strcmp(arg, "-v") == 0) {
            g_verbose = true;
        } else if (std::strchr(arg, '=') != nullptr && arg[0] != '=') {
            const char *eq = std::strchr(arg, '=');
            items.emplace_back(std::string(arg, eq), std::string(eq + 1));
        } else {
            usage(argv[0]);
            return std::strcmp(arg, "--help") == 0 ? 0 : 2;
        }
    }
    if (items.empty())
        items = {{"width", "3840"}, {"height", "2160"}, {"fps", "30"}};
    logLines().clear();  // start-up lines of the library

    std::printf("libvorn %s\n\n", ve_dax_get_version_string());

    // 1. Load both documents.
    const std::string descriptorPath = dir + "/sample_descriptor.xml";
    const std::string settingsPath = dir + "/sample_settings.xml.gz";
    Vorn::VornParser parser;
    std::unique_ptr<IGraphConfig> descriptor = load(parser, descriptorPath);
    std::unique_ptr<IGraphConfig> settings = load(parser, settingsPath);
    std::printf("Loading the sample camera module from %s\n", dir.c_str());
    flushLog("loading");
    if (!descriptor || !settings) {
        std::fprintf(stderr, "could not load %s\n", !descriptor ? descriptorPath.c_str() : settingsPath.c_str());
        return 1;
    }
    std::printf("  descriptor  %-24s version %-4s %u nodes, %zu graphs\n", "sample_descriptor.xml",
                str(descriptor.get(), Vorn::key_version).c_str(),
                descriptor->getDescendant(Vorn::key_nodes)
                    ? descriptor->getDescendant(Vorn::key_nodes)->getDescendantCount()
                    : 0,
                countChildren(descriptor->getDescendant(Vorn::key_graphs), Vorn::key_graph));
    std::printf("  settings    %-24s version %-4s %zu use cases, %zu sensor modes\n", "sample_settings.xml.gz",
                str(settings.get(), Vorn::key_version).c_str(), countChildren(settings.get(), Vorn::key_settings),
                countChildren(settings->getDescendant(Vorn::key_sensor_modes), ItemUID::str2key("sensor_mode")));

    // 2. Hand them to a query manager and check that they belong together.
    Vorn::GraphQueryManager manager;
    manager.setGraphDescriptor(descriptor.get());
    manager.setGraphSettings(settings.get());
    manager.validateSettingsAgainstDescriptor();
    const bool mismatch = !logLines().empty();
    std::printf("  versions    %s\n", mismatch ? "do not fit (see below)" : "fit");
    flushLog("checking versions");
    if (list)
        listUseCases(settings.get());

    // 3. Find the use case.
    Vorn::SearchQuery query;
    std::string queryText;
    for (const auto &item : items) {
        query[ItemUID(item.first)] = item.second;
        queryText += (queryText.empty() ? "" : " ") + item.first + "=" + item.second;
    }
    Vorn::GraphConfigList found;
    const Vorn::status_t queried = manager.queryGraphs(query, found, true);
    std::printf("\nQuery    %s\n", queryText.c_str());
    flushLog("querying");
    if (queried != err_none || found.empty()) {
        std::printf("  no use case matches; --list shows them\n");
        return 1;
    }
    for (IGraphConfig *entry : found) {
        int32_t key = 0;
        integer(entry, Vorn::key_key, key);
        std::printf("  match   use case %d \"%s\"%s\n", key, str(entry, Vorn::key_description).c_str(),
                    entry == found.front() ? "  <- building this one" : "");
    }

    // 4. Build the result graph.
    IGraphConfig *graph = nullptr;
    const Vorn::status_t built = manager.createGraph(found.front(), &graph);
    const IGraphConfig *graphElement = graph != nullptr ? graph->getDescendant(Vorn::key_graph) : nullptr;
    int32_t graphId = -1;
    integer(graphElement, Vorn::key_id, graphId);
    std::printf("\nResult graph %d \"%s\" (settings %d): %s\n", graphId,
                str(graphElement, Vorn::key_description).c_str(), manager.settingsKey(),
                built == err_none ? "built" : "FAILED");
    flushLog("building the graph");

    // The result is a tree of its own: the input documents can go now.
    descriptor.reset();
    settings.reset();
    if (built != err_none) {
        std::printf("  createGraph returned %d\n", built);
        manager.destroyGraph(graph);
        return 1;
    }

    // 5. Read it.
    std::vector<IGraphConfig *> sources;
    GraphCameraUtil::getSourceNode(graph, sources);
    printSensor(graph, sources);
    std::printf("\nNodes, in data-flow order (port, direction, content, peers; then format, size, stride, buffer)\n");
    for (const IGraphConfig *node : flowOrder(graph, sources))
        printNode(node);
    std::printf("\n");
    flushLog("reading the graph");

    // 6. The kernel lists of the ISP-parameter component.
    printKernelLists(graph);

    // 7. Release it.
    manager.destroyGraph(graph);
    return 0;
}
