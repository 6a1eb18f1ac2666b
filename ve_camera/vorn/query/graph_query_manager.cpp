// Settings query: the version check between the two documents and the search
// for settings nodes whose values match a query.
#include <vorn/graph_query_manager.h>

#include "log_tags.h"
#include "model/item_cast.h"
#include "no_memory.h"

#include <charconv>
#include <cstring>

#include <ve_cipr/ve_log_common.h>

namespace Vorn {

namespace {

constexpr const char *kTag = kVornTag;

// Outcome of reading the attribute a search item names.
enum class ItemRead {
    Unreadable,  // missing, or neither an integer nor a string
    Equal,
    Different,
};

bool sameText(const char *text, size_t length, const std::string &wanted)
{
    return length == wanted.size() && std::memcmp(text, wanted.data(), length) == 0;
}

// Reads the attribute under key of target, as an integer first (compared
// through its decimal text), else as a string, and compares it with wanted.
ItemRead compareAttribute(const GraphConfigNode &target, KeyId key, const std::string &wanted)
{
    GraphConfigItem *item = nullptr;
    if (target.getAttribute(key, &item) != err_none || item == nullptr)
        return ItemRead::Unreadable;

    int32_t number = 0;
    if (item->getValue(number) == err_none) {
        char text[16];
        const std::to_chars_result end = std::to_chars(text, text + sizeof(text), number);
        return sameText(text, static_cast<size_t>(end.ptr - text), wanted) ? ItemRead::Equal : ItemRead::Different;
    }

    if (const auto *attribute = detail::asStrAttribute(item))
        return attribute->value() == wanted ? ItemRead::Equal : ItemRead::Different;

    // Any other item kind that still answers a string read.
    std::string text;
    if (item->getValue(text) != err_none)
        return ItemRead::Unreadable;
    return text == wanted ? ItemRead::Equal : ItemRead::Different;
}

// The "version" text of a document root; empty, with a warning, when absent.
std::string readVersion(const IGraphConfig &root, const char *failure)
{
    std::string version;
    if (root.getValue(key_version, version) != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "%s", failure);
        version.clear();
    }
    return version;
}

// Result of a search: a failure when this call matched nothing (the result
// list may hold matches of earlier calls).
status_t matchStatus(size_t found)
{
    if (found != 0)
        return err_none;
    ve_log_common_debug(VE_LOG_ERROR, kTag, "No settings matching the query found");
    return err_general;
}

}  // namespace

status_t GraphQueryManager::validateSettingsAgainstDescriptor() const
try {
    if (mDescriptor == nullptr || mSettings == nullptr)
        return err_data;

    const std::string descriptorVersion = readVersion(*mDescriptor, "Couldn't get version from graph descriptor");
    const std::string settingsVersion = readVersion(*mSettings, "Couldn't get version from graph settings");

    // Settings 3.2 fit descriptor 3; a descriptor 3.2 never fits.
    const std::string settingsMajor = settingsVersion.substr(0, settingsVersion.find('.'));
    if (settingsMajor != descriptorVersion) {
        ve_log_common_debug(VE_LOG_WARNING, kTag,
                            "WARNING: graph settings(%s) version is not matching graph descriptor(%s). Make sure the "
                            "settings are compatible with the graph descriptor.",
                            settingsVersion.c_str(), descriptorVersion.c_str());
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("validateSettingsAgainstDescriptor");
}

void GraphQueryManager::goThroughSearchItems(const SearchQuery &query, const IGraphConfig *settings,
                                             size_t &matchCount) const
{
    if (settings == nullptr)
        return;

    for (const auto &item : query) {
        const ItemUID &path = item.first;
        const IGraphConfig *target = path.size() == 1 ? settings : settings->getDescendant(path);
        if (target == nullptr) {
            if (mStrict)
                return;
            continue;
        }

        const ItemRead read = compareAttribute(*GraphConfigNode::from(target), path.back(), item.second);
        if (read == ItemRead::Equal)
            ++matchCount;
        else if (read == ItemRead::Unreadable && mStrict)
            return;
    }
}

bool GraphQueryManager::isMatch(const SearchQuery &query, const IGraphConfig *settings) const
{
    size_t matches = 0;
    goThroughSearchItems(query, settings, matches);
    return mStrict ? matches == query.size() : matches >= 1;
}

status_t GraphQueryManager::queryGraphs(const SearchQuery &query, GraphConfigList &result, bool strict)
try {
    mStrict = strict;
    const status_t status = validateSettingsAgainstDescriptor();
    if (status != err_none)
        return status;

    size_t found = 0;
    const auto candidates = GraphConfigNode::from(mSettings)->children().equal_range(key_settings);
    for (auto it = candidates.first; it != candidates.second; ++it) {
        // Only nodes are settings; an attribute named "settings" is not one.
        auto *candidate = detail::asNode(it->second);
        if (candidate == nullptr || !isMatch(query, candidate))
            continue;
        result.push_back(candidate);
        ++found;
    }

    return matchStatus(found);
} catch (const std::bad_alloc &) {
    return noMemory("queryGraphs");
}

status_t GraphQueryManager::queryGraphs(const SearchQuery &query, const GraphConfigList &candidates,
                                        GraphConfigList &result, bool strict)
try {
    mStrict = strict;
    const status_t status = validateSettingsAgainstDescriptor();
    if (status != err_none)
        return status;

    // By index over the entries present now: candidates may be result itself.
    const size_t count = candidates.size();
    size_t found = 0;
    for (size_t i = 0; i < count; ++i) {
        IGraphConfig *candidate = candidates[i];
        if (candidate == nullptr || !isMatch(query, candidate))
            continue;
        result.push_back(candidate);
        ++found;
    }

    return matchStatus(found);
} catch (const std::bad_alloc &) {
    return noMemory("queryGraphs");
}

}  // namespace Vorn
