// vorn graph DESCRIPTOR SETTINGS (--key N | key=value...) [--dot|--json]:
// the result graph of a settings entry.
#include <cstdio>

#include "commands.h"
#include "session.h"
#include "writers.h"

namespace cli {
namespace {

struct GraphOptions {
    std::string descriptor;
    std::string settings;
    EntryChoice choice;
    bool dot = false;
    bool json = false;
};

int runGraph(GraphOptions &options)
{
    Session session;
    std::unique_ptr<ResultGraph> built;
    const int opened = session.buildChosen(options.descriptor, options.settings, options.choice, built);
    if (opened != kClean)
        return opened;
    const ResultGraph &result = *built;
    const GraphModel graph = readGraph(result.root(), session.manager.settingsKey());
    takeLogLines();
    if (options.json)
        writeJson(graphJson(graph), stdout);
    else if (options.dot)
        writeGraphDot(graph, stdout);
    else
        writeGraphText(graph, stdout);
    return kClean;
}

}  // namespace

void addGraphCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<GraphOptions>();
    CLI::App *command = app.add_subcommand("graph", "Build the result graph of a settings entry and print it");
    addGraphArguments(*command, options->descriptor, options->settings, &options->choice);
    CLI::Option *dot = command->add_flag("--dot", options->dot, "Write Graphviz");
    CLI::Option *json = command->add_flag("--json", options->json, "Write JSON");
    dot->excludes(json);
    command->callback([options, &status] { status = runGraph(*options); });
}

}  // namespace cli
