// Options lists consulted by setValue, attribute creation, writing from text
// and the conversion of a base node's copy (options_descriptor.xml).
#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"
#include "fixture_tree.h"

using namespace Vorn;
using vorn_test::intOf;
using vorn_test::kMissing;
using vorn_test::LogCapture;
using vorn_test::nodeAt;
using vorn_test::strOf;
using vorn_test::Tree;

namespace {
const std::string kTag = "VORN[XOS]";

class OptionsTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree = vorn_test::loadTree("options_descriptor.xml");
        ASSERT_NE(tree, nullptr);
        port = nodeAt(tree, "opt_isa:output");
        isa = nodeAt(tree, "opt_isa");
    }
    Tree tree;
    GraphConfigNode *port = nullptr;
    GraphConfigNode *isa = nullptr;
};

struct NodeDeleter {
    void operator()(GraphConfigNode *node) const { delete node; }
};
using NodePtr = std::unique_ptr<GraphConfigNode, NodeDeleter>;
}  // namespace

TEST_F(OptionsTree, ValueInAListIsAcceptedAndApplied)
{
    LogCapture log;
    EXPECT_EQ(port->setValue(key_format, std::string("b")), err_none);
    EXPECT_EQ(strOf(port, key_format), "b");
    EXPECT_EQ(intOf(port, key_width), 1280);  // the option's changes, merged from the top node
    EXPECT_EQ(intOf(nodeAt(tree, "opt_isa:opt_extra"), key_enabled), 1);
    EXPECT_EQ(port->setValue(key_format, std::string("a")), err_none);
    EXPECT_EQ(port->setValue(key_format, std::string("c")), err_none);
    EXPECT_EQ(intOf(port, key_width), 320);

    // Integer values are compared as decimal text, against their own list.
    EXPECT_EQ(port->setValue(key_bpp, 10), err_none);
    EXPECT_EQ(intOf(port, key_bpp), 10);
    EXPECT_EQ(intOf(port, key_height), 480);
    EXPECT_TRUE(log.lines().empty()) << log.dump();
}

TEST_F(OptionsTree, ValueOutsideTheOptionsIsRejected)
{
    LogCapture log;
    for (const char *text : {"d", "a,b", "e,"}) {
        log.clear();
        EXPECT_EQ(port->setValue(key_format, std::string(text)), err_noentry) << text;
        EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                            "Trying to apply value but no options list available for port[opt_isa:output]."));
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "setValue() restricted to attributes that have predefined options"));
    }
    EXPECT_EQ(strOf(port, key_format), "c");
    EXPECT_EQ(intOf(port, key_width), 640);

    log.clear();
    EXPECT_EQ(port->setValue(key_bpp, 12), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "setValue() restricted to attributes that have predefined options"));
    EXPECT_EQ(port->setValue(key_width, 1280), err_noentry);  // no list for "width"
    EXPECT_EQ(intOf(port, key_bpp), 8);
    EXPECT_EQ(intOf(port, key_width), 640);
}

TEST_F(OptionsTree, OptionWithoutChangesStillAcceptsTheValue)
{
    LogCapture log;
    EXPECT_EQ(port->setValue(key_format, std::string("x")), err_none);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Found option for x, but no apply node. Skipping."));
    EXPECT_EQ(strOf(port, key_format), "x");
    EXPECT_EQ(GraphConfigNode::handleAttributeOptions(port, key_format, "x"), err_notimplemented);

    // ",e": an empty piece before a comma matches the empty text, and "e" as last piece.
    EXPECT_EQ(port->setValue(key_format, std::string("")), err_none);
    EXPECT_EQ(strOf(port, key_format), "");
    EXPECT_EQ(port->setValue(key_format, std::string("e")), err_none);
    EXPECT_EQ(intOf(port, key_width), 640);
}

TEST_F(OptionsTree, CreateAttributeMakesAtMostOneNode)
{
    LogCapture log;
    GraphConfigItem *item = nullptr;
    // [output, scaler, width]: the node "scaler" and an integer 0 in it.
    EXPECT_EQ(isa->createAttribute(ItemUID{key_output, key_scaler, key_width}, &item), err_none);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->type, ItemType::INT);
    EXPECT_EQ(intOf(nodeAt(tree, "opt_isa:output:scaler"), key_width), 0);
    // A string attribute for a key outside the integer range.
    EXPECT_EQ(port->createAttribute(ItemUID{key_content_type}, &item), err_none);
    EXPECT_EQ(item->type, ItemType::STRING);
    EXPECT_EQ(strOf(port, key_content_type), "");
    EXPECT_TRUE(log.lines().empty()) << log.dump();

    item = port;
    EXPECT_EQ(isa->createAttribute(ItemUID{key_binner, key_width}, &item), err_general);
    EXPECT_EQ(item, nullptr);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                        "Warning: Failed to create attribute binner.width: Too many missing nodes, stopped at depth 0"))
        << log.dump();
    EXPECT_EQ(isa->createAttribute(ItemUID{key_output, key_binner, key_scaler, key_width}, &item), err_general);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                        "Warning: Failed to create attribute output.binner.scaler.width: Too many missing nodes, "
                        "stopped at depth 1"));
    EXPECT_EQ(isa->getDescendant(key_binner), nullptr);

    EXPECT_EQ(port->createAttribute(ItemUID{key_format}, &item), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to add attribute format to node"));
    EXPECT_EQ(isa->createAttribute(ItemUID{key_output}, &item), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: item output is not an attribute it is an existing node"));
    EXPECT_EQ(isa->createAttribute(ItemUID{key_width}, nullptr), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Invalid argument (nullptr) to create an attribute"));
}

TEST_F(OptionsTree, SetValueFromStrBypassesOptions)
{
    LogCapture log;
    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_width}, "640"), err_none);
    EXPECT_EQ(intOf(isa, key_width), 640);
    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_output, key_format}, "d"), err_none);  // not in the options
    EXPECT_EQ(strOf(port, key_format), "d");
    EXPECT_EQ(intOf(port, key_width), 640);
    EXPECT_EQ(isa->setValueFromStr(ItemUID("output:bpp"), "  -12xyz"), err_none);
    EXPECT_EQ(intOf(port, key_bpp), -12);
    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_description}, "text"), err_none);
    EXPECT_EQ(strOf(isa, key_description), "text");
    EXPECT_FALSE(log.contains("options list")) << log.dump();

    // Integer texts without digits or outside 32 bits change nothing.
    for (const char *bad : {"wide", "-", "2147483648", "-2147483649"}) {
        EXPECT_EQ(isa->setValueFromStr(ItemUID{key_output, key_bpp}, bad), err_data) << bad;
        EXPECT_EQ(isa->setValueFromStr(ItemUID{key_fps}, bad), err_data) << bad;
    }
    EXPECT_EQ(intOf(port, key_bpp), -12);
    EXPECT_FALSE(isa->hasItem(key_fps));
    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_fps}, "-2147483648"), err_none);
    EXPECT_EQ(intOf(isa, key_fps), INT32_MIN);

    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_binner, key_scaler, key_width}, "1"), err_noentry);
    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_output}, "1"), err_noentry);  // a node has no value
    EXPECT_EQ(isa->setValueFromStr(ItemUID{key_output, key_binner, key_width}, "1"), err_noentry);
    EXPECT_EQ(isa->setValueFromStr(ItemUID{}, "1"), err_argument);
}

TEST_F(OptionsTree, BaseNodeCopyBecomesTheReferencingNode)
{
    LogCapture log;
    NodePtr scaler(nodeAt(tree, "opt_scaler_base")->copy());
    ASSERT_NE(scaler, nullptr);
    GraphConfigNode *reference = nodeAt(tree, "opt_main_scaler");
    EXPECT_EQ(scaler->changeBaseNodeIntoNode(*reference), err_none);

    EXPECT_EQ(strOf(scaler.get(), key_name), "opt_main_scaler");
    EXPECT_EQ(strOf(scaler.get(), key_type), "program_group");
    const IGraphConfig *output = scaler->getDescendant(key_output);
    EXPECT_EQ(intOf(output, key_width), 1280);
    EXPECT_EQ(intOf(output, key_height), 720);
    EXPECT_EQ(strOf(output, key_format), "P010");
    EXPECT_EQ(intOf(scaler->getDescendantByString("opt_scale_k"), key_pal_uuid), 77);

    // The option's change now addresses the converted node, and nothing else.
    const IGraphConfig *apply = output->getDescendantByString("options:option:apply");
    ASSERT_NE(apply, nullptr);
    EXPECT_EQ(GraphConfigNode::from(apply)->getDescendantCount(), 1u);
    EXPECT_EQ(apply->getDescendant(ItemUID::str2key("opt_scaler_base")), nullptr);
    EXPECT_EQ(intOf(apply->getDescendantByString("opt_main_scaler:output"), key_width), 1920);
    // The base node in the document is untouched.
    EXPECT_EQ(strOf(nodeAt(tree, "opt_scaler_base"), key_name), "opt_scaler_base");

    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Change base node opt_scaler_base into node opt_main_scaler "));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Applying override output:width -> 1280"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Conversion from base node opt_main_scaler  done!"));
}

TEST_F(OptionsTree, BaseNodeConversionFailures)
{
    LogCapture log;
    GraphConfigNode *base = nodeAt(tree, "opt_scaler_base");
    {
        NodePtr copy(base->copy());
        EXPECT_EQ(copy->changeBaseNodeIntoNode(*nodeAt(tree, "opt_broken_scaler")), err_data);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to apply override output:width -> wide"));
    }
    {
        NodePtr copy(base->copy());
        EXPECT_EQ(copy->changeBaseNodeIntoNode(*nodeAt(tree, "opt_lost_scaler")), err_noentry);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to apply override opt_ghost:x:width -> 1"));
    }
    {
        NodePtr copy(base->copy());
        copy->removeDescendant(key_type);
        EXPECT_EQ(copy->changeBaseNodeIntoNode(*nodeAt(tree, "opt_main_scaler")), err_general);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to set node type and name from config opt_main_scaler"));
        EXPECT_EQ(strOf(copy.get(), key_name), "opt_main_scaler");  // set before the failure showed
    }
    {
        NodePtr copy(base->copy());
        copy->removeDescendant(key_base_type);
        EXPECT_EQ(copy->changeBaseNodeIntoNode(*nodeAt(tree, "opt_main_scaler")), err_general);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get base node type, change from base node failed"));
    }
    {
        // An override without a target names no attribute.
        NodePtr copy(base->copy());
        GraphConfigNode reference;
        auto *change = new GraphConfigNode();
        reference.insertDescendant(change, key_node);
        change->addValue(key_value, std::string("1"));
        log.clear();
        EXPECT_EQ(copy->changeBaseNodeIntoNode(reference), err_argument);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to apply override  -> 1")) << log.dump();
    }
}
