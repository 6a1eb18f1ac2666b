// Generation detection, the silent generations and the kernel settings that
// generation 5 forces.
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN[XOS]";

// A settings entry whose graph child carries version.
struct Settings {
    vorn_test::Tree tree;
    const IGraphConfig *get() const { return tree->getDescendant(key_settings); }
};

Settings withVersion(const std::string &version)
{
    return {vorn_test::parseTree("<graph_settings><settings><graph version=\"" + version +
                                 "\"/></settings></graph_settings>")};
}

}  // namespace

TEST(IspFactory, FirstContainedGenerationDecides)
{
    struct Case {
        std::string version;
        GdfVersion generation;
        const std::type_info &type;
    };
    const Case cases[] = {
        {"gdf OKT6 OKT5", GDF_VERSION_OKT5, typeid(Okt5IspUtils)},
        {"OKT7OKT6", GDF_VERSION_OKT6, typeid(Okt6IspUtils)},
        {std::string(1 << 20, 'x') + "OKT7", GDF_VERSION_OKT7, typeid(Okt7IspUtils)},
        {"okt5", GDF_VERSION_NONE, typeid(Okt4IspUtils)},
        {"", GDF_VERSION_NONE, typeid(Okt4IspUtils)},
    };
    for (const Case &c : cases) {
        const std::string shown = c.version.substr(0, 20);
        Settings settings = withVersion(c.version);
        LogCapture log;
        std::shared_ptr<IspUtils> utils = IspUtils::Factory(settings.get());
        ASSERT_NE(utils, nullptr) << shown;
        EXPECT_EQ(utils.use_count(), 1);
        EXPECT_EQ(utils->getOktVersion(), c.generation) << shown;
        const IspUtils &object = *utils;
        EXPECT_EQ(typeid(object), c.type) << shown;
        EXPECT_TRUE(
            log.has(VE_LOG_VERBOSE, kTag,
                    "Detected OKT version in the graph: " + c.version + " enum[" + std::to_string(c.generation) + "]"))
            << shown;
        EXPECT_EQ(log.has(VE_LOG_ERROR, kTag, "OKT version not supported in VORN Isp Utils."),
                  c.generation == GDF_VERSION_NONE)
            << shown;
    }

    // The version of the document is not the graph's.
    Settings noGraph{vorn_test::parseTree("<graph_settings version=\"OKT5\"><settings/></graph_settings>")};
    EXPECT_EQ(IspUtils::Factory(noGraph.get())->getOktVersion(), GDF_VERSION_NONE);
    LogCapture log;
    EXPECT_EQ(IspUtils::Factory(nullptr), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Given pointer is null. VORN Isp Utils not initialized."));
}

TEST(IspGenerations, SilentGenerationsTouchNothing)
{
    vorn_test::Tree graph = vorn_test::loadTree("isp_compression.xml");
    IGraphConfig *port = vorn_test::nodeAt(graph, "raw_pg:out_main");
    for (const char *version : {"OKT4", "OKT6", "OKT7"}) {
        Settings settings = withVersion(version);
        std::shared_ptr<IspUtils> utils = IspUtils::Factory(settings.get());
        std::vector<KernelConfigContainer> configs(1);
        LogCapture log;
        EXPECT_EQ(utils->getKernelConfigurations(configs), err_notimplemented) << version;
        EXPECT_EQ(utils->applyFormat(port, "YUV420_8_PL_C"), err_notimplemented) << version;
        EXPECT_EQ(utils->applyCompression(port, "YUV420_8_SP_C"), err_notimplemented) << version;
        EXPECT_TRUE(log.lines().empty()) << log.dump();
        EXPECT_EQ(configs.size(), 1u);
        EXPECT_EQ(vorn_test::strOf(vorn_test::nodeAt(graph, "yuv_pg:in_main"), key_format), "YUV420_8_SP");
    }
}

TEST(IspGenerations, Okt5SwitchesKernelOffWithoutStabilisation)
{
    // A built result graph carries the descriptor's version on its "graph"
    // child and the settings entry's "dvs" on its root.
    vorn_test::Tree descriptor = vorn_test::loadTree("isp_descriptor.xml");
    vorn_test::Tree settings = vorn_test::loadTree("isp_settings.xml");
    GraphQueryManager manager;
    manager.setGraphDescriptor(descriptor.get());
    manager.setGraphSettings(settings.get());
    GraphConfigList entries;
    ASSERT_EQ(manager.queryGraphs({{ItemUID{key_id}, "1"}}, entries), err_none);
    ASSERT_EQ(entries.size(), 2u);

    std::vector<KernelConfigContainer> forced[2];
    for (size_t i = 0; i < 2; ++i) {
        IGraphConfig *graph = nullptr;
        ASSERT_EQ(manager.createGraph(entries[i], &graph), err_none);
        std::shared_ptr<IspUtils> utils = IspUtils::Factory(graph);
        EXPECT_EQ(utils->getOktVersion(), GDF_VERSION_OKT5);
        EXPECT_EQ(utils->getKernelConfigurations(forced[i]), err_none);
        EXPECT_EQ(utils->getKernelConfigurations(forced[i]), err_none);
        EXPECT_EQ(Okt5IspUtils(graph, GDF_VERSION_NONE).getKernelConfigurations(forced[i]), err_none);
        utils.reset();
        manager.destroyGraph(graph);
    }
    ASSERT_EQ(forced[0].size(), 2u) << "appended on each call";
    const KernelConfigContainer &off = forced[0][1];
    EXPECT_EQ(
        (std::vector<uint32_t>{off.applyMask, off.kernelUuid, static_cast<uint32_t>(off.enable), off.metadata[0],
                               off.metadata[1], off.metadata[2], off.metadata[3], off.bppInfo[0], off.bppInfo[1]}),
        (std::vector<uint32_t>{2, 37235, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(forced[1].empty()) << "with stabilisation";

    Okt5IspUtils unset;
    LogCapture log;
    EXPECT_TRUE(unset.isDvsEnabled());
    EXPECT_EQ(unset.getKernelConfigurations(forced[1]), err_general);
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, "vorn isp utils uninitialized"), 2u) << log.dump();
}
