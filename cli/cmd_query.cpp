// vorn query SETTINGS key=value... [--strict]: the settings entries that
// match, with the values the query asked about.
#include <cstdio>

#include "commands.h"
#include "common.h"

namespace cli {
namespace {

struct QueryOptions {
    std::string settings;
    std::vector<std::string> items;
    bool strict = false;
};

int runQuery(const QueryOptions &options)
{
    Vorn::SearchQuery query;
    if (!parseQueryItems(options.items, query))
        return kUsage;
    Loaded loaded = loadDocument(options.settings);
    if (!loaded.tree) {
        std::fprintf(stderr, "vorn: %s: %s\n", options.settings.c_str(), loaded.error.c_str());
        return kUsage;
    }
    Vorn::GraphQueryManager manager;
    manager.setGraphSettings(loaded.tree.get());
    // A query reads only the settings, but the manager checks them against a
    // descriptor first: alone, the settings stand in for it (same version).
    manager.setGraphDescriptor(loaded.tree.get());
    Vorn::GraphConfigList found;
    manager.queryGraphs(query, found, options.strict);
    takeLogLines();
    if (found.empty()) {
        std::printf("no settings entry matches\n");
        return kProblems;
    }
    for (const Vorn::IGraphConfig *entry : found) {
        int32_t key = -1, graph = -1;
        integer(entry, Vorn::key_key, key);
        integer(entry, Vorn::key_id, graph);
        std::printf("key %d  graph %d  \"%s\"", key, graph, text(entry, Vorn::key_description).c_str());
        for (const std::string &item : options.items) {
            const std::string path = item.substr(0, item.find('='));
            std::string value;
            std::printf("  %s=%s", path.c_str(), valueAt(entry, path, value) ? value.c_str() : "(none)");
        }
        std::printf("\n");
    }
    return kClean;
}

}  // namespace

void addQueryCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<QueryOptions>();
    CLI::App *command = app.add_subcommand("query", "List the settings entries that match name=value items");
    command->add_option("SETTINGS", options->settings, "Graph settings (.xml or .gz)")->required();
    command->add_option("ITEMS", options->items, "path=value items, paths relative to a settings entry")->required();
    command->add_flag("--strict", options->strict, "Every item must match (default: at least one)");
    command->callback([options, &status] { status = runQuery(*options); });
}

}  // namespace cli
