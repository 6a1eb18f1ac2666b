// Loading fixture documents from tests/data and reading values from them.
#ifndef VORN_TEST_FIXTURE_TREE_H
#define VORN_TEST_FIXTURE_TREE_H

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

namespace vorn_test {

struct TreeDeleter {
    void operator()(Vorn::IGraphConfig *tree) const { delete tree; }
};
using Tree = std::unique_ptr<Vorn::IGraphConfig, TreeDeleter>;

// A document of tests/data, or of another directory (the sample modules).
inline Tree loadTree(const std::string &name, const std::string &dir = VORN_TEST_DATA_DIR)
{
    Vorn::VornParser parser;
    Vorn::IGraphConfig *out = nullptr;
    parser.parseVornXmlFile(dir + "/" + name, &out);
    EXPECT_NE(out, nullptr) << dir << "/" << name;
    return Tree(out);
}

// A result graph, released through the query manager.
struct ResultGraphDeleter {
    void operator()(Vorn::IGraphConfig *graph) const { Vorn::GraphQueryManager().destroyGraph(graph); }
};
using ResultGraph = std::unique_ptr<Vorn::IGraphConfig, ResultGraphDeleter>;

// A tree from document text (for fixtures small enough to sit in the test).
inline Tree parseTree(const std::string &text)
{
    Vorn::VornParser parser;
    Vorn::IGraphConfig *out = nullptr;
    parser.parseVornXmlData(text.data(), text.size(), &out);
    EXPECT_NE(out, nullptr) << text;
    return Tree(out);
}

inline Vorn::GraphConfigNode *nodeAt(const Tree &tree, const std::string &path)
{
    Vorn::IGraphConfig *item = tree->getDescendantByString(path);
    EXPECT_NE(item, nullptr) << path;
    return Vorn::GraphConfigNode::from(item);
}

// What intOf answers for an integer that cannot be read.
constexpr int32_t kMissing = -99999;

// Values of key on node; kMissing and "<none>" when they cannot be read.
inline int32_t intOf(const Vorn::IGraphConfig *node, Vorn::KeyId key)
{
    int32_t value = kMissing;
    if (node == nullptr || node->getValue(key, value) != err_none)
        return kMissing;
    return value;
}

inline std::string strOf(const Vorn::IGraphConfig *node, Vorn::KeyId key)
{
    std::string value;
    if (node == nullptr || node->getValue(key, value) != err_none)
        return "<none>";
    return value;
}

// Every "peer" of a port or virtual sink, in connection order.
inline std::vector<std::string> peersOf(const Vorn::IGraphConfig *item)
{
    std::vector<std::string> out;
    if (item == nullptr)
        return out;
    const auto range = Vorn::GraphConfigNode::from(item)->children().equal_range(Vorn::key_peer);
    for (auto it = range.first; it != range.second; ++it) {
        std::string text;
        it->second->getValue(text);
        out.push_back(text);
    }
    return out;
}

}  // namespace vorn_test

#endif
