// vorn check DESCRIPTOR SETTINGS: loads both documents, checks their
// versions, builds the result graph of every settings entry and reports
// what a camera service would trip over, one line per problem:
//
//   FILE:LINE:COL: error|warning: message [use case N]
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

#include "commands.h"
#include "entry_groups.h"
#include "graph_model.h"
#include "session.h"
#include "source_lines.h"

namespace cli {
namespace {

// Lines the library logs at error level while it walks or dumps a graph,
// failure or not; they say where a walk went, not what went wrong.
bool isWalkLine(const std::string &text)
{
    static const char *const kPrefixes[] = {"Visiting  node ", "StreamId ", "Error: Couldn't get ", "====", "----"};
    static const char *const kSuffixes[] = {" is last one, stopping", " already visited, skipping"};
    for (const char *prefix : kPrefixes)
        if (text.rfind(prefix, 0) == 0)
            return true;
    for (const char *suffix : kSuffixes) {
        const size_t length = std::strlen(suffix);
        if (text.size() >= length && text.compare(text.size() - length, length, suffix) == 0)
            return true;
    }
    return false;
}

using Vorn::IGraphConfig;

struct CheckOptions {
    std::string descriptor;
    std::string settings;
};

constexpr int32_t kNoUseCase = INT32_MIN;

class Checker {
public:
    explicit Checker(const CheckOptions &options)
        : mOptions(options), mDescriptorLines(options.descriptor), mSettingsLines(options.settings)
    {
    }

    int run()
    {
        const int loaded = loadDocuments();
        if (loaded != kClean)
            return loaded;
        checkVersions();
        Vorn::NodeIterator entries(const_cast<IGraphConfig *>(mSession.settings.tree.get()));
        while (IGraphConfig *entry = entries.iterateByUid(Vorn::key_settings))
            checkEntry(entry);
        return mProblems == 0 ? kClean : kProblems;
    }

private:
    // A problem of the descriptor shows in every use case of its graph: it is
    // reported once, with the first use case.
    void report(bool error, const std::string &file, SourcePosition at, const std::string &message, int32_t useCase)
    {
        const std::string place = file + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + message;
        if (!mReported.insert(place).second)
            return;
        ++mProblems;
        std::printf("%s:%u:%u: %s %s", file.c_str(), at.line, at.column,
                    error ? paint("error:", "1;31").c_str() : paint("warning:", "1;35").c_str(), message.c_str());
        if (useCase != kNoUseCase)
            std::printf(" [use case %d]", useCase);
        std::printf("\n");
    }

    // 1. Both documents load; a syntax error is shown where the loader found it.
    int loadDocuments()
    {
        mSession.descriptor = loadDocument(mOptions.descriptor);
        mSession.settings = loadDocument(mOptions.settings);
        int status = kClean;
        for (const Loaded *loaded : {&mSession.descriptor, &mSession.settings}) {
            if (loaded->tree)
                continue;
            const std::string &file = loaded == &mSession.descriptor ? mOptions.descriptor : mOptions.settings;
            const bool syntax = loaded->line != 0;
            report(true, file, syntax ? SourcePosition{loaded->line, loaded->column} : SourcePosition{}, loaded->error,
                   kNoUseCase);
            status = std::max(status, syntax ? int(kProblems) : int(kUsage));
        }
        if (status != kClean)
            return status;
        mSession.manager.setGraphDescriptor(mSession.descriptor.tree.get());
        mSession.manager.setGraphSettings(mSession.settings.tree.get());
        return kClean;
    }

    // 2. The settings were written for this descriptor's version.
    void checkVersions()
    {
        takeLogLines();
        mSession.manager.validateSettingsAgainstDescriptor();
        for (const LogLine &line : takeLogLines())
            if (line.level & (VE_LOG_WARNING | VE_LOG_ERROR))
                report(false, mOptions.settings, mSettingsLines.find(""), line.text, kNoUseCase);
    }

    // 3. Per settings entry: the result graph builds, and what it holds is
    // usable. Entries alike but for "key" and "description" meet the same
    // problems: the first of them is built, the others take its findings.
    void checkEntry(IGraphConfig *entry)
    {
        mUseCase = kNoUseCase;
        integer(entry, Vorn::key_key, mUseCase);
        mEntryPath = "settings#" + std::to_string(mUseCase);
        bool isNew = false;
        const size_t group = mGroups.groupOf(entry, isNew);
        if (isNew) {
            mFindings.clear();
            buildAndInspect(entry);
            mGroupFindings.push_back(std::move(mFindings));
        }
        for (const Finding &finding : mGroupFindings[group])
            emit(finding);
    }

    void buildAndInspect(IGraphConfig *entry)
    {
        ResultGraph result(mSession.manager, entry);
        if (!result.built()) {
            const std::string why = result.errors().empty() ? "" : ": " + result.errors().front();
            mFindings.push_back(
                {Anchor::Entry, "", "",
                 "the result graph cannot be built (status " + std::to_string(result.status()) + ")" + why});
            return;
        }
        const GraphModel graph = readGraph(result.root(), mUseCase, ReadDepth::Formats);
        takeLogLines();
        for (const NodeModel &node : graph.nodes) {
            checkFormats(node);
            checkPeers(result.root(), node);
        }
        // Kernel ids 0 to n-1 are how first-version kernel lists place their
        // records; the new-version analysis places them by the graph itself.
        if (isNewVersionGraph(result.root()) || checkKernelIds(result.root()))
            checkKernelLists(result.root());
    }

    // Where a finding shows: the settings entry, a node or port (the entry
    // when it names it, the descriptor otherwise), or a descriptor element.
    enum class Anchor { Entry, Port, Descriptor };
    struct Finding {
        Anchor anchor;
        std::string node;  // Port: the node and port; Descriptor: the element path
        std::string port;
        std::string message;
    };

    void emit(const Finding &finding)
    {
        switch (finding.anchor) {
        case Anchor::Entry:
            report(true, mOptions.settings, mSettingsLines.find(mEntryPath), finding.message, mUseCase);
            break;
        case Anchor::Port:
            reportAt(finding.node, finding.port, finding.message);
            break;
        case Anchor::Descriptor:
            report(true, mOptions.descriptor, mDescriptorLines.find(finding.node), finding.message, mUseCase);
            break;
        }
    }

    // Where a port (or node, for an empty port) is: the settings entry names
    // it when it changes it, otherwise the descriptor defines it.
    void reportAt(const std::string &node, const std::string &port, const std::string &message)
    {
        const std::string inEntry = mEntryPath + "/" + node + (port.empty() ? "" : "/" + port);
        const std::string inNodes = "nodes/" + node + (port.empty() ? "" : "/" + port);
        if (port.empty() || mSettingsLines.contains(inEntry))
            report(true, mOptions.settings, mSettingsLines.findFirst({inEntry, mEntryPath}), message, mUseCase);
        else
            report(true, mOptions.descriptor, mDescriptorLines.findFirst({inNodes, "nodes/" + node}), message,
                   mUseCase);
    }

    void findAt(const std::string &node, const std::string &port, const std::string &message)
    {
        mFindings.push_back({Anchor::Port, node, port, message});
    }

    // 3a. Every format named exists, and every port carrying frames has a
    // format, size, stride and buffer size.
    void checkFormats(const NodeModel &node)
    {
        VornFormats::ve_format_t entry;
        if (!node.sinkFormat.empty() && VornFormats::getFormatByName(node.sinkFormat, entry) != err_none)
            findAt(node.name, "", "unknown format '" + node.sinkFormat + "' of " + node.name);
        for (const PortModel &port : node.ports) {
            const std::string where = node.name + ":" + port.name;
            if (!port.formatName.empty() && VornFormats::getFormatByName(port.formatName, entry) != err_none) {
                findAt(node.name, port.name, "unknown format '" + port.formatName + "' of " + where);
                continue;
            }
            if (!port.enabled || !port.frameWanted)
                continue;
            if (!port.hasFrame)
                findAt(node.name, port.name,
                       where + " carries frames but has no complete format (status " +
                           std::to_string(port.formatStatus) + ")");
            else if (port.frame.width == 0 || port.frame.height == 0)
                findAt(node.name, port.name, where + " carries frames but has no size");
            else if (port.frame.stride == 0 || port.frame.bufferSize == 0)
                findAt(node.name, port.name,
                       where + " has no stride or buffer size for " + std::to_string(port.frame.width) + "x" +
                           std::to_string(port.frame.height));
        }
    }

    // 3b. Every peer names a node or port of the result graph.
    void checkPeers(const IGraphConfig *root, const NodeModel &node)
    {
        for (const std::string &peer : node.sinkFrom)
            if (root->getDescendantByString(peer) == nullptr)
                findAt(node.name, "", "peer '" + peer + "' of " + node.name + " names nothing");
        for (const PortModel &port : node.ports)
            for (const std::string &peer : port.peers)
                if (root->getDescendantByString(peer) == nullptr)
                    findAt(node.name, port.name,
                           "peer '" + peer + "' of " + node.name + ":" + port.name + " names nothing");
    }

    // 3c. The kernel ids of each program group run from 0 to n-1 (first-version graphs).
    bool checkKernelIds(const IGraphConfig *root)
    {
        bool sound = true;
        Vorn::NodeIterator groups(const_cast<IGraphConfig *>(root));
        while (IGraphConfig *group = groups.iterateByType(Vorn::key_program_group)) {
            std::vector<int32_t> ids;
            Vorn::NodeIterator kernels(group);
            while (IGraphConfig *kernel = kernels.iterateByType(Vorn::key_kernel)) {
                int32_t id = -1;
                integer(kernel, Vorn::key_id, id);
                ids.push_back(id);
            }
            std::sort(ids.begin(), ids.end());
            for (size_t i = 0; i < ids.size(); ++i) {
                if (ids[i] == static_cast<int32_t>(i))
                    continue;
                mFindings.push_back({Anchor::Descriptor, "nodes/" + group->getName(), "",
                                     "kernel ids of " + group->getName() + " do not run from 0 to " +
                                         std::to_string(ids.size() - 1) + " (" + std::to_string(ids[i]) + " where " +
                                         std::to_string(i) + " belongs)"});
                sound = false;
                break;
            }
        }
        return sound;
    }

    // 3d. The kernel lists of the ISP-parameter component can be built. The
    // reason given is the first error line that is not one of the analysis'
    // walk and dump lines, which the library logs at error level as well.
    void checkKernelLists(const IGraphConfig *root)
    {
        Vorn::TolKorUtils kor;
        takeLogLines();
        const Vorn::status_t status = kor.initKorUtils(root);
        std::string why;
        for (const LogLine &line : takeLogLines())
            if ((line.level & VE_LOG_ERROR) && why.empty() && !isWalkLine(line.text))
                why = ": " + line.text;
        if (status != err_none)
            mFindings.push_back({Anchor::Entry, "", "",
                                 "the kernel lists cannot be built (status " + std::to_string(status) + ")" + why});
    }

    const CheckOptions &mOptions;
    Session mSession;
    SourceLines mDescriptorLines;
    SourceLines mSettingsLines;
    size_t mProblems = 0;
    std::set<std::string> mReported;
    int32_t mUseCase = kNoUseCase;
    std::string mEntryPath;
    EntryGroups mGroups;
    std::vector<std::vector<Finding>> mGroupFindings;  // per group, in group order
    std::vector<Finding> mFindings;                    // of the entry being built
};

}  // namespace

void addCheckCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<CheckOptions>();
    CLI::App *command = app.add_subcommand(
        "check", "Check a descriptor and settings pair the way a camera service would use it (exit 1 on problems)");
    addGraphArguments(*command, options->descriptor, options->settings, nullptr);
    command->callback([options, &status] {
        Checker checker(*options);
        status = checker.run();
    });
}

}  // namespace cli
