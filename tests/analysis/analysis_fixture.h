// Result graphs built from the analysis fixtures, and what the analysis
// made of them.
#ifndef VORN_TEST_ANALYSIS_FIXTURE_H
#define VORN_TEST_ANALYSIS_FIXTURE_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"

namespace vorn_test {

// A result graph of a descriptor and a settings document in tests/data,
// built from the settings entry with the given "key".
struct BuiltGraph {
    BuiltGraph(const std::string &prefix, int32_t settingsKey)
        : descriptor(loadTree(prefix + "_descriptor.xml")), settings(loadTree(prefix + "_settings.xml"))
    {
        manager.setGraphDescriptor(descriptor.get());
        manager.setGraphSettings(settings.get());
        Vorn::GraphConfigList entries;
        manager.queryGraphs({{Vorn::ItemUID{Vorn::key_key}, std::to_string(settingsKey)}}, entries);
        EXPECT_EQ(entries.size(), 1u) << prefix << " key " << settingsKey;
        if (!entries.empty()) {
            EXPECT_EQ(manager.createGraph(entries[0], &graph), err_none) << prefix << " key " << settingsKey;
        }
    }
    ~BuiltGraph() { manager.destroyGraph(graph); }
    BuiltGraph(const BuiltGraph &) = delete;
    BuiltGraph &operator=(const BuiltGraph &) = delete;

    Vorn::IGraphConfig *node(const std::string &path) const { return graph->getDescendantByString(path); }

    Tree descriptor;
    Tree settings;
    Vorn::GraphQueryManager manager;
    Vorn::IGraphConfig *graph = nullptr;
};

// Names of the peers in a link map, in map order.
inline std::vector<std::string> linkNames(const Vorn::GraphUtil::LinkMap &links)
{
    std::vector<std::string> names;
    for (const auto &link : links)
        names.push_back(link.first->key + "=" + link.second);
    return names;
}

// The inner node stored under key in a subgraph.
inline const Vorn::GraphUtil::ImagingNode &innerNode(const Vorn::GraphUtil &util, int32_t subgraph,
                                                     const std::string &key)
{
    return *util.subGraphs().at(subgraph)->imagingNodes.at(key);
}

}  // namespace vorn_test

#endif
