// A walk through libvorn's public interface on the bundled sample camera
// module: load the graph descriptor and the (gzip-compressed) graph
// settings, check that their versions fit, find the use case a query
// matches, build its result graph, print what a camera service allocates for
// each port, build the kernel lists the ISP-parameter component receives and
// release the graph. The `vorn` tool (cli/) prints all of this and more.
//
//   vorn_demo [--config DIR] [--module first|new] [--verbose] [path=value ...]
//
// Query items are paths relative to a settings entry (names joined by ":")
// and the value they must have; the default asks for 4K video at 30 fps.
// Exit status: 0 built, 1 nothing matches or the graph cannot be built,
// 2 bad arguments or a module whose files are missing or unreadable.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <vorn/vorn.h>

using Vorn::GraphCameraUtil;
using Vorn::IGraphConfig;

#ifndef VORN_SAMPLE_DIR
#define VORN_SAMPLE_DIR "config"
#endif

namespace {

// The library's log lines, collected by the sink below. The library logs
// during its start-up, before this file's globals exist: made on first use.
std::vector<std::pair<uint32_t, std::string>> &logLines()
{
    static std::vector<std::pair<uint32_t, std::string>> lines;
    return lines;
}
bool g_verbose = false;

// Shows (and forgets) the warnings and errors logged since the last call;
// with --verbose every line.
void showLog()
{
    for (const auto &line : logLines())
        if (g_verbose || (line.first & (VE_LOG_ERROR | VE_LOG_WARNING)) != 0)
            std::printf("    [library %s] %s\n",
                        (line.first & VE_LOG_ERROR)     ? "error"
                        : (line.first & VE_LOG_WARNING) ? "warning"
                                                        : "log",
                        line.second.c_str());
    logLines().clear();
}

std::string textOf(const IGraphConfig *node, Vorn::KeyId key)
{
    std::string value;
    if (node != nullptr)
        node->getValue(key, value);
    return value;
}

int32_t numberOf(const IGraphConfig *node, Vorn::KeyId key)
{
    int32_t value = -1;
    if (node != nullptr)
        node->getValue(key, value);
    return value;
}

// The two documents of one camera module.
struct Module {
    std::string descriptor;
    std::string settings;
};

bool moduleFiles(const std::string &dir, const std::string &name, Module &module)
{
    if (name == "first")
        module = {dir + "/sample_descriptor.xml", dir + "/sample_settings.xml.gz"};
    else if (name == "new")
        module = {dir + "/sample6_descriptor.xml", dir + "/sample6_settings.xml.gz"};
    else
        return false;
    return true;
}

std::unique_ptr<IGraphConfig> load(const std::string &path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "vorn_demo: %s: no such file\n", path.c_str());
        return nullptr;
    }
    IGraphConfig *tree = nullptr;
    Vorn::VornParser parser;
    parser.parseVornXmlFile(path, &tree);
    if (tree == nullptr) {
        std::fprintf(stderr, "vorn_demo: %s: cannot be loaded\n", path.c_str());
        showLog();
        return nullptr;
    }
    std::printf("  %-60s version %s\n", path.c_str(), textOf(tree, Vorn::key_version).c_str());
    return std::unique_ptr<IGraphConfig>(tree);
}

// One line per port of the result graph's nodes: what a camera service
// allocates for it, when it carries frames.
void printPorts(const IGraphConfig *graph)
{
    std::printf("\nPorts (node:port, size and format, stride, buffer size)\n");
    Vorn::NodeIterator nodes(const_cast<IGraphConfig *>(graph));
    while (IGraphConfig *node = nodes.iterateDescendants()) {
        Vorn::NodeIterator ports(node);
        while (IGraphConfig *port = ports.iterateByType(Vorn::key_port)) {
            const std::string name = node->getName() + ":" + port->getName();
            const std::string content = GraphCameraUtil::portGetContentType(port);
            uint32_t enabled = 0, uid = 0, width = 0, height = 0, fourcc = 0, stride = 0, bpp = 0;
            GraphCameraUtil::portGetInfo(port, enabled, uid);
            VornFormats::ve_format_t format;
            std::string named;  // a port carries frames when it names a format or holds pixel data
            const bool frames = content == "pixel_data" || port->getValue(Vorn::key_format, named) == err_none;
            if (!enabled || !frames ||
                GraphCameraUtil::portGetFormat(port, enabled, uid, width, height, fourcc, stride, bpp) != err_none ||
                VornFormats::getFormatByFourcc(fourcc, format) != err_none) {
                std::printf("  %-22s %s\n", name.c_str(), enabled ? content.c_str() : "disabled");
                continue;
            }
            std::printf("  %-22s %ux%u %s  stride %u  buffer %u bytes\n", name.c_str(), width, height,
                        format.name.c_str(), stride, VornFormats::calculateBufferSize(format, width, height, stride));
        }
    }
}

const char *stateOf(int32_t enable)
{
    if (enable == VE_ISP_TOL_KERNEL_ENABLED)
        return "on";
    return enable == VE_ISP_TOL_KERNEL_BYPASS ? "bypass" : "off";
}

// The run kernels of one program group: uuid, state, bits per pixel in and
// out, and the image reaching the kernel (source size, crop, size).
void printRunKernels(Vorn::TolKorUtils &kor, const IGraphConfig *programGroup)
{
    ve_isp_tol_program_group group{};
    if (kor.getProgramGroup(programGroup, group) != err_none)
        return;
    std::printf("    %s: %u run kernels\n", programGroup->getName().c_str(), group.kernel_count);
    for (uint32_t i = 0; i < group.kernel_count; ++i) {
        const ve_isp_tol_run_kernels &kernel = group.run_kernels[i];
        std::printf("      uuid %-6u %-6s bpp %u/%u", kernel.kernel_uuid, stateOf(kernel.enable),
                    kernel.bpp_info.input_bpp, kernel.bpp_info.output_bpp);
        if (const ve_isp_tol_resolution_info *seen = kernel.resolution_history)
            std::printf("  from %dx%d crop (%d,%d,%d,%d) to %dx%d", seen->input_width, seen->input_height,
                        seen->input_crop.left, seen->input_crop.top, seen->input_crop.right, seen->input_crop.bottom,
                        seen->output_width, seen->output_height);
        std::printf("\n");
    }
}

// The kernel lists per stream, program group (or compute block) by program
// group.
bool printKernelLists(const IGraphConfig *graph)
{
    Vorn::TolKorUtils kor;
    const Vorn::status_t status = kor.initKorUtils(graph);
    std::printf("\nKernel lists: %s\n", status == err_none ? "built" : "FAILED");
    if (status != err_none) {
        showLog();
        return false;
    }
    if (!g_verbose)
        logLines().clear();  // the generation's own account of its progress
    std::vector<int32_t> streams;
    kor.getStreamIds(streams, false);
    for (int32_t stream : streams) {
        std::printf("  stream %d\n", stream);
        Vorn::NodeIterator nodes(const_cast<IGraphConfig *>(graph));
        while (IGraphConfig *node = nodes.iterateDescendants()) {
            const std::string type = textOf(node, Vorn::key_type);  // compute blocks from generation 7 on
            if ((type == "program_group" || type == "compute_block") && numberOf(node, Vorn::key_stream_id) == stream)
                printRunKernels(kor, node);
        }
    }
    return true;
}

int usage(const char *program, int status)
{
    std::fprintf(status == 0 ? stdout : stderr,
                 "usage: %s [--config DIR] [--module first|new] [--verbose] [path=value ...]\n"
                 "  Builds the result graph of the use case whose settings match every\n"
                 "  path=value item (default: width=3840 height=2160 fps=30).\n",
                 program);
    return status;
}

}  // namespace

// The host's log sink: replaces the library's, which discards the lines.
extern "C" void ve_log_common_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap)
{
    (void)tag;
    char text[VE_LOG_LINE_MAX];
    std::vsnprintf(text, sizeof text, fmt, ap);
    logLines().emplace_back(level, text);
}

int main(int argc, char **argv)
{
    std::string dir = VORN_SAMPLE_DIR;
    std::string moduleName = "first";
    Vorn::SearchQuery query;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t eq = arg.find('=');
        if ((arg == "--config" || arg == "--module") && i + 1 < argc)
            (arg == "--config" ? dir : moduleName) = argv[++i];
        else if (arg == "--verbose" || arg == "-v")
            g_verbose = true;
        else if (eq != std::string::npos && eq > 0)
            query[Vorn::ItemUID(arg.substr(0, eq))] = arg.substr(eq + 1);
        else
            return usage(argv[0], arg == "--help" ? 0 : 2);
    }
    Module module;
    if (!moduleFiles(dir, moduleName, module))
        return usage(argv[0], 2);
    if (query.empty())
        query = {{Vorn::ItemUID("width"), "3840"}, {Vorn::ItemUID("height"), "2160"}, {Vorn::ItemUID("fps"), "30"}};
    logLines().clear();  // the library's start-up lines
    std::printf("libvorn %s, %s camera module\n\n", ve_dax_get_version_string(), moduleName.c_str());

    // 1. Load both documents; the trees own their items.
    std::printf("Loading\n");
    const std::unique_ptr<IGraphConfig> descriptor = load(module.descriptor);
    const std::unique_ptr<IGraphConfig> settings = descriptor ? load(module.settings) : nullptr;
    if (!descriptor || !settings)
        return 2;

    // 2. Hand them to a query manager and check that they belong together.
    Vorn::GraphQueryManager manager;
    manager.setGraphDescriptor(descriptor.get());
    manager.setGraphSettings(settings.get());
    logLines().clear();
    manager.validateSettingsAgainstDescriptor();
    bool fit = true;
    for (const auto &line : logLines())
        fit = fit && (line.first & (VE_LOG_ERROR | VE_LOG_WARNING)) == 0;
    std::printf("  versions %s\n", fit ? "fit" : "do not fit");
    showLog();

    // 3. Find the use cases that match the query (strictly: every item).
    Vorn::GraphConfigList found;
    manager.queryGraphs(query, found, true);
    showLog();
    if (found.empty()) {
        std::printf("\nNo use case matches the query\n");
        return 1;
    }
    std::printf("\nUse case %d \"%s\" (%zu match)\n", numberOf(found.front(), Vorn::key_key),
                textOf(found.front(), Vorn::key_description).c_str(), found.size());

    // 4. Build its result graph: a tree of its own, released by the manager.
    IGraphConfig *graph = nullptr;
    const Vorn::status_t built = manager.createGraph(found.front(), &graph);
    const IGraphConfig *graphElement = graph != nullptr ? graph->getDescendant(Vorn::key_graph) : nullptr;
    std::printf("\nResult graph %d \"%s\" (settings %d): %s\n", numberOf(graphElement, Vorn::key_id),
                textOf(graphElement, Vorn::key_description).c_str(), manager.settingsKey(),
                built == err_none ? "built" : "FAILED");
    showLog();
    bool sound = built == err_none;
    if (sound) {
        // 5. What a camera service reads from it, and what the ISP-parameter
        // component receives.
        printPorts(graph);
        showLog();
        sound = printKernelLists(graph);
    }

    // 6. Release it.
    manager.destroyGraph(graph);
    return sound ? 0 : 1;
}
