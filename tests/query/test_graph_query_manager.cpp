// GraphQueryManager: version check and settings queries, over loaded fixture
// documents and over trees built here.
#include <chrono>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {
const std::string kTag = "VORN[XOS]";
const std::string kData = VORN_TEST_DATA_DIR;
const std::string kNoMatch = "No settings matching the query found";
const std::string kNoDescriptorVersion = "Couldn't get version from graph descriptor";
const std::string kNoSettingsVersion = "Couldn't get version from graph settings";

std::string mismatch(const std::string &settings, const std::string &descriptor)
{
    return "WARNING: graph settings(" + settings + ") version is not matching graph descriptor(" + descriptor +
           "). Make sure the settings are compatible with the graph descriptor.";
}

std::unique_ptr<GraphConfigNode> load(const std::string &path)
{
    VornParser parser;
    IGraphConfig *out = nullptr;
    parser.parseVornXmlFile(path, &out);
    EXPECT_NE(out, nullptr) << path;
    return std::unique_ptr<GraphConfigNode>(out != nullptr ? GraphConfigNode::from(out) : nullptr);
}

std::unique_ptr<GraphConfigNode> root(const char *version)
{
    std::unique_ptr<GraphConfigNode> node(new GraphConfigNode());
    if (version != nullptr)
        node->addValue(key_version, std::string(version));
    return node;
}

// The "id" of every node in the list, in list order.
std::vector<int32_t> ids(const GraphConfigList &list)
{
    std::vector<int32_t> out;
    for (IGraphConfig *node : list) {
        int32_t id = -100;
        node->getValue(key_id, id);
        out.push_back(id);
    }
    return out;
}

// query_settings.xml (version 4.1) with query_descriptor.xml (version 4).
// Its settings, in order (id/key): 5/7, 50/8, 5/9, 6/7; "sensor_modes" also
// carries id 5 and key 7 but is no candidate.
struct SettingsQuery : ::testing::Test {
    std::unique_ptr<GraphConfigNode> settings = load(kData + "/query_settings.xml");
    std::unique_ptr<GraphConfigNode> descriptor = load(kData + "/query_descriptor.xml");
    GraphQueryManager manager;

    void SetUp() override
    {
        ASSERT_TRUE(settings && descriptor);
        manager.setGraphSettings(settings.get());
        manager.setGraphDescriptor(descriptor.get());
    }

    // The settings children of the root, in child order.
    std::vector<IGraphConfig *> all() const
    {
        std::vector<IGraphConfig *> out;
        NodeIterator it(settings.get());
        while (IGraphConfig *node = it.iterateByUid(key_settings))
            out.push_back(node);
        return out;
    }

    std::vector<int32_t> query(const SearchQuery &q, bool strict, status_t expected = err_none)
    {
        GraphConfigList result;
        EXPECT_EQ(manager.queryGraphs(q, result, strict), expected);
        return ids(result);
    }

    size_t score(const SearchQuery &q, const IGraphConfig *node, bool strict)
    {
        // The scoring mode is the one of the last query.
        GraphConfigList ignored;
        manager.queryGraphs({}, ignored, strict);
        size_t count = 0;
        manager.goThroughSearchItems(q, node, count);
        return count;
    }
};

using V = std::vector<int32_t>;
}  // namespace

TEST(QueryVersion, UnsetRootsFailWithoutTouchingTheResult)
{
    auto settings = root("4.1");
    auto descriptor = root("4");
    IGraphConfig *marker = settings.get();
    for (int which = 0; which < 3; ++which) {
        GraphQueryManager manager;
        if (which == 1)
            manager.setGraphSettings(settings.get());
        if (which == 2)
            manager.setGraphDescriptor(descriptor.get());
        LogCapture log;
        GraphConfigList result{marker};
        EXPECT_EQ(manager.validateSettingsAgainstDescriptor(), err_data);
        EXPECT_EQ(manager.queryGraphs({}, result, true), err_data);
        EXPECT_EQ(manager.queryGraphs({}, GraphConfigList{marker}, result, true), err_data);
        EXPECT_EQ(result, GraphConfigList{marker});
        EXPECT_TRUE(log.lines().empty()) << log.dump();
    }
}

TEST(QueryVersion, SettingsMajorVersionIsComparedWithTheWholeDescriptorVersion)
{
    struct Case {
        const char *settings;
        const char *descriptor;
        bool warns;
    } cases[] = {
        {"4.1", "4", false}, {"4", "4", false},  {"4.1.7", "4", false}, {"4.1", "4.1", true},
        {"3", "3.2", true},  {"5.0", "4", true}, {"", "", false},       {".2", "", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.settings) + " vs " + c.descriptor);
        auto settings = root(c.settings);
        auto descriptor = root(c.descriptor);
        GraphQueryManager manager;
        manager.setGraphSettings(settings.get());
        manager.setGraphDescriptor(descriptor.get());
        LogCapture log;
        EXPECT_EQ(manager.validateSettingsAgainstDescriptor(), err_none);
        EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, mismatch(c.settings, c.descriptor)), c.warns ? 1u : 0u);
        EXPECT_EQ(log.lines().size(), c.warns ? 1u : 0u) << log.dump();
    }
}

TEST(QueryVersion, MissingVersionsWarnAndCountAsEmpty)
{
    auto withVersion = root("4.1");
    auto without = root(nullptr);
    // An integer "version" cannot be read as text either.
    std::unique_ptr<GraphConfigNode> numeric(new GraphConfigNode());
    numeric->addValue(key_version, 4);
    {
        GraphQueryManager manager;
        manager.setGraphSettings(withVersion.get());
        manager.setGraphDescriptor(without.get());
        LogCapture log;
        EXPECT_EQ(manager.validateSettingsAgainstDescriptor(), err_none);
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, kNoDescriptorVersion)) << log.dump();
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, mismatch("4.1", ""))) << log.dump();
        EXPECT_EQ(log.lines().size(), 2u);
    }
    {
        GraphQueryManager manager;
        manager.setGraphSettings(numeric.get());
        manager.setGraphDescriptor(without.get());
        LogCapture log;
        EXPECT_EQ(manager.validateSettingsAgainstDescriptor(), err_none);
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, kNoDescriptorVersion));
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, kNoSettingsVersion));
        EXPECT_EQ(log.lines().size(), 2u) << log.dump();  // "" fits ""
    }
}

TEST_F(SettingsQuery, MismatchingVersionsStillRunTheQuery)
{
    descriptor->removeDescendant(key_version);
    descriptor->addValue(key_version, std::string("4.1"));
    LogCapture log;
    EXPECT_EQ(query({{ItemUID{key_id}, "6"}}, false), V({6}));
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, mismatch("4.1", "4.1")), 1u) << log.dump();
}

TEST_F(SettingsQuery, MatchesAreSettingsNodesInTreeOrder)
{
    LogCapture log;
    GraphConfigList result;
    ASSERT_EQ(manager.queryGraphs({{ItemUID{key_id}, "5"}}, result, false), err_none);
    const std::vector<IGraphConfig *> nodes = all();
    ASSERT_EQ(nodes.size(), 4u);
    // The tree's own nodes, first and third; "sensor_modes" is no candidate.
    EXPECT_EQ(result, (GraphConfigList{nodes[0], nodes[2]}));
    EXPECT_TRUE(log.lines().empty()) << log.dump();

    // The same document from its gzip form gives the same answer.
    auto gz = load(kData + "/query_settings.gz");
    ASSERT_TRUE(gz);
    manager.setGraphSettings(gz.get());
    EXPECT_EQ(query({{ItemUID{key_id}, "5"}}, false), V({5, 5}));
}

TEST_F(SettingsQuery, StrictNeedsEveryItemNonStrictAnyOne)
{
    const SearchQuery idAndKey{{ItemUID{key_id}, "5"}, {ItemUID{key_key}, "7"}};
    EXPECT_EQ(query(idAndKey, true), V({5}));
    EXPECT_EQ(query(idAndKey, false), V({5, 5, 6}));

    // Paths through child nodes down to an attribute.
    const SearchQuery nested{{ItemUID{key_sensor, key_width}, "4096"},
                             {ItemUID{key_pipeline, key_port, key_format}, "NV12"}};
    EXPECT_EQ(query(nested, true), V({5}));
    EXPECT_EQ(query(nested, false), V({5, 50, 6}));
}

TEST_F(SettingsQuery, EmptyQueryMatchesAllInStrictModeAndNoneOtherwise)
{
    EXPECT_EQ(query({}, true), V({5, 50, 5, 6}));
    LogCapture log;
    EXPECT_EQ(query({}, false, err_general), V{});
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, kNoMatch), 1u) << log.dump();
}

TEST_F(SettingsQuery, StrictScoringStopsAtTheFirstMissingNodeOrAttribute)
{
    const IGraphConfig *first = all()[0];
    // Items run in path order: [na, width] comes before [id] and [key].
    const SearchQuery missingNodeFirst{
        {ItemUID{key_na, key_width}, "1"}, {ItemUID{key_id}, "5"}, {ItemUID{key_key}, "7"}};
    EXPECT_EQ(score(missingNodeFirst, first, false), 2u);
    EXPECT_EQ(score(missingNodeFirst, first, true), 0u);
    EXPECT_EQ(query(missingNodeFirst, false), V({5, 5, 6}));
    EXPECT_EQ(query(missingNodeFirst, true, err_general), V{});

    // The node exists but lacks the attribute: the same stop.
    const SearchQuery missingAttribute{{ItemUID{key_sensor, key_fps}, "30"}, {ItemUID{key_id}, "5"}};
    EXPECT_EQ(score(missingAttribute, first, false), 1u);
    EXPECT_EQ(score(missingAttribute, first, true), 0u);

    // The last key names a child node, which has no value.
    const SearchQuery nodeNotValue{{ItemUID{key_sensor}, "imx_test"}, {ItemUID{key_id}, "5"}};
    EXPECT_EQ(score(nodeNotValue, first, false), 1u);
    EXPECT_EQ(score(nodeNotValue, first, true), 0u);

    // A value that differs is no reason to stop.
    const SearchQuery wrongThenRight{{ItemUID{key_height}, "1"}, {ItemUID{key_id}, "5"}};
    EXPECT_EQ(score(wrongThenRight, first, true), 1u);

    // An empty path names nothing and never counts.
    EXPECT_EQ(score({{ItemUID{}, ""}, {ItemUID{key_id}, "5"}}, first, false), 1u);
    EXPECT_EQ(score({{ItemUID{}, ""}, {ItemUID{key_id}, "5"}}, first, true), 0u);
    size_t untouched = 3;
    manager.goThroughSearchItems({{ItemUID{key_id}, "5"}}, nullptr, untouched);
    EXPECT_EQ(untouched, 3u);
}

TEST_F(SettingsQuery, ValuesCompareAsExactText)
{
    // Integers through their decimal text: no sign, blanks or leading zeros.
    EXPECT_EQ(query({{ItemUID{key_width}, "1920"}}, false), V({5, 6}));
    EXPECT_EQ(query({{ItemUID{key_width}, "-1"}}, false), V({5}));
    for (const char *text : {"01920", "+1920", " 1920", "1920 ", "1920.0", "0x780"})
        EXPECT_EQ(query({{ItemUID{key_width}, text}}, false, err_general), V{}) << text;
    // A string holding digits matches the same text only.
    EXPECT_EQ(query({{ItemUID{key_description}, "1920"}}, false), V({50}));
    EXPECT_EQ(query({{ItemUID{key_description}, "05"}}, false), V({5}));
    EXPECT_EQ(query({{ItemUID{key_description}, "5"}}, false, err_general), V{});
    EXPECT_EQ(query({{ItemUID{key_format}, "nv12"}}, false, err_general), V{});
    // An empty value matches an empty attribute, never a missing one.
    EXPECT_EQ(query({{ItemUID{key_format}, ""}}, false), V({50}));

    // The integer extremes.
    GraphConfigNode node;
    node.addValue(key_width, INT32_MIN);
    node.addValue(key_height, INT32_MAX);
    EXPECT_EQ(score({{ItemUID{key_width}, "-2147483648"}, {ItemUID{key_height}, "2147483647"}}, &node, true), 2u);
}

TEST_F(SettingsQuery, MatchesAreAppendedToTheCallersList)
{
    GraphConfigList result;
    ASSERT_EQ(manager.queryGraphs({{ItemUID{key_id}, "6"}}, result, false), err_none);
    ASSERT_EQ(manager.queryGraphs({{ItemUID{key_id}, "5"}}, result, false), err_none);
    EXPECT_EQ(ids(result), V({6, 5, 5}));

    // Nothing new matched: a failure even though the list is not empty.
    LogCapture log;
    EXPECT_EQ(manager.queryGraphs({{ItemUID{key_id}, "77"}}, result, false), err_general);
    EXPECT_EQ(ids(result), V({6, 5, 5}));
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, kNoMatch), 1u) << log.dump();
}

TEST_F(SettingsQuery, CandidateQueryRefinesAnEarlierResult)
{
    GraphConfigList coarse;
    ASSERT_EQ(manager.queryGraphs({{ItemUID{key_key}, "7"}}, coarse, false), err_none);
    ASSERT_EQ(ids(coarse), V({5, 6}));

    GraphConfigList fine;
    EXPECT_EQ(manager.queryGraphs({{ItemUID{key_sensor, key_height}, "3072"}}, coarse, fine, true), err_none);
    EXPECT_EQ(fine, coarse);

    // List order, not tree order; null entries never match.
    const std::vector<IGraphConfig *> nodes = all();
    const GraphConfigList reversed{nodes[3], nullptr, nodes[2], nodes[1], nodes[0]};
    GraphConfigList result;
    EXPECT_EQ(manager.queryGraphs({}, reversed, result, true), err_none);
    EXPECT_EQ(ids(result), V({6, 5, 50, 5}));

    // The result list may be the candidate list: only its entries at the
    // call are searched, matches go behind them.
    GraphConfigList same{nodes[0], nodes[1]};
    EXPECT_EQ(manager.queryGraphs({{ItemUID{key_id}, "50"}}, same, same, false), err_none);
    EXPECT_EQ(ids(same), V({5, 50, 50}));

    LogCapture log;
    EXPECT_EQ(manager.queryGraphs({}, GraphConfigList{}, result, true), err_general);
    EXPECT_EQ(manager.queryGraphs({}, reversed, result, false), err_general);
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, kNoMatch), 2u) << log.dump();
}

TEST(Query, SettingsRootWithoutSettingsChildren)
{
    VornParser parser;
    IGraphConfig *out = nullptr;
    const std::string text = "<graph_settings version=\"4\"><sensor_modes id=\"5\"/></graph_settings>";
    parser.parseVornXmlData(text.data(), text.size(), &out);
    ASSERT_NE(out, nullptr);
    std::unique_ptr<GraphConfigNode> settings(GraphConfigNode::from(out));
    settings->addValue(key_settings, std::string("not a node"));
    auto descriptor = root("4");

    GraphQueryManager manager;
    manager.setGraphSettings(settings.get());
    manager.setGraphDescriptor(descriptor.get());
    LogCapture log;
    GraphConfigList result;
    EXPECT_EQ(manager.queryGraphs({}, result, true), err_general);
    EXPECT_EQ(manager.queryGraphs({{ItemUID{key_id}, "5"}}, result, false), err_general);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, kNoMatch), 2u) << log.dump();
}

TEST(Query, ManySettingsCandidatesAndSearchItems)
{
    // A settings document with a few thousand use cases.
    constexpr int kCount = 4000;
    std::string text = "<graph_settings version=\"4.0\">\n";
    for (int i = 0; i < kCount; ++i) {
        text += "<settings key=\"" + std::to_string(i) + "\" id=\"" + std::to_string(i % 100) + "\" width=\"" +
                std::to_string(640 * (1 + i % 3)) + "\"><sensor height=\"" + std::to_string(i % 7) +
                "\"/></settings>\n";
    }
    text += "</graph_settings>\n";
    VornParser parser;
    IGraphConfig *out = nullptr;
    parser.parseVornXmlData(text.data(), text.size(), &out);
    ASSERT_NE(out, nullptr);
    std::unique_ptr<GraphConfigNode> settings(GraphConfigNode::from(out));
    auto descriptor = root("4");
    GraphQueryManager manager;
    manager.setGraphSettings(settings.get());
    manager.setGraphDescriptor(descriptor.get());

    const auto start = std::chrono::steady_clock::now();
    const SearchQuery q{{ItemUID{key_id}, "42"}, {ItemUID{key_width}, "640"}, {ItemUID{key_sensor, key_height}, "0"}};
    GraphConfigList strict;
    ASSERT_EQ(manager.queryGraphs(q, strict, true), err_none);
    // i % 100 == 42, i % 3 == 0, i % 7 == 0: i = 42 + 2100k.
    std::vector<int32_t> keys;
    for (IGraphConfig *node : strict) {
        int32_t key = -1;
        node->getValue(key_key, key);
        keys.push_back(key);
    }
    EXPECT_EQ(keys, V({42, 2142}));
    GraphConfigList loose;
    ASSERT_EQ(manager.queryGraphs(q, loose, false), err_none);
    size_t expected = 0;
    for (int i = 0; i < kCount; ++i)
        expected += (i % 100 == 42 || i % 3 == 0 || i % 7 == 0) ? 1 : 0;
    EXPECT_EQ(loose.size(), expected);

    // More candidates than a 16-bit index counts: every one is searched.
    GraphConfigList candidates;
    size_t copies = 0;
    for (; candidates.size() <= 70000; ++copies)
        candidates.insert(candidates.end(), loose.begin(), loose.end());
    GraphConfigList refined;
    ASSERT_EQ(manager.queryGraphs({{ItemUID{key_width}, "640"}}, candidates, refined, true), err_none);
    EXPECT_EQ(refined.size(), copies * static_cast<size_t>((kCount + 2) / 3));

    // More search items than a 16-bit counter counts: a strict match still
    // needs, and finds, every one of them.
    GraphConfigNode wide;
    SearchQuery many;
    for (KeyId k = 0; k < 70000; ++k) {
        wide.addValue(20000 + k, std::string("v"));
        many.emplace(ItemUID{20000 + k}, "v");
    }
    GraphConfigList wideResult;
    EXPECT_EQ(manager.queryGraphs(many, GraphConfigList{&wide}, wideResult, true), err_none);
    EXPECT_EQ(wideResult, GraphConfigList{&wide});
    size_t count = 0;
    manager.goThroughSearchItems(many, &wide, count);
    EXPECT_EQ(count, 70000u);

    // Each query is linear in candidates times items. The bound is generous
    // (a quadratic search takes minutes) so that a loaded machine or a
    // sanitizer build does not trip it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
