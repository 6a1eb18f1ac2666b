// Items, nodes, ownership, copies, naming and dumps.
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
}  // namespace

TEST(GraphItems, AttributesAnswerOnlyTheirOwnType)
{
    GraphConfigIntAttribute number;
    GraphConfigStrAttribute text;
    int32_t i = 0;
    std::string s = "untouched";
    EXPECT_EQ(number.type, ItemType::INT);
    EXPECT_EQ(number.getValue(i), err_none);
    EXPECT_EQ(i, -1);  // a new integer attribute reads -1
    EXPECT_EQ(number.getValue(s), err_noentry);
    EXPECT_EQ(number.setValue(std::string("5")), err_noentry);
    EXPECT_EQ(number.setValue(7), err_none);
    EXPECT_EQ(text.type, ItemType::STRING);
    EXPECT_EQ(text.getValue(s), err_none);
    EXPECT_EQ(s, "");
    EXPECT_EQ(text.getValue(i), err_noentry);
    EXPECT_EQ(text.setValue(3), err_noentry);

    GraphConfigNode node;
    EXPECT_EQ(node.type, ItemType::NODE);
    GraphConfigItem &asItem = node;
    EXPECT_EQ(asItem.getValue(i), err_noentry);
    EXPECT_EQ(asItem.setValue(1), err_noentry);

    std::unique_ptr<GraphConfigIntAttribute> numberCopy(number.copy());
    EXPECT_EQ(numberCopy->getValue(i), err_none);
    EXPECT_EQ(i, 7);
}

TEST(GraphNode, EqualKeysKeepInsertionOrder)
{
    GraphConfigNode node;
    EXPECT_EQ(node.insertDescendant(nullptr, key_name), err_general);
    node.insertDescendant(new GraphConfigStrAttribute("first"), key_name);
    node.insertDescendant(new GraphConfigIntAttribute(3), key_width);
    node.insertDescendant(new GraphConfigStrAttribute("second"), key_name);
    node.insertDescendant(new GraphConfigStrAttribute("zero"), key_na);
    EXPECT_EQ(node.getDescendantCount(), 4u);
    // Ordered by key; equal keys in insertion order.
    std::vector<KeyId> keys;
    for (const auto &entry : node.children())
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<KeyId>{key_na, key_name, key_name, key_width}));

    std::string s;
    EXPECT_EQ(node.getValue(key_name, s), err_none);
    EXPECT_EQ(s, "first");
    EXPECT_EQ(node.removeDescendant(key_name), err_none);
    EXPECT_EQ(node.getDescendantCount(), 3u);
    EXPECT_EQ(node.getValue(key_name, s), err_none);
    EXPECT_EQ(s, "second");
    EXPECT_EQ(node.removeDescendant(key_port), err_none);
    EXPECT_EQ(node.getDescendantCount(), 3u);

    int32_t i = 0;
    EXPECT_EQ(node.getValue(key_name, i), err_noentry);
    EXPECT_EQ(node.getValue(key_height, i), err_general);
    EXPECT_EQ(node.getValue(key_width, i), err_none);
    EXPECT_EQ(i, 3);

    GraphConfigItem *item = nullptr;
    EXPECT_EQ(node.getAttribute(key_height, &item), err_general);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(node.getAttribute(key_width, nullptr), err_argument);
}

TEST(GraphNode, AddAndSetValueRules)
{
    LogCapture log;
    GraphConfigNode node;
    EXPECT_EQ(node.addValue(key_width, 640), err_none);
    EXPECT_EQ(node.addValue(key_width, 320), err_exists);
    EXPECT_EQ(node.addValue(key_name, std::string("pixel_array")), err_none);
    child(node, key_port);
    EXPECT_EQ(node.addValue(key_port, 3), err_exists);
    EXPECT_EQ(node.getDescendantCount(), 3u);

    // Missing attribute, wrong type.
    EXPECT_EQ(node.setValue(key_height, 5), err_noentry);
    EXPECT_EQ(node.setValue(key_name, 5), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Attribute is of wrong type"));
    log.clear();
    EXPECT_EQ(node.setValue(key_width, std::string("5")), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Attribute is of wrong type"));

    // An attribute without options list is never written through setValue.
    log.clear();
    EXPECT_EQ(node.setValue(key_width, 1280), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Trying to apply value but no options list available for NODE[NA]."))
        << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "setValue() restricted to attributes that have predefined options"));
    int32_t width = 0;
    node.getValue(key_width, width);
    EXPECT_EQ(width, 640);
    log.clear();
    EXPECT_EQ(node.setValue(key_name, std::string("other")), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "setValue() restricted to attributes that have predefined options"));
}

TEST(GraphNode, NamesTypesAndAncestors)
{
    LogCapture log;
    GraphConfigNode top;
    EXPECT_EQ(top.getName(), "NA");
    EXPECT_EQ(top.getUid(), 0u);
    EXPECT_EQ(top.getAncestor(), nullptr);
    GraphConfigNode *port = child(top, key_port);
    GraphConfigNode *second = child(top, key_port);
    EXPECT_EQ(port->getName(), "port");
    EXPECT_EQ(second->getUid(), key_port);
    EXPECT_EQ(port->getAncestor(), &top);
    EXPECT_EQ(second->getRoot(), &top);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    IGraphConfig *ancestor = reinterpret_cast<IGraphConfig *>(1);
    EXPECT_EQ(top.getAncestor(&ancestor), err_none);
    EXPECT_EQ(ancestor, nullptr);
    EXPECT_EQ(port->getAncestor(nullptr), err_argument);
#pragma GCC diagnostic pop
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, "WARNING: GraphConfigNode implementation of getAncestor is deprecated."),
              2u);

    // isType compares the key of the "type" text; unknown text is key 0.
    port->addValue(key_type, std::string("port"));
    port->addValue(key_name, std::string("out0"));
    EXPECT_TRUE(port->isType(key_port));
    EXPECT_FALSE(port->isType(key_kernel));
    second->addValue(key_type, std::string("no_such_type"));
    EXPECT_TRUE(second->isType(key_na));
    log.clear();
    EXPECT_FALSE(top.isType(key_na));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Trying to find type for NODE[NA], but it doesn't have one."));

    // Item text: full name for ports, plain name for other nodes.
    top.addValue(key_name, std::string("isa"));
    EXPECT_EQ(GraphCameraUtil::print(port), "port[isa:out0]");
    EXPECT_EQ(GraphCameraUtil::print(second), "no_such_type[port]");
    EXPECT_EQ(GraphCameraUtil::getFullName(top), "NA:isa");
    EXPECT_EQ(GraphCameraUtil::getFullName(*second), "isa:NA");
}

TEST(GraphNode, CopyIsDeepAndOrdered)
{
    GraphConfigNode source;
    GraphConfigNode *parent = child(source, key_sensor);
    GraphConfigNode *a = child(source, key_port);
    GraphConfigNode *b = child(source, key_port);
    a->addValue(key_name, std::string("a"));
    b->addValue(key_name, std::string("b"));
    source.addValue(key_name, std::string("top"));
    child(*a, key_format)->addValue(key_width, 1920);
    (void)parent;

    std::unique_ptr<GraphConfigNode> copy(a->copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getAncestor(), nullptr);  // even though the source had one

    std::unique_ptr<GraphConfigNode> whole(source.copy());
    ASSERT_NE(whole, nullptr);
    std::vector<std::string> names;
    for (const auto &entry : whole->children()) {
        std::string name = "-";
        entry.second->getValue(name);
        if (auto *node = dynamic_cast<GraphConfigNode *>(entry.second)) {
            EXPECT_EQ(node->getAncestor(), whole.get());
            node->getValue(key_name, name);
        }
        names.push_back(std::to_string(entry.first) + ":" + name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"29:top", "34:a", "34:b", "36:-"}));
    int32_t width = 0;
    EXPECT_EQ(whole->getValue(ItemUID{key_port, key_format, key_width}, width), err_none);
    EXPECT_EQ(width, 1920);

    // The copy is independent of its source.
    a->removeDescendant(key_format);
    EXPECT_EQ(whole->getValue(ItemUID{key_port, key_format, key_width}, width), err_none);
}

TEST(GraphNode, CopyFailureReleasesThePartialCopy)
{
    GraphConfigNode source;
    for (int i = 0; i < 5; ++i)
        child(source, key_port)->addValue(key_id, i);
    std::unique_ptr<GraphConfigNode> good(source.copy());
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->getDescendantCount(), 5u);
}

TEST(GraphNode, DeepTreesCopyDumpAndDestroyWithoutRecursion)
{
    // Far deeper than any stack would allow for recursive walks.
    auto *top = new GraphConfigNode();
    GraphConfigNode *node = top;
    for (int i = 0; i < 200000; ++i)
        node = child(*node, key_node);
    node->addValue(key_width, 1);
    std::unique_ptr<GraphConfigNode> copy(top->copy());
    ASSERT_NE(copy, nullptr);
    int32_t value = 0;
    EXPECT_EQ(GraphConfigNode::from(node->getRoot()), top);
    delete top;

    // Dump lines are indented by depth, so the dump is checked on a tree
    // that is merely very deep.
    GraphConfigNode dumped;
    node = &dumped;
    for (int i = 0; i < 3000; ++i)
        node = child(*node, key_node);
    node->addValue(key_width, 7);
    LogCapture log;
    GraphConfigNode::dumpNodeTree(&dumped, 0);
    ASSERT_EQ(log.lines().size(), 3001u);
    EXPECT_EQ(log.lines().back().text, std::string(6000, ' ') + "'width'(8232) int [Attr] '7'");
    (void)value;
}

TEST(GraphNode, DumpsPrintEveryItem)
{
    LogCapture log;
    GraphConfigNode top;
    top.addValue(key_name, std::string("sensor"));
    GraphConfigNode *port = child(top, key_port);
    port->addValue(key_width, 640);
    port->addValue(key_format, std::string("NV12"));
    GraphConfigNode::dumpNodeTree(&top, 1);
    std::vector<std::string> lines;
    for (const auto &line : log.lines()) {
        EXPECT_EQ(line.level, VE_LOG_ERROR);
        EXPECT_EQ(line.tag, kTag);
        lines.push_back(line.text);
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"  'name' str [Attr] 'sensor'", "  'port'(34) [Node]",
                                        "    'format' str [Attr] 'NV12'", "    'width'(8232) int [Attr] '640'"}));
    log.clear();
    GraphConfigNode::dumpNodeTree(port, -3);
    EXPECT_EQ(log.lines().front().text, "'format' str [Attr] 'NV12'");
    GraphCameraUtil::dumpNodeTree(nullptr, 0);

    log.clear();
    port->dumpNode();
    ASSERT_EQ(log.lines().size(), 2u);
    char expected[128];
    std::snprintf(expected, sizeof expected, "Node %p type:  NODE ancestor %p map size 2", static_cast<void *>(port),
                  static_cast<void *>(&top));
    EXPECT_EQ(log.lines()[0].text, expected);
    EXPECT_EQ(log.lines()[1].text, "Node number of descendants : 2");
}
