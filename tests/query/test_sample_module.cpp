// The bundled sample camera module, end to end: load the descriptor and the
// gzip settings, query each use case, build its result graph, release the
// inputs and read the result the way a camera service does.
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::intOf;
using vorn_test::kMissing;
using vorn_test::LogCapture;
using vorn_test::peersOf;
using vorn_test::strOf;
using vorn_test::Tree;

namespace {
const std::string kTag = "VORN[XOS]";
const std::string kSampleDir = VORN_SAMPLE_DIR;
using Peers = std::vector<std::string>;

Tree loadSample(const std::string &name) { return vorn_test::loadTree(name, kSampleDir); }

using Graph = vorn_test::ResultGraph;

// Whether two trees hold the same items under the same keys with the same
// values, in the same order.
bool sameTree(const GraphConfigNode &a, const GraphConfigNode &b, std::string &where)
{
    if (a.children().size() != b.children().size()) {
        where = a.getName() + ": child count";
        return false;
    }
    auto ib = b.children().begin();
    for (auto ia = a.children().begin(); ia != a.children().end(); ++ia, ++ib) {
        const GraphConfigItem &x = *ia->second;
        const GraphConfigItem &y = *ib->second;
        if (ia->first != ib->first || x.type != y.type) {
            where = a.getName() + ": key " + ItemUID::key2str(ia->first);
            return false;
        }
        if (x.type == ItemType::NODE) {
            if (!sameTree(static_cast<const GraphConfigNode &>(x), static_cast<const GraphConfigNode &>(y), where))
                return false;
            continue;
        }
        std::string sx, sy;
        int32_t nx = 0, ny = 0;
        if (x.getValue(sx) != y.getValue(sy) || sx != sy || x.getValue(nx) != y.getValue(ny) || nx != ny) {
            where = a.getName() + ": value of " + ItemUID::key2str(ia->first);
            return false;
        }
    }
    return true;
}

// "node:port" of a port, the node name of a virtual sink.
std::string endpointOf(const IGraphConfig *item)
{
    if (strOf(item, key_type) == "sink")
        return item->getName();
    return item->getAncestor()->getName() + ":" + item->getName();
}

// Every direct child node of the result root except the graph element.
std::set<std::string> nodeNames(const IGraphConfig *root)
{
    std::set<std::string> names;
    for (const auto &child : GraphConfigNode::from(root)->children())
        if (child.second->type == ItemType::NODE && child.first != key_graph)
            names.insert(ItemUID::key2str(child.first));
    return names;
}

class SampleModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        mDescriptor = loadSample("sample_descriptor.xml");
        mSettings = loadSample("sample_settings.xml.gz");
        ASSERT_TRUE(mDescriptor && mSettings);
        mManager.setGraphDescriptor(mDescriptor.get());
        mManager.setGraphSettings(mSettings.get());
    }

    // Builds the use case with this settings "key", then releases the input
    // documents: everything read afterwards must live in the result.
    Graph build(int32_t key, LogCapture &log)
    {
        GraphConfigList found;
        EXPECT_EQ(mManager.queryGraphs({{ItemUID{key_key}, std::to_string(key)}}, found, true), err_none);
        if (found.size() != 1)
            return Graph();
        IGraphConfig *out = nullptr;
        EXPECT_EQ(mManager.createGraph(found.front(), &out), err_none) << log.dump();
        mDescriptor.reset();
        mSettings.reset();
        return Graph(out);
    }

    static const IGraphConfig *at(const Graph &graph, const std::string &path)
    {
        return graph->getDescendantByString(path);
    }

    struct Format {
        uint32_t enabled = 0, uid = 0, width = 0, height = 0, fourcc = 0, bpl = 0, bpp = 0, size = 0;
        std::string name;
    };

    // What a camera service reads to allocate the buffer of a port.
    static Format formatOf(const Graph &graph, const std::string &path)
    {
        Format f;
        const IGraphConfig *port = at(graph, path);
        EXPECT_NE(port, nullptr) << path;
        EXPECT_EQ(GraphCameraUtil::portGetFormat(port, f.enabled, f.uid, f.width, f.height, f.fourcc, f.bpl, f.bpp),
                  err_none)
            << path;
        VornFormats::ve_format_t entry;
        if (f.enabled != 0 && VornFormats::getFormatByFourcc(f.fourcc, entry) == err_none) {
            f.name = entry.name;
            f.size = VornFormats::calculateBufferSize(entry, f.width, f.height, f.bpl);
        }
        return f;
    }

    Tree mDescriptor;
    Tree mSettings;
    GraphQueryManager mManager;
};

// Both modules, the first-version one and the generation-6 one: the archive
// holds the tree of its source, and the settings fit their descriptor.
TEST(SampleModules, CompressedSettingsMatchTheirSource)
{
    for (const std::string module : {"sample", "sample6"}) {
        const Tree descriptor = loadSample(module + "_descriptor.xml");
        const Tree plain = loadSample(module + "_settings.xml");
        const Tree packed = loadSample(module + "_settings.xml.gz");
        ASSERT_TRUE(descriptor && plain && packed) << module;
        std::string where;
        EXPECT_TRUE(sameTree(*GraphConfigNode::from(plain.get()), *GraphConfigNode::from(packed.get()), where))
            << module << "_settings.xml.gz is stale (tools/compress-sample.sh): " << where;
        GraphQueryManager manager;
        manager.setGraphDescriptor(descriptor.get());
        manager.setGraphSettings(packed.get());
        LogCapture log;
        EXPECT_EQ(manager.validateSettingsAgainstDescriptor(), err_none);
        EXPECT_TRUE(log.lines().empty()) << module << "\n" << log.dump();
    }
}

// Every use case builds; each connection is recorded on both ends and every
// peer names an item of the result itself, after the inputs are gone.
TEST_F(SampleModule, EveryUseCaseBuildsASelfContainedConsistentGraph)
{
    const std::vector<int32_t> keys = {1001, 1002, 1003, 1004, 2001, 2002, 3001};
    Tree descriptor = loadSample("sample_descriptor.xml");
    Tree settings = loadSample("sample_settings.xml.gz");
    GraphQueryManager manager;
    manager.setGraphDescriptor(descriptor.get());
    manager.setGraphSettings(settings.get());
    GraphConfigList all;
    ASSERT_EQ(manager.queryGraphs({}, all, true), err_none);
    ASSERT_EQ(all.size(), keys.size());

    std::vector<Graph> graphs;
    LogCapture log;
    for (IGraphConfig *entry : all) {
        IGraphConfig *out = nullptr;
        EXPECT_EQ(manager.createGraph(entry, &out), err_none) << intOf(entry, key_key) << "\n" << log.dump();
        graphs.emplace_back(out);
    }
    EXPECT_FALSE(log.contains("rror")) << log.dump();
    descriptor.reset();
    settings.reset();

    for (size_t i = 0; i < graphs.size(); ++i) {
        const IGraphConfig *root = graphs[i].get();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(intOf(root, key_key), keys[i]);
        EXPECT_EQ(strOf(root->getDescendant(key_graph), key_version), "5");
        size_t links = 0;
        for (const std::string &name : nodeNames(root)) {
            const IGraphConfig *node = root->getDescendant(ItemUID::str2key(name));
            std::vector<const IGraphConfig *> ends;
            if (strOf(node, key_type) == "sink")
                ends.push_back(node);
            NodeIterator ports(const_cast<IGraphConfig *>(node));
            while (const IGraphConfig *port = ports.iterateByType(key_port))
                ends.push_back(port);
            for (const IGraphConfig *end : ends) {
                for (const std::string &peer : peersOf(end)) {
                    const IGraphConfig *other = root->getDescendantByString(peer);
                    ASSERT_NE(other, nullptr) << keys[i] << ": " << endpointOf(end) << " -> " << peer;
                    const Peers back = peersOf(other);
                    EXPECT_NE(std::find(back.begin(), back.end(), endpointOf(end)), back.end())
                        << keys[i] << ": " << peer << " does not point back to " << endpointOf(end);
                    ++links;
                }
            }
        }
        EXPECT_GE(links, 8u) << keys[i];  // both ends of at least four connections
    }
}

TEST_F(SampleModule, Video4kCarriesModeFormatsStridesAndBufferSizes)
{
    LogCapture log;
    const Graph graph = build(1003, log);
    ASSERT_TRUE(graph);
    EXPECT_EQ(nodeNames(graph.get()), (std::set<std::string>{"sensor", "csi_be", "isa", "bayer_pp", "preview_scaler",
                                                             "video_scaler", "preview_sink", "video_sink", "pdaf_sink",
                                                             "ae_stats_sink", "awb_stats_sink", "af_stats_sink"}));

    // The chosen sensor mode, merged into the sensor.
    EXPECT_EQ(strOf(at(graph, "sensor"), key_mode_id), "crop_4k");
    EXPECT_EQ(intOf(at(graph, "sensor"), key_fps), 30);
    EXPECT_EQ(strOf(at(graph, "sensor"), key_pdaf_type), "2pd");
    EXPECT_EQ(intOf(at(graph, "sensor:pixel_array:output"), key_left), 184);
    EXPECT_EQ(intOf(at(graph, "sensor:pixel_array:output"), key_top), 480);
    EXPECT_EQ(intOf(at(graph, "sensor:scaler:output"), key_width), 3840);
    EXPECT_EQ(intOf(at(graph, "sensor:pixel_array"), key_width), 4208);  // the descriptor's full array

    // One output feeding two scalers: two peers in connection order.
    EXPECT_EQ(peersOf(at(graph, "bayer_pp:output")), (Peers{"preview_scaler:in", "video_scaler:in"}));
    EXPECT_TRUE(
        log.has(VE_LOG_VERBOSE, kTag, "Node(bayer_pp) port 'output' already connected once to 'preview_scaler:in'"));

    // Hand-computed: 10-bit Bayer stride 2 * 3840 rounded to 64, size
    // stride * rows; NV12 stride = width rounded to 64, size 1.5 * rows *
    // stride; the settings' explicit stride of the video output wins.
    const Format raw = formatOf(graph, "isa:main");
    EXPECT_EQ(raw.name, "GRBG_10");
    EXPECT_EQ(raw.bpl, 7680u);
    EXPECT_EQ(raw.size, 16588800u);
    const Format preview = formatOf(graph, "preview_scaler:out");
    EXPECT_EQ(preview.name, "YUV420_8_SP");
    EXPECT_EQ(preview.fourcc, 0x4E563132u);  // 'NV12'
    EXPECT_EQ(preview.bpl, 1920u);
    EXPECT_EQ(preview.size, 3110400u);
    const Format video = formatOf(graph, "video_scaler:out");
    EXPECT_EQ(video.width, 3840u);
    EXPECT_EQ(video.bpl, 4096u);
    EXPECT_EQ(video.size, 13271040u);
    EXPECT_TRUE(log.has("Overwriting bpl(3840) from settings 4096"));
    // The input port took the values of the output that feeds it.
    const Format scalerIn = formatOf(graph, "video_scaler:in");
    EXPECT_EQ(scalerIn.width, 3840u);
    EXPECT_EQ(scalerIn.bpl, 3840u);
    // Port uid: pg 31, tag "G0", port 1.
    EXPECT_EQ(video.uid, (31u << 16 | 0x4730u) + 1u);

    // Graph overrides hold for every use case of the graph.
    EXPECT_EQ(intOf(at(graph, "bayer_pp"), key_tuning_mode), 1);
    EXPECT_EQ(intOf(at(graph, "bayer_pp:bpp_tnr"), key_enabled), 1);

    // Execution contexts and their program groups.
    std::set<int32_t> contexts;
    EXPECT_EQ(GraphCameraUtil::getExecCtxIds(*graph, contexts), err_none);
    EXPECT_EQ(contexts, (std::set<int32_t>{0, 1, 2}));
    std::vector<IGraphConfig *> scalers;
    EXPECT_EQ(GraphCameraUtil::getProgramGroups(key_exec_ctx_id, 2, graph.get(), scalers), err_none);
    EXPECT_EQ(scalers.size(), 2u);

    // Pruning: the raw output leads nowhere in this graph.
    EXPECT_EQ(intOf(at(graph, "isa:raw_out"), key_enabled), 0);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "port raw_out has no peer, disabling it."));
}

TEST_F(SampleModule, PreviewOnlyAndHighFrameRateDropWhatTheirSettingsLack)
{
    {
        LogCapture log;
        const Graph graph = build(1001, log);
        ASSERT_TRUE(graph);
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Skipping port bayer_pp:output for not being active in settings."));
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                            "WARNING: Node(video_scaler) not found from settings(1001), ignoring connection."));
        EXPECT_EQ(at(graph, "video_scaler"), nullptr);
        EXPECT_EQ(at(graph, "video_sink"), nullptr);
        EXPECT_EQ(peersOf(at(graph, "bayer_pp:output")), Peers{"preview_scaler:in"});
        EXPECT_EQ(strOf(at(graph, "sensor"), key_mode_id), "binned_2x");
        EXPECT_EQ(intOf(at(graph, "sensor:binner"), key_h_factor), 2);
    }
    SetUp();
    {
        LogCapture log;
        const Graph graph = build(1004, log);
        ASSERT_TRUE(graph);
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "WARNING: Node(sensor) port pdaf not found from settings(1004)."));
        EXPECT_TRUE(peersOf(at(graph, "csi_be:pdaf_in")).empty());
        // AF statistics switched off by the settings: port kept, not connected.
        EXPECT_TRUE(
            log.has(VE_LOG_VERBOSE, kTag, "Source port af_stats disabled, skip destination and peer processing"));
        EXPECT_EQ(intOf(at(graph, "isa:af_stats"), key_enabled), 0);
        EXPECT_EQ(at(graph, "af_stats_sink"), nullptr);
        EXPECT_EQ(intOf(at(graph, "sensor"), key_fps), 60);
    }
}

TEST_F(SampleModule, StillRedirectsPreviewOverridesSettingsAndConnectsRawOnDemand)
{
    {
        LogCapture log;
        const Graph graph = build(2001, log);
        ASSERT_TRUE(graph);
        // The settings' "peer" sends the preview scaler to the postview sink.
        EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Overriding destination node preview_sink with postview_sink"));
        EXPECT_EQ(peersOf(at(graph, "preview_scaler:out")), Peers{"postview_sink"});
        EXPECT_EQ(at(graph, "preview_sink"), nullptr);
        EXPECT_EQ(intOf(at(graph, "postview_sink"), key_width), 1280);
        // The graph's override wins over the settings' enabled="1".
        EXPECT_EQ(intOf(at(graph, "isa:af_stats"), key_enabled), 0);
        EXPECT_EQ(intOf(at(graph, "bayer_pp"), key_tuning_mode), 2);
        // Base node with its own overrides.
        EXPECT_EQ(intOf(at(graph, "still_scaler"), key_exec_ctx_id), 3);
        EXPECT_EQ(intOf(at(graph, "still_scaler"), key_tuning_mode), 2);
        EXPECT_EQ(strOf(at(graph, "still_scaler"), key_type), "program_group");
        // No raw stream in this use case.
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "WARNING: Node(isa) port raw_out not found from settings(2001)."));
        EXPECT_EQ(at(graph, "raw_sink"), nullptr);
        EXPECT_EQ(intOf(at(graph, "isa:raw_out"), key_enabled), 0);
        const Format still = formatOf(graph, "still_scaler:out");
        EXPECT_EQ(still.bpl, 4224u);       // 4208 rounded up to 64
        EXPECT_EQ(still.size, 19768320u);  // 3120 * 4224 * 1.5
    }
    SetUp();
    {
        LogCapture log;
        const Graph graph = build(2002, log);
        ASSERT_TRUE(graph);
        EXPECT_EQ(peersOf(at(graph, "isa:raw_out")), Peers{"raw_sink"});
        EXPECT_EQ(intOf(at(graph, "isa:raw_out"), key_enabled), kMissing);
        // A virtual sink without a stream takes the producer's.
        EXPECT_EQ(intOf(at(graph, "raw_sink"), key_stream_id), 60000);
        EXPECT_EQ(intOf(at(graph, "raw_sink"), key_direction), 0);
        const Format packed = formatOf(graph, "isa:raw_out");
        EXPECT_EQ(packed.name, "GRBG_10_P");
    }
}

TEST_F(SampleModule, TestPatternNeedsNoSensorMode)
{
    LogCapture log;
    const Graph graph = build(3001, log);
    ASSERT_TRUE(graph);
    EXPECT_EQ(at(graph, "sensor"), nullptr);
    EXPECT_EQ(peersOf(at(graph, "tpg:port_0")), Peers{"csi_be:input"});
    EXPECT_FALSE(log.contains("mode"));
    std::vector<IGraphConfig *> sources;
    EXPECT_EQ(GraphCameraUtil::getSourceNode(graph.get(), sources), err_none);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources.front()->getName(), "tpg");
    std::string type;
    EXPECT_EQ(GraphCameraUtil::sensorGetType(graph.get(), type), err_none);
    EXPECT_EQ(type, "tpg");
}

// Choosing another output format through the options list of the scaler's
// base node switches its down-scaler kernels; a value outside the list is
// refused and changes nothing.
TEST_F(SampleModule, FormatOptionsOfDerivedNodesApplyTheirKernelChanges)
{
    LogCapture log;
    const Graph graph = build(1002, log);
    ASSERT_TRUE(graph);
    const IGraphConfig *sink = at(graph, "video_sink");
    EXPECT_EQ(intOf(at(graph, "video_scaler:ds_10bit"), key_enabled), 0);

    EXPECT_EQ(GraphCameraUtil::applyFormat(sink, "YUV420_10_SP"), err_none) << log.dump();
    EXPECT_EQ(strOf(at(graph, "video_scaler:out"), key_format), "YUV420_10_SP");
    EXPECT_EQ(intOf(at(graph, "video_scaler:ds_10bit"), key_enabled), 1);
    EXPECT_EQ(intOf(at(graph, "video_scaler:ds_8bit"), key_enabled), 0);
    // The change was addressed to this scaler only.
    EXPECT_EQ(intOf(at(graph, "preview_scaler:ds_10bit"), key_enabled), 0);
    EXPECT_EQ(at(graph, "scaler_base"), nullptr);

    log.clear();
    EXPECT_EQ(GraphCameraUtil::applyFormat(sink, "UYVY"), err_none);
    EXPECT_TRUE(log.contains("Trying to apply value but no options list available for")) << log.dump();
    EXPECT_EQ(strOf(at(graph, "video_scaler:out"), key_format), "YUV420_10_SP");

    EXPECT_EQ(GraphCameraUtil::applyFormat(sink, "YUV420_8_SP_REV"), err_none);
    EXPECT_EQ(intOf(at(graph, "video_scaler:ds_8bit"), key_enabled), 1);
    EXPECT_EQ(intOf(at(graph, "video_scaler:ds_10bit"), key_enabled), 0);
}

}  // namespace

// The kernel lists of the sample: isa and bayer_pp share a stream, each scaler
// is a stream fed from bayer_pp; the still graph switches the AF statistics
// off, which switches off the AF kernel alone (it follows the branch point).
TEST_F(SampleModule, KernelListsPerStream)
{
    const auto lists = [&](int32_t key, std::vector<int32_t> &isaEnables, ve_isp_tol_resolution_info &afHistory,
                           std::vector<uint32_t> &counts) {
        LogCapture log;
        const Graph graph = build(key, log);
        ASSERT_TRUE(graph);
        TolKorUtils kor;
        ASSERT_EQ(kor.initKorUtils(graph.get()), err_none) << log.dump();
        std::vector<int32_t> streams;
        kor.getStreamIds(streams, false);
        for (int32_t stream : streams) {
            ve_isp_tol_program_group group{};
            kor.getProgramGroup(stream, group);
            counts.push_back(group.kernel_count);
        }
        ve_isp_tol_program_group isa{};
        ASSERT_EQ(kor.getProgramGroup(at(graph, "isa"), isa), err_none);
        ASSERT_EQ(isa.kernel_count, 8u);
        for (uint32_t i = 0; i < isa.kernel_count; ++i)
            isaEnables.push_back(isa.run_kernels[i].enable);
        afHistory = *isa.run_kernels[3].resolution_history;
    };
    std::vector<int32_t> enables;
    std::vector<uint32_t> counts;
    ve_isp_tol_resolution_info af{};
    lists(1003, enables, af, counts);  // 4K video, cropped sensor mode
    EXPECT_EQ(enables, (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(counts, (std::vector<uint32_t>{14, 3, 3}));
    EXPECT_EQ((std::vector<int32_t>{af.input_width, af.input_crop.left, af.input_crop.top, af.output_width}),
              (std::vector<int32_t>{4208, 184, 480, 3840}));

    enables.clear();
    counts.clear();
    SetUp();                           // build released the documents
    lists(2001, enables, af, counts);  // still with postview
    EXPECT_EQ(enables, (std::vector<int32_t>{1, 1, 1, 2, 1, 1, 1, 1}));
    EXPECT_EQ(counts, (std::vector<uint32_t>{14, 3, 3}));
}
