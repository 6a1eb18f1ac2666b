// GraphQueryManager: finds the settings nodes of a graph settings document
// whose values match a query.
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
    // when it satisfies at least one. err_general when nothing matched.
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

private:
    bool isMatch(const SearchQuery &query, const IGraphConfig *settings) const;

    bool mStrict = false;
    const IGraphConfig *mSettings = nullptr;
    const IGraphConfig *mDescriptor = nullptr;
};

}  // namespace Vorn

#endif
