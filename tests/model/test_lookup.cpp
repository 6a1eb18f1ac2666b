// Path lookups, positional lookups and NodeIterator.
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {
const std::string kTag = "VORN[XOS]";

GraphConfigNode *child(GraphConfigNode &parent, KeyId key)
{
    auto *node = new GraphConfigNode();
    EXPECT_EQ(parent.insertDescendant(node, key), err_none);
    return node;
}

// P holds node a (key 100) that holds the string "name".
struct PathTree {
    GraphConfigNode p;
    GraphConfigNode *a;
    PathTree()
    {
        a = child(p, 100);
        a->addValue(key_name, std::string("a_name"));
    }
};
}  // namespace

TEST(Lookup, PathWalkResolvesToAttributeOwners)
{
    PathTree t;
    EXPECT_EQ(t.p.getDescendant(ItemUID{100, 29}), t.a);
    EXPECT_EQ(t.p.getDescendant(ItemUID{100}), t.a);
    EXPECT_EQ(t.a->getDescendant(ItemUID{29}), nullptr);
    EXPECT_EQ(t.p.getDescendant(ItemUID{100, 200}), nullptr);
    EXPECT_EQ(t.p.getGraphConfigItem(ItemUID{100, 200}), t.a);
    EXPECT_EQ(t.p.getGraphConfigItem(ItemUID{300, 200}), nullptr);
    EXPECT_EQ(t.p.getGraphConfigItem(ItemUID{100, 200, 1}), nullptr);
    EXPECT_EQ(t.p.getDescendant(ItemUID{}), nullptr);
    EXPECT_EQ(t.p.getDescendant(ItemUID{100, 29, 1}), nullptr);

    std::string s;
    EXPECT_EQ(t.p.getValue(ItemUID{100, 29}, s), err_none);
    EXPECT_EQ(s, "a_name");
    s.clear();
    EXPECT_EQ(t.a->getValue(ItemUID{29}, s), err_none);
    EXPECT_EQ(s, "a_name");
    EXPECT_EQ(t.p.getValue(ItemUID{300, 29}, s), err_argument);
    EXPECT_EQ(t.p.setValue(ItemUID{300, 29}, std::string("x")), err_noentry);
    EXPECT_EQ(t.p.setValue(ItemUID{300, 29}, 4), err_noentry);
    EXPECT_EQ(t.p.getValue(ItemUID{}, s), err_argument);
    EXPECT_EQ(t.p.setValue(ItemUID{}, 1), err_argument);
    int32_t i = 0;
    EXPECT_EQ(t.p.getValue(ItemUID{100, 29}, i), err_noentry);
}

TEST(Lookup, AttributeByPathLogsWhatIsMissing)
{
    PathTree t;
    LogCapture log;
    GraphConfigItem *item = reinterpret_cast<GraphConfigItem *>(1);
    EXPECT_EQ(t.a->getAttribute(ItemUID{29}, &item), err_noentry);
    EXPECT_EQ(item, nullptr);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Warning: Failed to get descendant name for attribute"));
    EXPECT_EQ(t.p.getAttribute(ItemUID{100, 29}, &item), err_none);
    std::string s;
    item->getValue(s);
    EXPECT_EQ(s, "a_name");
    EXPECT_EQ(t.p.getAttribute(ItemUID{100, 29}, nullptr), err_data);

    // A path to a node whose last key is missing there.
    child(*t.a, key_port);
    log.clear();
    EXPECT_EQ(t.p.getAttribute(ItemUID{100, key_port, key_width}, &item), err_noentry);
    EXPECT_TRUE(
        log.has(VE_LOG_WARNING, kTag, "Warning: Failed to get descendant active_input.port.width for attribute"))
        << log.dump();
    // A path that ends on a node hands out that node's own child of the last key.
    log.clear();
    GraphConfigNode *port =
        t.a->getDescendant(key_port) ? GraphConfigNode::from(t.a->getDescendant(key_port)) : nullptr;
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(t.p.getAttribute(ItemUID{100, key_port}, &item), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "warning: Failed to get attribute object for active_input.port"))
        << log.dump();
}

TEST(Lookup, KeyAndStringLookups)
{
    GraphConfigNode top;
    GraphConfigNode *port = child(top, key_port);
    GraphConfigNode *format = child(*port, key_format);
    top.addValue(key_name, std::string("n"));

    GraphConfigNode *out = reinterpret_cast<GraphConfigNode *>(1);
    EXPECT_EQ(top.getDescendant(key_name, &out), err_argument);
    EXPECT_EQ(out, reinterpret_cast<GraphConfigNode *>(1));
    EXPECT_EQ(top.getDescendant(key_sink, &out), err_general);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(top.getDescendant(key_port, &out), err_none);
    EXPECT_EQ(out, port);
    EXPECT_EQ(top.getDescendant(key_name), nullptr);

    EXPECT_EQ(top.getDescendantByString("port:format"), format);
    EXPECT_EQ(top.getDescendantByString("port:no_such"), nullptr);
    out = nullptr;
    EXPECT_EQ(top.getDescendantByString("port:format", &out), err_none);
    EXPECT_EQ(out, format);
    out = reinterpret_cast<GraphConfigNode *>(1);
    EXPECT_EQ(top.getDescendantByString("nothing", &out), err_argument);
    EXPECT_EQ(out, reinterpret_cast<GraphConfigNode *>(1));
    EXPECT_EQ(format->getRootNode(), &top);
    EXPECT_EQ(top.getRootNode(), &top);
}

TEST(Lookup, NextAttributeSkipsNodes)
{
    GraphConfigNode top;
    top.addValue(key_name, std::string("n"));
    child(top, key_port);
    child(top, key_sink);
    top.addValue(key_width, 1);
    auto pos = top.begin();  // "name"
    pos = top.getNextAttribute(pos);
    ASSERT_NE(pos, top.end());
    EXPECT_EQ(pos->first, key_width);
    EXPECT_EQ(top.getNextAttribute(pos), top.end());
    EXPECT_EQ(top.getNextAttribute(top.end()), top.end());
}

TEST(Lookup, DeprecatedValueLookupsWalkFromAPosition)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    LogCapture log;
    GraphConfigNode top;
    for (int i = 0; i < 3; ++i) {
        GraphConfigNode *n = child(top, key_port);
        n->addValue(key_name, std::string(i == 1 ? "other" : "match"));
        n->addValue(key_id, i);
    }
    top.addValue(key_name, std::string("match"));  // an attribute never qualifies

    auto pos = top.begin();
    GraphConfigNode *out = nullptr;
    std::vector<int32_t> ids;
    while (top.getDescendant(key_name, std::string("match"), pos, &out) == err_none) {
        int32_t id = -1;
        out->getValue(key_id, id);
        ids.push_back(id);
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(pos, top.end());
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, "WARNING: deprecated funtion getDescendant(). Use NodeIterator instead"),
              3u);

    pos = top.begin();
    EXPECT_EQ(top.getDescendant(key_id, 1, pos, &out), err_none);
    EXPECT_EQ(top.getDescendant(key_id, 1, pos, &out), err_end);
    // A value of the other type ends the check of a node without a match.
    pos = top.begin();
    EXPECT_EQ(top.getDescendant(key_name, 0, pos, &out), err_end);
#pragma GCC diagnostic pop
}

TEST(NodeIteratorTest, IteratesByKeyTypeAndNodeAndRestarts)
{
    GraphConfigNode top;
    GraphConfigNode *kernel = child(top, key_kernel);
    GraphConfigNode *p1 = child(top, key_port);
    GraphConfigNode *p2 = child(top, key_port);
    top.addValue(key_name, std::string("n"));
    p1->addValue(key_type, std::string("port"));
    p2->addValue(key_type, std::string("port"));
    kernel->addValue(key_type, std::string("kernel"));

    NodeIterator it(&top);
    EXPECT_EQ(it.iterateByUid(key_port), p1);
    EXPECT_EQ(it.iterateByUid(key_port), p2);
    EXPECT_EQ(it.iterateByUid(key_port), nullptr);
    EXPECT_EQ(it.position(), 0);
    EXPECT_EQ(it.iterateByUid(key_port), p1);  // a new pass
    it.reset();
    EXPECT_EQ(it.iterateByUid(key_name), nullptr);  // an attribute key yields no node

    EXPECT_EQ(it.iterateByType(key_port), p1);
    EXPECT_EQ(it.iterateByType(key_port), p2);
    EXPECT_EQ(it.iterateByType(key_port), nullptr);
    EXPECT_EQ(it.iterateByType(key_kernel), kernel);
    EXPECT_EQ(it.iterateByType(key_kernel), nullptr);

    std::vector<IGraphConfig *> nodes;
    while (IGraphConfig *n = it.iterateDescendants())
        nodes.push_back(n);
    EXPECT_EQ(nodes, (std::vector<IGraphConfig *>{kernel, p1, p2}));

    // An integer "type" never matches a string.
    GraphConfigNode odd;
    child(odd, key_port)->addValue(key_type, 34);
    NodeIterator oddIt(&odd);
    EXPECT_EQ(oddIt.iterateByType(key_port), nullptr);
    EXPECT_EQ(oddIt.iterateNodes(key_type, "34"), nullptr);
}

TEST(NodeIteratorTest, PositionIsACount)
{
    GraphConfigNode top;
    GraphConfigNode *p1 = child(top, key_port);
    GraphConfigNode *p2 = child(top, key_port);
    NodeIterator it(&top);
    EXPECT_EQ(it.iterateByUid(key_port), p1);
    // A child inserted before the position shifts it: p1 is seen again.
    GraphConfigNode *k = child(top, key_kernel);
    (void)k;
    EXPECT_EQ(it.iterateByUid(key_port), p1);
    EXPECT_EQ(it.iterateByUid(key_port), p2);
    // A child appended after the position is found.
    GraphConfigNode *p3 = child(top, key_port);
    EXPECT_EQ(it.iterateByUid(key_port), p3);
    EXPECT_EQ(it.iterateByUid(key_port), nullptr);

    // Children removed before the position: the iteration ends inside the container.
    EXPECT_EQ(it.iterateByUid(key_port), p1);
    EXPECT_EQ(it.iterateByUid(key_port), p2);
    EXPECT_EQ(it.iterateByUid(key_port), p3);
    top.removeDescendant(key_kernel);
    top.removeDescendant(key_port);
    top.removeDescendant(key_port);
    EXPECT_EQ(it.iterateByUid(key_port), nullptr);
    EXPECT_EQ(it.iterateByUid(key_port), p3);

    LogCapture log;
    NodeIterator empty(nullptr);
    EXPECT_EQ(empty.iterateDescendants(), nullptr);
    EXPECT_EQ(empty.iterateByType(key_port), nullptr);
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, "NodeIterator was constructed with NULL."), 2u);
}

TEST(NodeIteratorTest, FullPassOverManyChildrenIsLinear)
{
    GraphConfigNode top;
    const int n = 200000;
    for (int i = 0; i < n; ++i)
        child(top, key_port)->addValue(key_type, std::string("port"));
    NodeIterator it(&top);
    int seen = 0;
    while (it.iterateByType(key_port) != nullptr)
        ++seen;
    EXPECT_EQ(seen, n);  // quadratic walking would take minutes here
}
