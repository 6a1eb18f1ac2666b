// What every command of the vorn tool shares: exit statuses, the log sink,
// loading documents and small readers of the tree.
#ifndef VORN_CLI_COMMON_H
#define VORN_CLI_COMMON_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <vorn/vorn.h>

namespace cli {

enum Exit : int {
    kClean = 0,     // the command did what was asked and found nothing wrong
    kProblems = 1,  // the input was read but something is wrong with it
    kUsage = 2,     // bad arguments or unreadable input
};

// One log line of the library, as the sink received it.
struct LogLine {
    uint32_t level;
    std::string tag;
    std::string text;
};

// With verbose set every library line also goes to standard error.
void setVerbose(bool verbose);
// The lines received since the last call, which forgets them.
std::vector<LogLine> takeLogLines();
const char *levelName(uint32_t level);

// Whether standard output is a terminal (colour allowed).
bool colourOutput();
// text wrapped in an ANSI colour when standard output is a terminal.
std::string paint(const std::string &text, const char *ansi);

// A loaded document, or why there is none.
struct Loaded {
    std::unique_ptr<Vorn::IGraphConfig> tree;
    std::string error;  // first error line of the loader
    uint32_t line = 0;  // position of a syntax error, 0 when not one
    uint32_t column = 0;
};
Loaded loadDocument(const std::string &path);

// Readers of one node.
std::string text(const Vorn::IGraphConfig *node, Vorn::KeyId key, const char *fallback = "");
bool integer(const Vorn::IGraphConfig *node, Vorn::KeyId key, int32_t &value);
// The value at a ":"-path below node as text (integers in decimal).
bool valueAt(const Vorn::IGraphConfig *node, const std::string &path, std::string &value);
std::vector<std::string> peersOf(const Vorn::IGraphConfig *item);
std::string fourccText(uint32_t fourcc);

// The nodes that hold kernels, in child order: the root's children of type
// "program_group", and of type "compute_block" (generation 7 and above).
std::vector<const Vorn::IGraphConfig *> kernelGroups(const Vorn::IGraphConfig *root);
// Whether the library hands this result graph to its new-version analysis:
// generation 6 or above, or kernel links ("klink") in a program group.
bool isNewVersionGraph(const Vorn::IGraphConfig *root);

// "name=value" items of a query; false (with a message on standard error)
// for an item without a name or "=".
bool parseQueryItems(const std::vector<std::string> &items, Vorn::SearchQuery &query);

}  // namespace cli

#endif
