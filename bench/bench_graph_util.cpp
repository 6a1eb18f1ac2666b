// New-version graph analysis (GraphUtil::init) over generated generation-6
// pipelines of growing size: a test pattern feeding a chain of N program
// groups, four per stream, each with eight kernels linked in a chain through
// a demux, and every fourth group also feeding a virtual sink. The outer
// graph, the meta graph of N/4 subgraphs and every inner graph are built on
// each iteration.
//
// The summary prints, per size, the median thread CPU time of init, the time per
// program group and its growth against the previous size (1.00 is linear).
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
    d = "<graph_descriptor version=\"gdf-OKT6.1\"><nodes>"
        "<source name=\"tpg\" stream_id=\"0\"><port name=\"out\" id=\"0\" direction=\"1\"/></source>";
    s = "<graph_settings version=\"gdf-OKT6.1\"><settings key=\"1\" id=\"1\"><tpg><out/></tpg>";
    std::string connections = "<connection source=\"tpg:out\" sink=\"pg0:in\"/>";
    for (size_t i = 0; i < groups; ++i) {
        const std::string name = pgName(i);
        d += "<program_group name=\"" + name + "\" stream_id=\"" + std::to_string(i / kPerStream) +
             "\" tuning_mode=\"1\"><port name=\"in\" id=\"0\" direction=\"0\"/>"
             "<port name=\"out\" id=\"1\" direction=\"1\"/><demux name=\"route\" active_output=\"0\"/>";
        for (size_t k = 0; k < kKernels; ++k)
            d += "<kernel name=\"k" + std::to_string(k) + "\" pal_uuid=\"" + std::to_string(1000 + k) + "\" id=\"" +
                 std::to_string(k) + "\" rcb=\"" + (k == 0 ? "1" : "0") + "\" metadata=\"1,2,3,4\"/>";
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
    std::printf("%8s %12s %14s %8s\n", "groups", "init (ms)", "per group (us)", "growth");
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
        Vorn::GraphUtil util;
        std::vector<double> times;
        for (int round = 0; round < rounds; ++round) {
            const double start = threadMilliseconds();
            const status_t status = util.init(Vorn::key_stream_id, graph, Vorn::GDF_VERSION_OKT6);
            const double end = threadMilliseconds();
            if (status != err_none || util.subGraphs().size() != (groups + kPerStream - 1) / kPerStream) {
                std::fprintf(stderr, "init of %zu groups failed: %d\n", groups, static_cast<int>(status));
                return 1;
            }
            times.push_back(end - start);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        const double perGroup = median * 1000.0 / static_cast<double>(groups);
        std::printf("%8zu %12.2f %14.2f %8s\n", groups, median, perGroup,
                    previous > 0 ? std::to_string(perGroup / previous).substr(0, 4).c_str() : "-");
        previous = perGroup;
        manager.destroyGraph(graph);
    }
    return 0;
}
