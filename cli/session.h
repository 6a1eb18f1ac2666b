// Loading a descriptor and settings pair, choosing a settings entry and
// building its result graph: the common start of graph, kernels and check.
#ifndef VORN_CLI_SESSION_H
#define VORN_CLI_SESSION_H

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common.h"

namespace cli {

// Which settings entry: its "key", or the first entry matching every item.
struct EntryChoice {
    int32_t key = -1;
    CLI::Option *keyOption = nullptr;
    std::vector<std::string> items;
};
// DESCRIPTOR and SETTINGS, and (when choice is given) --key N or path=value items.
void addGraphArguments(CLI::App &command, std::string &descriptor, std::string &settings, EntryChoice *choice);

class ResultGraph;

struct Session {
    std::string descriptorPath;
    std::string settingsPath;
    Loaded descriptor;
    Loaded settings;
    Vorn::GraphQueryManager manager;

    // Loads both documents; kUsage (with a message) when one cannot be.
    int open(const std::string &descriptorFile, const std::string &settingsFile);
    // The chosen entry, or null with a message on standard error.
    Vorn::IGraphConfig *choose(const EntryChoice &choice);
    // open, choose and build the entry's result graph into result; the exit
    // status, with a message on standard error when it is not kClean.
    int buildChosen(const std::string &descriptorFile, const std::string &settingsFile, const EntryChoice &choice,
                    std::unique_ptr<ResultGraph> &result);
};

// A result graph, released with the manager that built it.
class ResultGraph {
public:
    ResultGraph(Vorn::GraphQueryManager &manager, Vorn::IGraphConfig *entry);
    ~ResultGraph() { mManager.destroyGraph(mRoot); }
    ResultGraph(const ResultGraph &) = delete;
    ResultGraph &operator=(const ResultGraph &) = delete;

    bool built() const { return mStatus == err_none; }
    Vorn::status_t status() const { return mStatus; }
    const Vorn::IGraphConfig *root() const { return mRoot; }
    // The library's error lines while building.
    const std::vector<std::string> &errors() const { return mErrors; }

private:
    Vorn::GraphQueryManager &mManager;
    Vorn::IGraphConfig *mRoot = nullptr;
    Vorn::status_t mStatus = err_general;
    std::vector<std::string> mErrors;
};

}  // namespace cli

#endif
