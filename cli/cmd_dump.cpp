// vorn dump FILE [--path a:b:c]: a tree, or one subtree, with keys, types
// and values.
#include <cstdio>

#include "commands.h"
#include "common.h"

namespace cli {
namespace {

using Vorn::GraphConfigNode;
using Vorn::ItemType;

struct DumpOptions {
    std::string file;
    std::string path;
};

void printItem(const char *key, const Vorn::GraphConfigItem *item, int depth)
{
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    std::string value;
    int32_t number = 0;
    switch (item->type) {
    case ItemType::NODE: {
        std::printf("%s%s\n", indent.c_str(), paint(key, "1").c_str());
        const auto *node = static_cast<const GraphConfigNode *>(item);
        for (const Vorn::Child &child : node->children())
            printItem(Vorn::ItemUID::key2str(child.first), child.second, depth + 1);
        return;
    }
    case ItemType::INT:
        item->getValue(number);
        std::printf("%s%s: int %d\n", indent.c_str(), key, number);
        return;
    case ItemType::STRING:
        item->getValue(value);
        std::printf("%s%s: string \"%s\"\n", indent.c_str(), key, value.c_str());
        return;
    default:
        std::printf("%s%s: undefined\n", indent.c_str(), key);
        return;
    }
}

int runDump(const DumpOptions &options)
{
    Loaded loaded = loadDocument(options.file);
    if (!loaded.tree) {
        std::fprintf(stderr, "vorn: %s: %s\n", options.file.c_str(), loaded.error.c_str());
        return kUsage;
    }
    const Vorn::IGraphConfig *top = loaded.tree.get();
    if (!options.path.empty()) {
        top = top->getDescendantByString(options.path);
        if (top == nullptr) {
            std::fprintf(stderr, "vorn: %s: no node at '%s'\n", options.file.c_str(), options.path.c_str());
            return kProblems;
        }
    }
    const GraphConfigNode *node = GraphConfigNode::from(top);
    printItem(options.path.empty() ? node->getName().c_str() : options.path.c_str(), node, 0);
    return kClean;
}

}  // namespace

void addDumpCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<DumpOptions>();
    CLI::App *command =
        app.add_subcommand("dump", "Print a document's tree, or one subtree, with keys, types and values");
    command->add_option("FILE", options->file, "Graph descriptor or settings (.xml or .gz)")->required();
    command->add_option("--path", options->path, "Only the node at this path (names joined by ':')");
    command->callback([options, &status] { status = runDump(*options); });
}

}  // namespace cli
