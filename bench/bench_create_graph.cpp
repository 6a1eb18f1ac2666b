// Result-graph construction over pipelines of growing size: createGraph and
// destroyGraph of one settings entry whose graph has 100, 300, 1,000, 3,000
// and 10,000 program groups, against a baseline that copies the same input once.
//
// The baseline deep-copies the graph element, every descriptor node the
// result graph holds (the base node for a node built from one) and the
// settings entry into one new tree, and deletes it: the least any result
// graph of these inputs costs. createGraph adds to that the lookups of the
// connection ends, the peers, the settings merge, the overrides, the port
// pruning and the sensor mode; its work per node should stay flat as the
// graph grows, and so should its ratio to the baseline. The time per node of
// both also shows the caches: the result tree of 100 groups (about 2.5 MB)
// stays in the last-level cache, the 20 MB of 1,000 groups do not, so both
// step up once between those sizes and stay level after.
//
// Each size is generated and loaded when its first benchmark runs, after the
// trees of the previous size are released. Each input is checked once before
// timing: status err_none, every node of the pipeline in the result and two
// peers per connection.
//
// After the benchmarks a summary prints, per size, the time per iteration of
// both, their ratio, the time per node and per connection, and the growth of
// the time per node against the previous size (1.00 is linear).
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <vorn/vorn.h>

#include "best_run_reporter.h"
#include "config_generator.h"

namespace {

constexpr size_t kSizes[] = {100, 300, 1000, 3000, 10000};

struct Input {
    size_t programGroups = 0;
    std::string error;

    vornbench::ScaledPipeline pipeline;  // the documents' text is dropped once loaded
    std::unique_ptr<Vorn::IGraphConfig> descriptor;
    std::unique_ptr<Vorn::IGraphConfig> settings;
    Vorn::IGraphConfig *entry = nullptr;  // the <settings> node, owned by settings

    // What the baseline copies, and the key each copy goes under.
    std::vector<const Vorn::GraphConfigNode *> copied;
    std::vector<Vorn::KeyId> copiedKeys;

    size_t resultNodes = 0;  // top-level nodes of the result, the graph element excluded
    size_t resultItems = 0;  // every item of the result tree
    size_t peers = 0;        // "peer" attributes in the result
    bool prepared = false;
    bool released = false;
};

std::vector<Input> &inputs()
{
    static std::vector<Input> list = [] {
        std::vector<Input> l(std::size(kSizes));
        for (size_t i = 0; i < l.size(); ++i)
            l[i].programGroups = kSizes[i];
        return l;
    }();
    return list;
}

Vorn::IGraphConfig *parse(const std::string &text)
{
    Vorn::VornParser parser;
    Vorn::IGraphConfig *tree = nullptr;
    parser.parseVornXmlData(text.data(), text.size(), &tree);
    return tree;
}

const Vorn::GraphConfigNode *childNode(const Vorn::GraphConfigNode *node, Vorn::KeyId key)
{
    Vorn::GraphConfigNode *child = nullptr;
    return node != nullptr && node->getDescendant(key, &child) == err_none ? child : nullptr;
}

// The first child node of parent under childKey whose integer attribute
// under key is value.
const Vorn::GraphConfigNode *findChild(const Vorn::GraphConfigNode *parent, Vorn::KeyId childKey, Vorn::KeyId key,
                                       int value)
{
    if (parent == nullptr)
        return nullptr;
    const auto range = parent->children().equal_range(childKey);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second->type != Vorn::ItemType::NODE)
            continue;
        const auto *node = static_cast<const Vorn::GraphConfigNode *>(it->second);
        int32_t found = 0;
        if (node->getValue(key, found) == err_none && found == value)
            return node;
    }
    return nullptr;
}

// Counts the items below node and the "peer" attributes among them.
void countItems(const Vorn::GraphConfigNode *node, size_t &items, size_t &peers)
{
    std::vector<const Vorn::GraphConfigNode *> pending{node};
    while (!pending.empty()) {
        const Vorn::GraphConfigNode *current = pending.back();
        pending.pop_back();
        for (const auto &child : current->children()) {
            ++items;
            if (child.first == Vorn::key_peer)
                ++peers;
            if (child.second->type == Vorn::ItemType::NODE)
                pending.push_back(static_cast<const Vorn::GraphConfigNode *>(child.second));
        }
    }
}

// Loads one input, builds its result graph once and records what the
// baseline copies; false with in.error set on any failure.
bool prepare(Input &in)
{
    in.pipeline = vornbench::makeScaledPipeline(in.programGroups);
    in.descriptor.reset(parse(in.pipeline.descriptor.text));
    in.settings.reset(parse(in.pipeline.settings.text));
    if (!in.descriptor || !in.settings) {
        in.error = "generated documents did not load";
        return false;
    }
    in.pipeline.descriptor.text = std::string();
    in.pipeline.settings.text = std::string();

    const auto *settingsRoot = Vorn::GraphConfigNode::from(in.settings.get());
    const auto *descriptorRoot = Vorn::GraphConfigNode::from(in.descriptor.get());
    const Vorn::GraphConfigNode *entry =
        findChild(settingsRoot, Vorn::key_settings, Vorn::key_key, in.pipeline.settingsKey);
    const Vorn::GraphConfigNode *graphElement =
        findChild(childNode(descriptorRoot, Vorn::key_graphs), Vorn::key_graph, Vorn::key_id, in.pipeline.graphId);
    const Vorn::GraphConfigNode *nodes = childNode(descriptorRoot, Vorn::key_nodes);
    if (entry == nullptr || graphElement == nullptr || nodes == nullptr) {
        in.error = "settings entry, graph or nodes missing from the loaded documents";
        return false;
    }
    in.entry = const_cast<Vorn::GraphConfigNode *>(entry);

    Vorn::GraphQueryManager manager;
    manager.setGraphSettings(in.settings.get());
    manager.setGraphDescriptor(in.descriptor.get());
    Vorn::IGraphConfig *graph = nullptr;
    const Vorn::status_t status = manager.createGraph(in.entry, &graph);
    std::unique_ptr<Vorn::IGraphConfig, void (*)(Vorn::IGraphConfig *)> result(
        graph, [](Vorn::IGraphConfig *g) { Vorn::GraphQueryManager().destroyGraph(g); });
    if (status != err_none || graph == nullptr) {
        in.error = "createGraph failed with status " + std::to_string(status);
        return false;
    }

    in.copied.push_back(graphElement);
    in.copiedKeys.push_back(Vorn::key_graph);
    const auto *root = Vorn::GraphConfigNode::from(graph);
    for (const auto &child : root->children()) {
        if (child.second->type != Vorn::ItemType::NODE || child.first == Vorn::key_graph)
            continue;
        ++in.resultNodes;
        const Vorn::GraphConfigNode *definition = childNode(nodes, child.first);
        std::string baseName;
        if (definition != nullptr && definition->getValue(Vorn::key_base_node, baseName) == err_none)
            definition = childNode(nodes, Vorn::ItemUID::str2key(baseName));
        if (definition == nullptr) {
            in.error =
                std::string("result node ") + Vorn::ItemUID::key2str(child.first) + " has no descriptor definition";
            return false;
        }
        in.copied.push_back(definition);
        in.copiedKeys.push_back(child.first);
    }
    in.copied.push_back(entry);
    in.copiedKeys.push_back(Vorn::key_settings);

    countItems(root, in.resultItems, in.peers);
    if (in.resultNodes != in.pipeline.nodes || in.peers != 2 * in.pipeline.connections) {
        in.error = "result graph has " + std::to_string(in.resultNodes) + " nodes and " + std::to_string(in.peers) +
                   " peers, expected " + std::to_string(in.pipeline.nodes) + " and " +
                   std::to_string(2 * in.pipeline.connections);
        return false;
    }
    return true;
}

// Generates and loads the input of one size the first time one of its
// benchmarks runs, and releases the trees of every other size first: each
// size is measured on a heap that holds only its own input, as a camera
// service holds one configuration.
bool use(Input &in)
{
    if (!in.prepared) {
        for (Input &other : inputs()) {
            if (&other == &in)
                continue;
            other.entry = nullptr;
            other.copied.clear();
            other.copiedKeys.clear();
            other.descriptor.reset();
            other.settings.reset();
            other.released = other.prepared;  // its benchmarks have run
        }
        in.prepared = true;
        prepare(in);
    }
    return in.error.empty() && !in.released;
}

void setCounters(benchmark::State &state, const Input &in)
{
    const double iterations = static_cast<double>(state.iterations());
    state.counters["nodes"] = static_cast<double>(in.resultNodes);
    state.counters["connections"] = static_cast<double>(in.pipeline.connections);
    state.counters["items"] = static_cast<double>(in.resultItems);
    // Seconds per node and per connection; Google Benchmark prints them scaled.
    const auto kPer = benchmark::Counter::kIsRate | benchmark::Counter::kInvert;
    state.counters["per_node"] = benchmark::Counter(static_cast<double>(in.resultNodes) * iterations, kPer);
    state.counters["per_conn"] = benchmark::Counter(static_cast<double>(in.pipeline.connections) * iterations, kPer);
}

void runCreateGraph(benchmark::State &state, Input &in)
{
    if (!use(in)) {
        state.SkipWithError(in.released ? "input already released" : in.error.c_str());
        return;
    }
    Vorn::GraphQueryManager manager;
    manager.setGraphSettings(in.settings.get());
    manager.setGraphDescriptor(in.descriptor.get());
    for (auto _ : state) {
        Vorn::IGraphConfig *graph = nullptr;
        const Vorn::status_t status = manager.createGraph(in.entry, &graph);
        benchmark::DoNotOptimize(graph);
        manager.destroyGraph(graph);
        if (status != err_none) {
            state.SkipWithError("createGraph failed");
            break;
        }
    }
    setCounters(state, in);
}

void runBaseline(benchmark::State &state, Input &in)
{
    if (!use(in)) {
        state.SkipWithError(in.released ? "input already released" : in.error.c_str());
        return;
    }
    for (auto _ : state) {
        auto *root = new Vorn::GraphConfigNode();
        bool ok = true;
        for (size_t i = 0; i < in.copied.size() && ok; ++i) {
            Vorn::GraphConfigNode *copy = in.copied[i]->copy();
            ok = copy != nullptr && root->insertDescendant(copy, in.copiedKeys[i]) == err_none;
            if (!ok)
                delete copy;
        }
        benchmark::DoNotOptimize(root);
        delete root;
        if (!ok) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    setCounters(state, in);
}

std::string benchmarkName(const char *what, const Input &in)
{
    return std::string(what) + "/" + std::to_string(in.programGroups);
}

void registerBenchmarks()
{
    for (Input &in : inputs()) {
        for (int create = 1; create >= 0; --create) {
            const std::string name = benchmarkName(create ? "create_graph" : "copy_baseline", in);
            auto *b =
                create
                    ? benchmark::RegisterBenchmark(name.c_str(), [&in](benchmark::State &s) { runCreateGraph(s, in); })
                    : benchmark::RegisterBenchmark(name.c_str(), [&in](benchmark::State &s) { runBaseline(s, in); });
            // Best of several repetitions: the machine may be shared.
            b->Unit(benchmark::kMicrosecond)
                ->MinTime(0.2)
                ->Repetitions(5)
                ->ComputeStatistics("min", vornbench::minimumOf)
                ->DisplayAggregatesOnly(true);
        }
    }
}

// --- summary ------------------------------------------------------------------

void printSummary(const vornbench::BestRunReporter &reporter)
{
    std::printf("\ncreateGraph + destroyGraph against the copy baseline (CPU time per iteration, best of 5;\n"
                "ratio = create / baseline; growth = create time per node against the previous size, 1.00 is "
                "linear)\n\n");
    std::printf("%6s %6s %6s %6s %7s %7s %11s %11s %6s %9s %9s %9s %7s %7s\n", "groups", "nodes", "conns", "static",
                "derived", "items", "create us", "base us", "ratio", "ns/node", "ns/conn", "base/node", "growth",
                "ratio/r");
    double previousPerNode = 0;
    double previousRatio = 0;
    for (const Input &in : inputs()) {
        const vornbench::BestRun *createRun = reporter.find(benchmarkName("create_graph", in));
        const vornbench::BestRun *baseRun = reporter.find(benchmarkName("copy_baseline", in));
        const double create = createRun != nullptr ? createRun->cpuSeconds : 0;
        const double base = baseRun != nullptr ? baseRun->cpuSeconds : 0;
        if (!in.error.empty() || create <= 0 || base <= 0)
            continue;
        const double nodes = static_cast<double>(in.resultNodes);
        const double ratio = create / base;
        const double perNode = create / nodes;
        char growth[16] = "-";
        char ratioGrowth[16] = "-";
        if (previousPerNode > 0) {
            std::snprintf(growth, sizeof growth, "%.2f", perNode / previousPerNode);
            std::snprintf(ratioGrowth, sizeof ratioGrowth, "%.2f", ratio / previousRatio);
        }
        previousPerNode = perNode;
        previousRatio = ratio;
        std::printf("%6zu %6zu %6zu %6zu %7zu %7zu %11.1f %11.1f %6.2f %9.1f %9.1f %9.1f %7s %7s\n", in.programGroups,
                    in.resultNodes, in.pipeline.connections, in.pipeline.staticConnections, in.pipeline.derivedGroups,
                    in.resultItems, create * 1e6, base * 1e6, ratio, perNode * 1e9,
                    create / static_cast<double>(in.pipeline.connections) * 1e9, base / nodes * 1e9, growth,
                    ratioGrowth);
    }
    for (const Input &in : inputs())
        if (!in.error.empty())
            std::printf("%zu program groups: %s\n", in.programGroups, in.error.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
    registerBenchmarks();
    return vornbench::runWithSummary(argc, argv, printSummary);
}
