// Kernel lists of new-version graphs (TolKorUtils::initKorUtils) over
// generated generation-6 pipelines of growing size: a buffer source (a stream
// of its own) feeding a chain of N program groups, four per stream, each with
// eight kernels linked in a chain through a demux, the first halving the
// image and the second passing it on (rcb), and every fourth group also
// feeding a virtual sink. Each iteration builds the outer graph, the meta
// graph of N/4 subgraphs, every inner graph, the run-kernel records and the
// resolution histories of every kernel.
//
// The summary prints, per size, the median thread CPU time of initKorUtils,
// the time per kernel and its growth against the previous size (1.00 is
// linear; the target is at most 1.30 from N to 4N).
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <vorn/vorn.h>

namespace {

constexpr size_t kSizes[] = {1000, 4000, 16000};
constexpr size_t kKernels = 8;
constexpr size_t kPerStream = 4;
constexpr int kRounds = 15;

struct Documents {
    std::string descriptor;
    std::string settings;
};

std::string pgName(size_t i) { return "pg" + std::to_string(i); }

Documents makePipeline(size_t groups)
{
    Documents docs;
    std::string &d = docs.descriptor;
    std::string &s = docs.settings;
    const std::string sourceStream = std::to_string(groups / kPerStream + 1);
    d = "<graph_descriptor version=\"gdf-OKT6.1\"><nodes><source name=\"buffer_src\" stream_id=\"" + sourceStream +
        "\"><port name=\"port_0\" id=\"0\" direction=\"1\"/></source>";
    s = "<graph_settings version=\"gdf-OKT6.1\"><settings key=\"1\" id=\"1\">"
        "<buffer_src><port_0 width=\"4096\" height=\"3072\"/></buffer_src>";
    std::string connections = "<connection source=\"buffer_src:port_0\" sink=\"pg0:in\"/>";
    for (size_t i = 0; i < groups; ++i) {
        const std::string name = pgName(i);
        d += "<program_group name=\"" + name + "\" stream_id=\"" + std::to_string(i / kPerStream) +
             "\" tuning_mode=\"1\"><port name=\"in\" id=\"0\" direction=\"0\"/>"
             "<port name=\"out\" id=\"1\" direction=\"1\"/><demux name=\"route\" active_output=\"0\"/>";
        // k0 halves the image of the group's first stream only (later
        // groups receive it halved already), k1 passes it on.
        const bool halves = i % kPerStream == 0 && i / kPerStream == 0;
        for (size_t k = 0; k < kKernels; ++k) {
            d += "<kernel name=\"k" + std::to_string(k) + "\" pal_uuid=\"" + std::to_string(1000 + k) + "\" id=\"" +
                 std::to_string(k) + "\" rcb=\"" + (k == 1 ? "1" : "0") + "\" metadata=\"1,2,3,4\">";
            if (k == 0 && halves)
                d += "<input width=\"4096\" height=\"3072\" left=\"0\" top=\"0\" right=\"0\" bottom=\"0\"/>"
                     "<output width=\"2048\" height=\"1536\"/>";
            d += "</kernel>";
        }
        d += "<klink source=\"in\" destination=\"k0:0\"/><klink source=\"k0:0\" destination=\"route:0\"/>"
             "<klink source=\"route:0\" destination=\"k1:0\"/><klink source=\"route:1\" destination=\"k1:1\"/>";
        for (size_t k = 1; k + 1 < kKernels; ++k)
            d += "<klink source=\"k" + std::to_string(k) + ":0\" destination=\"k" + std::to_string(k + 1) + ":0\"/>";
        d += "<klink source=\"k" + std::to_string(kKernels - 1) + ":0\" destination=\"out\"/></program_group>";
        s += "<" + name + "><in/><out/></" + name + ">";
        if (i + 1 < groups)
            connections += "<connection source=\"" + name + ":out\" sink=\"" + pgName(i + 1) + ":in\"/>";
        if (i % kPerStream == kPerStream - 1 || i + 1 == groups) {
            const std::string sink = "px" + std::to_string(i);
            d += "<sink name=\"" + sink + "\"/>";
            s += "<" + sink + "/>";
            connections += "<connection source=\"" + name + ":out\" sink=\"" + sink + "\"/>";
        }
    }
    d += "</nodes><graphs><graph id=\"1\">" + connections + "</graph></graphs></graph_descriptor>";
    s += "</settings></graph_settings>";
    return docs;
}

// CPU time of this thread: other processes on the machine do not count.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

Vorn::IGraphConfig *parse(const std::string &text)
{
    Vorn::VornParser parser;
    Vorn::IGraphConfig *tree = nullptr;
    parser.parseVornXmlData(text.data(), text.size(), &tree);
    return tree;
}

}  // namespace

int main(int argc, char **argv)
{
    // Sizes and rounds may be given: bench_graph_util [rounds [groups...]].
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kRounds;
    std::vector<size_t> sizes(std::begin(kSizes), std::end(kSizes));
    if (argc > 2) {
        sizes.clear();
        for (int i = 2; i < argc; ++i)
            sizes.push_back(static_cast<size_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    std::printf("%8s %8s %12s %15s %8s\n", "groups", "kernels", "init (ms)", "per kernel (ns)", "growth");
    double previous = 0;
    for (const size_t groups : sizes) {
        const Documents docs = makePipeline(groups);
        std::unique_ptr<Vorn::IGraphConfig> descriptor(parse(docs.descriptor));
        std::unique_ptr<Vorn::IGraphConfig> settings(parse(docs.settings));
        Vorn::GraphQueryManager manager;
        manager.setGraphDescriptor(descriptor.get());
        manager.setGraphSettings(settings.get());
        Vorn::GraphConfigList entries;
        Vorn::IGraphConfig *graph = nullptr;
        if (manager.queryGraphs({{Vorn::ItemUID{Vorn::key_key}, "1"}}, entries) != err_none || entries.empty() ||
            manager.createGraph(entries[0], &graph) != err_none) {
            std::fprintf(stderr, "could not build the graph of %zu groups\n", groups);
            return 1;
        }
        const size_t kernels = groups * kKernels;
        const int32_t lastStream = static_cast<int32_t>((groups - 1) / kPerStream);
        Vorn::TolKorUtils kor;
        std::vector<double> times;
        for (int round = 0; round < rounds; ++round) {
            const double start = threadMilliseconds();
            const status_t status = kor.initKorUtils(graph);
            const double end = threadMilliseconds();
            // The last stream's kernels carry the halved image.
            ve_isp_tol_program_group last{};
            kor.getProgramGroup(lastStream, last);
            if (status != err_none || last.kernel_count == 0 || last.run_kernels[0].resolution_history == nullptr ||
                last.run_kernels[0].resolution_history->output_width != 2048) {
                std::fprintf(stderr, "initKorUtils of %zu groups failed: %d\n", groups, static_cast<int>(status));
                return 1;
            }
            times.push_back(end - start);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        const double perKernel = median * 1e6 / static_cast<double>(kernels);
        std::printf("%8zu %8zu %12.2f %15.1f %8s\n", groups, kernels, median, perKernel,
                    previous > 0 ? std::to_string(perKernel / previous).substr(0, 4).c_str() : "-");
        previous = perKernel;
        manager.destroyGraph(graph);
    }
    return 0;
}
