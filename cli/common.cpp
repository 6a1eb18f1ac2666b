#include "common.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace cli {
namespace {

struct LogState {
    std::vector<LogLine> lines;
    bool verbose = false;
};

// The library logs from its start-up code, before this file's globals are
// constructed: the state is made on first use.
LogState &logState()
{
    static LogState state;
    return state;
}

}  // namespace

void setVerbose(bool verbose) { logState().verbose = verbose; }

std::vector<LogLine> takeLogLines()
{
    std::vector<LogLine> lines;
    lines.swap(logState().lines);
    return lines;
}

const char *levelName(uint32_t level)
{
    if (level & VE_LOG_ERROR)
        return "error";
    if (level & VE_LOG_WARNING)
        return "warning";
    if (level & VE_LOG_INFO)
        return "info";
    if (level & VE_LOG_VERBOSE)
        return "verbose";
    if (level & VE_LOG_ALLOC)
        return "alloc";
    if (level & VE_LOG_ENTRY)
        return "entry";
    return "debug";
}

bool colourOutput()
{
    static const bool terminal = isatty(STDOUT_FILENO) == 1;
    return terminal;
}

std::string paint(const std::string &value, const char *ansi)
{
    if (!colourOutput())
        return value;
    return std::string("\033[") + ansi + "m" + value + "\033[0m";
}

Loaded loadDocument(const std::string &path)
{
    Loaded loaded;
    takeLogLines();
    Vorn::IGraphConfig *tree = nullptr;
    Vorn::VornParser parser;
    parser.parseVornXmlFile(path, &tree);
    loaded.tree.reset(tree);
    for (const LogLine &line : takeLogLines()) {
        if (!(line.level & VE_LOG_ERROR) || !loaded.error.empty())
            continue;
        loaded.error = line.text;
        // The loader reports a syntax error as "... XML_Parse error WHAT (line L, column C)".
        const char *at = std::strstr(line.text.c_str(), "XML_Parse error ");
        unsigned long row = 0, column = 0;
        const char *position = at != nullptr ? std::strrchr(at, '(') : nullptr;
        if (position != nullptr && std::sscanf(position, "(line %lu, column %lu)", &row, &column) == 2) {
            loaded.error = std::string(at + std::strlen("XML_Parse error "), position - 1);
            loaded.line = static_cast<uint32_t>(row);
            loaded.column = static_cast<uint32_t>(column) + 1;  // Expat counts columns from 0
        }
    }
    if (!loaded.tree && loaded.error.empty())
        loaded.error = "cannot be loaded";
    return loaded;
}

std::string text(const Vorn::IGraphConfig *node, Vorn::KeyId key, const char *fallback)
{
    std::string value;
    if (node == nullptr || node->getValue(key, value) != err_none)
        return fallback;
    return value;
}

bool integer(const Vorn::IGraphConfig *node, Vorn::KeyId key, int32_t &value)
{
    return node != nullptr && node->getValue(key, value) == err_none;
}

bool valueAt(const Vorn::IGraphConfig *node, const std::string &path, std::string &value)
{
    const Vorn::ItemUID uid(path);
    int32_t number = 0;
    if (node->getValue(uid, value) == err_none)
        return true;
    if (node->getValue(uid, number) != err_none)
        return false;
    value = std::to_string(number);
    return true;
}

std::vector<std::string> peersOf(const Vorn::IGraphConfig *item)
{
    std::vector<std::string> peers;
    const auto range = Vorn::GraphConfigNode::from(item)->children().equal_range(Vorn::key_peer);
    for (auto it = range.first; it != range.second; ++it) {
        std::string peer;
        if (it->second->getValue(peer) == err_none)
            peers.push_back(peer);
    }
    return peers;
}

std::string fourccText(uint32_t fourcc)
{
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((fourcc >> shift) & 0xFFu);
        out += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return out;
}

std::vector<const Vorn::IGraphConfig *> kernelGroups(const Vorn::IGraphConfig *root)
{
    std::vector<const Vorn::IGraphConfig *> groups;
    Vorn::NodeIterator children(const_cast<Vorn::IGraphConfig *>(root));
    while (const Vorn::IGraphConfig *child = children.iterateDescendants()) {
        const std::string type = text(child, Vorn::key_type);
        if (type == "program_group" || type == "compute_block")
            groups.push_back(child);
    }
    return groups;
}

bool isNewVersionGraph(const Vorn::IGraphConfig *root)
{
    const std::shared_ptr<Vorn::IspUtils> generation = Vorn::IspUtils::Factory(root);
    if (generation && generation->getOktVersion() >= 6)
        return true;
    for (const Vorn::IGraphConfig *group : kernelGroups(root))
        if (Vorn::GraphConfigNode::from(group)->children().count(Vorn::key_klink) != 0)
            return true;
    return false;
}

bool parseQueryItems(const std::vector<std::string> &items, Vorn::SearchQuery &query)
{
    for (const std::string &item : items) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::fprintf(stderr, "vorn: query item '%s' is not name=value\n", item.c_str());
            return false;
        }
        query[Vorn::ItemUID(item.substr(0, eq))] = item.substr(eq + 1);
    }
    return true;
}

}  // namespace cli

// The host's log sink: replaces the library's, which discards the lines.
// Without -v only warnings and errors are kept (the commands read no other
// line), and the others are not even formatted: the library logs much of
// its progress, which costs a check of many entries more than the work.
extern "C" void ve_log_common_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap)
{
    if (!cli::logState().verbose && (level & (VE_LOG_WARNING | VE_LOG_ERROR)) == 0)
        return;
    char line[VE_LOG_LINE_MAX];
    std::vsnprintf(line, sizeof line, fmt, ap);
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == ' '))
        line[--length] = '\0';
    const char *name = tag != nullptr ? tag : "";
    if (cli::logState().verbose)
        std::fprintf(stderr, "%s %s: %s\n", cli::levelName(level), name, line);
    cli::logState().lines.push_back({level, name, line});
}
