// The generation-6 sample module: every use case builds from the plain and
// the gzip settings, and the analysis of new-version graphs finds its
// streams, which stream feeds which, the kernels of each, the kernels a use
// case switches off, and crop and scale settings that fit the images of the
// use case.
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::intOf;
using vorn_test::LogCapture;
using vorn_test::ResultGraph;
using vorn_test::strOf;
using vorn_test::Tree;

namespace {

const std::string kSampleDir = VORN_SAMPLE_DIR;
const std::vector<int32_t> kUseCases = {1001, 1002, 1003, 1004, 2001, 2002, 3001};

// The module's documents and the result graph of each use case.
struct Module {
    explicit Module(const std::string &settingsName = "sample6_settings.xml.gz")
        : descriptor(vorn_test::loadTree("sample6_descriptor.xml", kSampleDir)),
          settings(vorn_test::loadTree(settingsName, kSampleDir))
    {
        manager.setGraphDescriptor(descriptor.get());
        manager.setGraphSettings(settings.get());
    }

    ResultGraph build(int32_t key)
    {
        GraphConfigList found;
        manager.queryGraphs({{ItemUID{key_key}, std::to_string(key)}}, found, true);
        EXPECT_EQ(found.size(), 1u) << key;
        IGraphConfig *graph = nullptr;
        if (!found.empty()) {
            EXPECT_EQ(manager.createGraph(found.front(), &graph), err_none) << key;
        }
        return ResultGraph(graph);
    }

    Tree descriptor;
    Tree settings;
    GraphQueryManager manager;
};

// One use case built and analysed by stream, with the log of both steps.
struct AnalysedUseCase {
    explicit AnalysedUseCase(int32_t key) : graph(module.build(key))
    {
        if (graph)
            status = util.init(key_stream_id, graph.get(), GDF_VERSION_OKT6);
        EXPECT_EQ(status, err_none) << key << "\n" << log.dump();
    }

    LogCapture log;
    Module module;
    ResultGraph graph;
    GraphUtil util;
    status_t status = err_data;
};

// What the analysis made of one stream.
struct Stream {
    uint64_t kernels;
    std::set<int32_t> fedBy;
    std::vector<std::string> programGroups;

    bool operator==(const Stream &other) const
    {
        return kernels == other.kernels && fedBy == other.fedBy && programGroups == other.programGroups;
    }
};

std::ostream &operator<<(std::ostream &out, const Stream &stream)
{
    out << "{" << stream.kernels << " kernels, fed by";
    for (int32_t id : stream.fedBy)
        out << " " << id;
    out << ", groups";
    for (const std::string &name : stream.programGroups)
        out << " " << name;
    return out << "}";
}

std::map<int32_t, Stream> streamsOf(const GraphUtil &util)
{
    std::map<int32_t, Stream> streams;
    for (const auto &entry : util.subGraphs()) {
        Stream &stream = streams[entry.first];
        stream.kernels = entry.second->kernelCount;
        for (const auto &input : entry.second->inputs)
            stream.fedBy.insert(std::stoi(input.second));
        for (const IGraphConfig *pg : entry.second->pgs)
            stream.programGroups.push_back(pg->getName());
    }
    return streams;
}

std::set<std::string> nodeNames(const GraphUtil::SubGraphInfo &subgraph)
{
    std::set<std::string> names;
    for (const GraphUtil::GraphNode *node : subgraph.nodes)
        names.insert(node->name);
    return names;
}

// The first port of a program group in this direction (0 input, 1 output).
const IGraphConfig *firstPort(const IGraphConfig *group, int32_t direction)
{
    NodeIterator ports(const_cast<IGraphConfig *>(group));
    while (const IGraphConfig *port = ports.iterateByType(key_port))
        if (intOf(port, key_direction) == direction)
            return port;
    return nullptr;
}

// The size of the image entering a program group: that of the output port
// feeding its input (an input port need not hold its size itself).
status_t inputSize(const IGraphConfig *group, int32_t &width, int32_t &height)
{
    IGraphConfig *feeder = nullptr;
    const status_t status = GraphCameraUtil::portGetPeer(firstPort(group, 0), &feeder);
    return status != err_none ? status : GraphCameraUtil::getDimensions(feeder, &width, &height);
}

}  // namespace

TEST(Sample6Module, EveryUseCaseBuildsFromPlainAndGzipSettings)
{
    for (const std::string name : {"sample6_settings.xml", "sample6_settings.xml.gz"}) {
        Module module(name);
        GraphConfigList all;
        ASSERT_EQ(module.manager.queryGraphs({}, all, true), err_none) << name;
        ASSERT_EQ(all.size(), kUseCases.size()) << name;
        LogCapture log;
        for (size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(intOf(all[i], key_key), kUseCases[i]) << name;
            IGraphConfig *out = nullptr;
            EXPECT_EQ(module.manager.createGraph(all[i], &out), err_none) << name << " " << kUseCases[i];
            const ResultGraph graph(out);
            // The generation is read from the graph the library built.
            EXPECT_EQ(strOf(graph->getDescendant(key_graph), key_version), "gdf-OKT6");
            EXPECT_EQ(IspUtils::Factory(graph.get())->getOktVersion(), GDF_VERSION_OKT6);
        }
        EXPECT_FALSE(log.contains("rror")) << log.dump();

        // The query a camera service starts with finds the 4K video alone.
        GraphConfigList video;
        const std::map<ItemUID, std::string> query = {
            {ItemUID{key_width}, "3840"}, {ItemUID{key_height}, "2160"}, {ItemUID{key_fps}, "30"}};
        ASSERT_EQ(module.manager.queryGraphs(query, video, true), err_none);
        ASSERT_EQ(video.size(), 1u);
        EXPECT_EQ(intOf(video.front(), key_key), 1003);
    }
}

// The sensor's stream (sensor or test pattern with the receiver) feeds the
// input-system stream, which feeds one stream per scaler.
TEST(Sample6Module, AnalysisFindsTheStreamsOfEveryUseCase)
{
    const Stream source{0, {}, {}};
    const Stream pipeline{15, {0}, {"bayer_pp", "isa"}};
    const auto scaler = [](const std::string &name) { return Stream{3, {60000}, {name}}; };
    const std::map<int32_t, std::map<int32_t, Stream>> expected = {
        {1001, {{0, source}, {60000, pipeline}, {60001, scaler("preview_scaler")}}},
        {1002, {{0, source}, {60000, pipeline}, {60001, scaler("preview_scaler")}, {60002, scaler("video_scaler")}}},
        {1003, {{0, source}, {60000, pipeline}, {60001, scaler("preview_scaler")}, {60002, scaler("video_scaler")}}},
        {1004, {{0, source}, {60000, pipeline}, {60001, scaler("preview_scaler")}, {60002, scaler("video_scaler")}}},
        {2001, {{0, source}, {60000, pipeline}, {60003, scaler("still_scaler")}, {60004, scaler("preview_scaler")}}},
        {2002, {{0, source}, {60000, pipeline}, {60003, scaler("still_scaler")}, {60004, scaler("preview_scaler")}}},
        {3001, {{0, source}, {60000, pipeline}, {60001, scaler("preview_scaler")}}},
    };
    const std::map<int32_t, std::set<std::string>> sourceNodes = {
        {1001, {"csi_be", "pdaf_sink", "sensor"}}, {1004, {"csi_be", "sensor"}}, {3001, {"csi_be", "tpg"}}};

    for (int32_t key : kUseCases) {
        const AnalysedUseCase useCase(key);
        ASSERT_EQ(useCase.status, err_none);
        EXPECT_EQ(streamsOf(useCase.util), expected.at(key)) << key;
        // Only the active paths of the routing nodes are linked.
        EXPECT_FALSE(useCase.log.contains("skipped due to mux config")) << key;
        const GraphUtil::SubGraphInfo &sensorSide = *useCase.util.subGraphs().at(0);
        const auto names = sourceNodes.find(key);
        if (names != sourceNodes.end()) {
            EXPECT_EQ(nodeNames(sensorSide), names->second) << key;
        }
        EXPECT_EQ(sensorSide.imagingNodes.count("csi_be:output"), 1u) << key;
    }
}

// Ports that lead nowhere switch off the kernels that only feed them; the
// graphs' overrides and the scalers' format choose which kernels are bypassed.
TEST(Sample6Module, KernelsEachUseCaseSwitchesOff)
{
    using States = std::map<std::string, int32_t>;
    const int32_t off = VE_ISP_TOL_KERNEL_DISABLED;
    const int32_t bypass = VE_ISP_TOL_KERNEL_BYPASS;
    const States video = {{"preview_scaler:ds_10bit", bypass}, {"video_scaler:ds_10bit", bypass}};
    const States still = {{"isa:isa_af", off},
                          {"bayer_pp:bpp_tnr", bypass},
                          {"preview_scaler:ds_10bit", bypass},
                          {"still_scaler:ds_10bit", bypass}};
    States noAf = video;
    noAf["isa:isa_af"] = off;
    const std::map<int32_t, States> expected = {
        {1001, {{"preview_scaler:ds_10bit", bypass}}},
        {1002, video},
        {1003, video},
        {1004, noAf},
        {2001, still},
        {2002, still},
        {3001, {{"bayer_pp:bpp_tnr", bypass}, {"preview_scaler:ds_10bit", bypass}}},
    };

    for (int32_t key : kUseCases) {
        AnalysedUseCase useCase(key);
        ASSERT_EQ(useCase.status, err_none);
        States notOn;
        for (const auto &entry : useCase.util.subGraphs()) {
            ASSERT_EQ(useCase.util.disableKernelsToDisabledTerminals(*entry.second), err_none) << key;
            for (const auto &inner : entry.second->imagingNodes) {
                const GraphUtil::ImagingNode &node = *inner.second;
                if (node.type == GraphUtil::ImagingKernel && node.runKernel.enable != VE_ISP_TOL_KERNEL_ENABLED)
                    notOn[inner.first] = node.runKernel.enable;
            }
        }
        EXPECT_EQ(notOn, expected.at(key)) << key;
    }
}

// The kernels that crop or scale read sizes that fit the use case: the
// input is the image entering their program group, and a kernel that makes
// the program group's image makes it at the size of its output port.
TEST(Sample6Module, CropAndScaleSettingsFitTheImagesOfEachUseCase)
{
    const std::set<std::string> producers = {"bpp_scale", "ds_scale"};
    for (int32_t key : kUseCases) {
        const AnalysedUseCase useCase(key);
        ASSERT_EQ(useCase.status, err_none);
        std::set<std::string> sized, passThrough;
        for (const auto &entry : useCase.util.subGraphs()) {
            for (const auto &inner : entry.second->imagingNodes) {
                const GraphUtil::ImagingNode &node = *inner.second;
                if (node.type != GraphUtil::ImagingKernel || (node.flags & GraphUtil::kFlagRcb) == 0)
                    continue;
                if (!TolKorUtils::kernelHasResolutions(node.configNode)) {
                    passThrough.insert(node.name);
                    continue;
                }
                sized.insert(node.name);
                ve_isp_tol_resolution_info info{};
                ASSERT_EQ(TolKorUtils::kernelGetResolutions(node.configNode, &info), err_none) << inner.first;
                const IGraphConfig *group = node.configNode->getAncestor();
                int32_t width = 0, height = 0;
                ASSERT_EQ(inputSize(group, width, height), err_none) << key << " " << inner.first;
                EXPECT_EQ(info.input_width, width) << key << " " << inner.first;
                EXPECT_EQ(info.input_height, height) << key << " " << inner.first;
                EXPECT_LT(info.input_crop.left + info.input_crop.right, info.input_width) << key << " " << inner.first;
                EXPECT_LT(info.input_crop.top + info.input_crop.bottom, info.input_height) << key << " " << inner.first;
                if (producers.count(node.name) == 0)
                    continue;
                ASSERT_EQ(GraphCameraUtil::getDimensions(firstPort(group, 1), &width, &height), err_none)
                    << key << " " << inner.first;
                EXPECT_EQ(info.output_width, width) << key << " " << inner.first;
                EXPECT_EQ(info.output_height, height) << key << " " << inner.first;
            }
        }
        EXPECT_EQ(sized, (std::set<std::string>{"bpp_scale", "ds_scale", "isa_3a_ds"})) << key;
        EXPECT_EQ(passThrough, (std::set<std::string>{"bpp_tnr", "isa_main"})) << key;
    }
}
