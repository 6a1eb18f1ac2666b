// The walk shared by every level of the analysis: order, the visitor
// statuses, long chains and cycles.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using namespace Vorn;
using Node = GraphUtil::ImagingNode;

namespace {

std::vector<std::unique_ptr<Node>> makeNodes(size_t count)
{
    std::vector<std::unique_ptr<Node>> nodes;
    for (size_t i = 0; i < count; ++i) {
        nodes.push_back(std::make_unique<Node>());
        nodes.back()->name = nodes.back()->key = "n" + std::to_string(100000 + i);
    }
    return nodes;
}

void link(Node &from, Node &to)
{
    from.outputs.emplace(&to, "");
    to.inputs.emplace(&from, "");
}

}  // namespace

TEST(AnalysisTraversal, PreOrderStatusesChainsAndCycles)
{
    // n0 -> n2, n0 -> n1 (visited in name order), n1 -> n3, n2 -> n3.
    auto nodes = makeNodes(4);
    link(*nodes[0], *nodes[2]);
    link(*nodes[0], *nodes[1]);
    link(*nodes[1], *nodes[3]);
    link(*nodes[2], *nodes[3]);
    std::vector<std::string> order;
    // n3 asks to be retried until its second parent reaches it.
    int n3Calls = 0;
    const GraphUtil::Visitor visitor = [&](GraphUtil::BaseGraphNode *node) -> status_t {
        order.push_back(node->name);
        if (node == nodes[3].get())
            return ++n3Calls == 1 ? err_retry : err_none;
        return static_cast<status_t>(err_none);
    };
    EXPECT_EQ(GraphUtil::traverseGraph(nodes[0].get(), visitor, true), err_none);
    EXPECT_EQ(order, (std::vector<std::string>{"n100000", "n100001", "n100003", "n100002", "n100003"}));
    for (const auto &node : nodes)
        EXPECT_TRUE(node->visited) << node->name;

    // A failure is reported by the failing node and every node on the path.
    for (const auto &node : nodes)
        node->visited = false;
    vorn_test::LogCapture log;
    const GraphUtil::Visitor failing = [&](GraphUtil::BaseGraphNode *node) -> status_t {
        return node == nodes[3].get() ? err_data : err_none;
    };
    EXPECT_EQ(GraphUtil::traverseGraph(nodes[0].get(), failing, true), err_data);
    EXPECT_EQ(log.count("Graph traversal interrupted at node n100003 [-8]"), 1u);
    EXPECT_EQ(log.count("Graph traversal interrupted at node n100001 [-8]"), 1u);
    EXPECT_EQ(log.count("Graph traversal interrupted at node n100000 [-8]"), 1u);
    EXPECT_FALSE(nodes[2]->visited);

    // A chain of 100,000 links closed into a cycle, both directions.
    auto chain = makeNodes(100000);
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        link(*chain[i], *chain[i + 1]);
    link(*chain.back(), *chain.front());
    size_t visits = 0;
    const GraphUtil::Visitor counting = [&](GraphUtil::BaseGraphNode *) -> status_t {
        ++visits;
        return err_none;
    };
    EXPECT_EQ(GraphUtil::traverseGraph(chain[500].get(), counting, false), err_none);
    EXPECT_EQ(visits, chain.size());
    EXPECT_EQ(GraphUtil::traverseGraph(chain[500].get(), counting, true), err_none);
    EXPECT_EQ(visits, chain.size()) << "marks persist until cleared";
    EXPECT_EQ(GraphUtil::traverseGraph(chain[0].get(), GraphUtil::Visitor(), true), err_internal);
}
