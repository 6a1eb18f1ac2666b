// GraphQueryManager: finds the settings nodes of a graph settings document
// whose values match a query, and builds from one of them a result graph.
//
// The manager never owns the trees it is given: the caller loads the graph
// settings and the graph descriptor, hands their roots in, and keeps them
// alive for as long as the manager and any query result are in use.
#ifndef VORN_GRAPH_QUERY_MANAGER_H
#define VORN_GRAPH_QUERY_MANAGER_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <vorn/graph_config.h>
#include <vorn/keys.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

namespace Vorn {

// One search item per entry: the item at this path below a settings node must
// hold this value. A one-key path names an attribute of the settings node
// itself; a longer one names child nodes ending in an attribute. Values are
// compared as text; an integer attribute through its decimal text.
using SearchQuery = std::map<ItemUID, std::string>;

// Settings nodes inside the settings tree (not copies); the tree owns them.
using GraphConfigList = std::vector<IGraphConfig *>;

class VORN_API GraphQueryManager {
public:
    GraphQueryManager() = default;

    // Store the roots; neither is checked nor owned.
    void setGraphSettings(const IGraphConfig *settings) { mSettings = settings; }
    void setGraphDescriptor(const IGraphConfig *descriptor) { mDescriptor = descriptor; }

    // err_data unless both roots are set. Otherwise compares the settings
    // version (up to its first '.') with the descriptor version and warns on
    // a mismatch; returns err_none either way.
    status_t validateSettingsAgainstDescriptor() const;

    // Searches the children of the settings root stored under "settings", in
    // child order, and appends every match to result (which is not cleared).
    // strict: a node matches when it satisfies every search item; otherwise
    // when it satisfies at least one. err_general, with an error line, when
    // nothing matched.
    status_t queryGraphs(const SearchQuery &query, GraphConfigList &result, bool strict = false);
    // The same over the given candidates, in list order (null entries never
    // match). candidates may be result itself; only the entries present at
    // the call are searched.
    status_t queryGraphs(const SearchQuery &query, const GraphConfigList &candidates, GraphConfigList &result,
                         bool strict = false);

    // Adds to matchCount the number of search items that settings satisfies.
    // In the matching mode of the last queryGraphs call a strict scoring stops
    // at the first item whose node or attribute is missing.
    void goThroughSearchItems(const SearchQuery &query, const IGraphConfig *settings, size_t &matchCount) const;

    // --- result graphs ---------------------------------------------------------
    //
    // A result graph is a new tree holding the descriptor's graph element, a
    // copy of every descriptor node the chosen graph connects, "peer"
    // attributes for the connections, the settings values merged on top, the
    // graph's overrides, unused pixel ports disabled and the sensor-mode data.
    // It never points into the descriptor or settings trees.

    // Builds the result graph of a settings node returned by queryGraphs.
    // err_argument when settings or graph is null. Otherwise *graph receives
    // the new root whatever the status: a partly built tree after a failure
    // still belongs to the caller and is released with destroyGraph. Each
    // failing step logs why under "VORN[XOS]".
    status_t createGraph(IGraphConfig *settings, IGraphConfig **graph);
    // Fills result (an empty root) from settings; stops at the first failing
    // step and leaves result as far as it got.
    status_t getGraph(GraphConfigNode *settings, GraphConfigNode *result);
    // Deletes a whole result tree; null is ignored.
    void destroyGraph(IGraphConfig *graph) const;

    // The steps of getGraph.

    // A connection made only when settings mentions both endpoints (and the
    // source is not disabled there); endpoints missing from settings drop it.
    status_t getConnectionData(const std::string &source, const std::string &sink, GraphConfigNode *settings,
                               GraphConfigNode *result);
    // A connection made whatever the settings say.
    status_t getStaticConnectionData(const std::string &source, const std::string &sink, GraphConfigNode *result);
    // The result's node under key, copied from the descriptor's "nodes" (or
    // built from its base node) unless result has it already; null on failure.
    IGraphConfig *copyNodeToResult(const IGraphConfig *nodes, KeyId key, GraphConfigNode *result);
    // Whether node names a base node; baseName receives the name.
    bool nodeHasBaseNode(const IGraphConfig &node, std::string &baseName) const;
    // A new node (owned by the caller) built from the base node baseName of
    // nodes for the descriptor node node; null on failure.
    GraphConfigNode *constructNodeFromBase(const IGraphConfig *node, const std::string &baseName,
                                           const IGraphConfig *nodes) const;
    // Copies the attribute under key from one node to the other, setting it
    // there or adding it; the status of the read when from lacks it.
    status_t propagateIntAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key) const;
    status_t propagateStrAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key) const;
    // Merges the common sensor-mode values and then the mode named modeId
    // into sensor; err_data when no mode has that name.
    static status_t addSensorModeData(GraphConfigNode *sensor, GraphConfigNode *sensorModes, const std::string &modeId);

    // "key" of the settings node of the last getGraph; -1 before the first.
    int32_t settingsKey() const { return mSettingsKey; }

private:
    bool isMatch(const SearchQuery &query, const IGraphConfig *settings) const;

    bool mStrict = false;
    const IGraphConfig *mSettings = nullptr;
    const IGraphConfig *mDescriptor = nullptr;
    int32_t mSettingsKey = -1;
};

}  // namespace Vorn

#endif
