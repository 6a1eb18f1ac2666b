#include "session.h"

#include <cstdio>

namespace cli {

void addGraphArguments(CLI::App &command, std::string &descriptor, std::string &settings, EntryChoice *choice)
{
    command.add_option("DESCRIPTOR", descriptor, "Graph descriptor (.xml or .gz)")->required();
    command.add_option("SETTINGS", settings, "Graph settings (.xml or .gz)")->required();
    if (choice == nullptr)
        return;
    CLI::Option *key = command.add_option("--key", choice->key, "The settings entry with this key");
    CLI::Option *items =
        command.add_option("ITEMS", choice->items, "path=value items the settings entry must all match");
    key->excludes(items);
    items->excludes(key);
    choice->keyOption = key;
}

int Session::open(const std::string &descriptorFile, const std::string &settingsFile)
{
    descriptorPath = descriptorFile;
    settingsPath = settingsFile;
    descriptor = loadDocument(descriptorFile);
    settings = loadDocument(settingsFile);
    for (const Loaded *loaded : {&descriptor, &settings}) {
        if (loaded->tree)
            continue;
        std::fprintf(stderr, "vorn: %s: %s\n", (loaded == &descriptor ? descriptorFile : settingsFile).c_str(),
                     loaded->error.c_str());
        return kUsage;
    }
    manager.setGraphDescriptor(descriptor.tree.get());
    manager.setGraphSettings(settings.tree.get());
    return kClean;
}

Vorn::IGraphConfig *Session::choose(const EntryChoice &choice)
{
    Vorn::SearchQuery query;
    if (choice.keyOption != nullptr && choice.keyOption->count() > 0)
        query[Vorn::ItemUID("key")] = std::to_string(choice.key);
    else if (!parseQueryItems(choice.items, query))
        return nullptr;
    if (query.empty()) {
        std::fprintf(stderr, "vorn: give --key N or path=value items\n");
        return nullptr;
    }
    Vorn::GraphConfigList found;
    manager.queryGraphs(query, found, true);
    takeLogLines();
    if (found.empty()) {
        std::fprintf(stderr, "vorn: no settings entry matches\n");
        return nullptr;
    }
    return found.front();
}

int Session::buildChosen(const std::string &descriptorFile, const std::string &settingsFile, const EntryChoice &choice,
                         std::unique_ptr<ResultGraph> &result)
{
    const int opened = open(descriptorFile, settingsFile);
    if (opened != kClean)
        return opened;
    Vorn::IGraphConfig *entry = choose(choice);
    if (entry == nullptr)
        return kProblems;
    result = std::make_unique<ResultGraph>(manager, entry);
    if (result->built())
        return kClean;
    std::fprintf(stderr, "vorn: the result graph could not be built (status %d)\n", result->status());
    for (const std::string &error : result->errors())
        std::fprintf(stderr, "  %s\n", error.c_str());
    return kProblems;
}

ResultGraph::ResultGraph(Vorn::GraphQueryManager &manager, Vorn::IGraphConfig *entry) : mManager(manager)
{
    takeLogLines();
    mStatus = manager.createGraph(entry, &mRoot);
    for (const LogLine &line : takeLogLines())
        if (line.level & VE_LOG_ERROR)
            mErrors.push_back(line.text);
}

}  // namespace cli
