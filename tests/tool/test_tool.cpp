// The vorn tool run as a process: its output, exit statuses, JSON parsed
// back and Graphviz rendered, on the sample and on broken copies of it.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <venvm/ve_nvm.h>
#include <vorn/vorn.h>

namespace {

const std::string kDescriptor = VORN_SAMPLE_DIR "/sample_descriptor.xml";
const std::string kSettingsXml = VORN_SAMPLE_DIR "/sample_settings.xml";
const std::string kSettings = VORN_SAMPLE_DIR "/sample_settings.xml.gz";
const std::string kDescriptor6 = VORN_SAMPLE_DIR "/sample6_descriptor.xml";
const std::string kSettings6 = VORN_SAMPLE_DIR "/sample6_settings.xml.gz";

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the tool through the shell with these arguments (already quoted).
ToolRun vorn(const std::string &arguments, const std::string &pipeTo = "")
{
    const std::string errFile = VORN_TEST_BINARY_DIR "/tool_stderr.txt";
    std::string command = std::string("'") + VORN_TOOL + "' " + arguments + " 2>'" + errFile + "'";
    if (!pipeTo.empty())
        command = "set -o pipefail; " + command + " | " + pipeTo;
    ToolRun run;
    FILE *pipe = popen(("bash -c \"" + command + "\"").c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readFile(errFile);
    return run;
}

// A copy of a sample file with one piece of text replaced; line receives
// the line (from 1) where the replacement starts.
std::string brokenCopy(const std::string &source, const std::string &name, const std::string &from,
                       const std::string &to, int *line = nullptr)
{
    std::string text = readFile(source);
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at == std::string::npos)
        return "";
    text.replace(at, from.size(), to);
    if (line != nullptr)
        *line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
    const std::string path = VORN_TEST_BINARY_DIR "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string q(const std::string &path) { return "'" + path + "'"; }

TEST(Tool, GlobalOptionsAndExitStatuses)
{
    EXPECT_EQ(vorn("--help").status, 0);
    const ToolRun version = vorn("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vorn ", 0), 0u) << version.out;
    EXPECT_EQ(vorn("").status, 2);
    EXPECT_EQ(vorn("frobnicate").status, 2);
    EXPECT_EQ(vorn("graph " + q(kDescriptor) + " " + q(kSettings) + " --key 1003 width=1").status, 2);
    EXPECT_EQ(vorn("format NV12 --width 64").status, 2);
    EXPECT_EQ(vorn("dump /nonexistent/file.xml").status, 2);

    // Output to a pipe never carries colour; -v sends library lines to
    // standard error with level and tag.
    const ToolRun verbose = vorn("-v graph " + q(kDescriptor) + " " + q(kSettings) + " --key 1003");
    EXPECT_EQ(verbose.status, 0);
    EXPECT_EQ(verbose.out.find('\033'), std::string::npos);
    EXPECT_NE(verbose.err.find("warning VORN[XOS]: port raw_out has no peer"), std::string::npos) << verbose.err;
    EXPECT_EQ(vorn("graph " + q(kDescriptor) + " " + q(kSettings) + " --key 1003").err, "");
}

TEST(Tool, CheckIsCleanOnTheSample)
{
    const ToolRun run = vorn("check " + q(kDescriptor) + " " + q(kSettings));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "");
}

// Every use case of the generation-6 module builds and passes the checks,
// its kernel lists included.
TEST(Tool, CheckOnTheGeneration6Module)
{
    const ToolRun run = vorn("check " + q(kDescriptor6) + " " + q(kSettings6));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "");

    // A crop kernel whose settings do not fit the image reaching it: the
    // reason is the library's consistency error, not one of the walk lines
    // logged at error level before it.
    const std::string settings = brokenCopy(VORN_SAMPLE_DIR "/sample6_settings.xml", "crop6.xml",
                                            "<input width=\"2104\" height=\"1560\" left=\"12\"",
                                            "<input width=\"1234\" height=\"1560\" left=\"12\"");
    const ToolRun broken = vorn("check " + q(kDescriptor6) + " " + q(settings));
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.out.find("error: the kernel lists cannot be built (status -16): Consistency error in kernel "
                              "bpp_scale, res info input(1234x1560) is different than res history output(2104x1560)"),
              std::string::npos)
        << broken.out;
}

TEST(Tool, CheckReportsBrokenInputAtItsLine)
{
    int line = 0;
    const std::string syntax = brokenCopy(kSettingsXml, "syntax.xml", "<csi_be>", "<csi_be", &line);
    ToolRun run = vorn("check " + q(kDescriptor) + " " + q(syntax));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind(syntax + ":" + std::to_string(line + 1) + ":", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(": error: "), std::string::npos);

    run = vorn("check " + q(kDescriptor) + " " + q(VORN_TEST_DATA_DIR "/truncated.gz"));
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out.rfind(VORN_TEST_DATA_DIR "/truncated.gz:", 0), 0u) << run.out;

    const std::string format =
        brokenCopy(kSettingsXml, "format.xml", "<main width=\"2104\" height=\"1560\" format=\"GRBG_10\"/>",
                   "<main width=\"2104\" height=\"1560\" format=\"GRBG_11\"/>", &line);
    run = vorn("check " + q(kDescriptor) + " " + q(format));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(format + ":" + std::to_string(line) +
                           ":7: error: unknown format 'GRBG_11' of isa:main "
                           "[use case 1001]"),
              std::string::npos)
        << run.out;

    const std::string peer = brokenCopy(kSettingsXml, "peer.xml", "format=\"YUV420_8_SP\" peer=\"postview_sink\"",
                                        "format=\"YUV420_8_SP\" peer=\"no_such_sink\"", &line);
    run = vorn("check " + q(kDescriptor) + " " + q(peer));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("peer 'no_such_sink'"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[use case 2001]"), std::string::npos) << run.out;

    const std::string gap =
        brokenCopy(kDescriptor, "gap.xml", "name=\"isa_dpc\" id=\"1\"", "name=\"isa_dpc\" id=\"9\"");
    int isaLine = 0;
    brokenCopy(kDescriptor, "unused.xml", "<program_group name=\"isa\"", "<program_group name=\"isa\"", &isaLine);
    run = vorn("check " + q(gap) + " " + q(kSettings));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(gap + ":" + std::to_string(isaLine) + ":5: error: kernel ids of isa do not run from 0 to 7"),
              std::string::npos)
        << run.out;
}

TEST(Tool, CheckWarnsOnVersionsAndLocatesEntriesThatDoNotBuild)
{
    int line = 0;
    const std::string version = brokenCopy(kSettingsXml, "version.xml", "<graph_settings version=\"5.3\">",
                                           "<graph_settings version=\"6.3\">", &line);
    ToolRun run = vorn("check " + q(kDescriptor) + " " + q(version));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind(version + ":" + std::to_string(line) + ":1: warning: ", 0), 0u) << run.out;

    const std::string graph = brokenCopy(kSettingsXml, "graph.xml", "<settings key=\"1004\" id=\"100\"",
                                         "<settings key=\"1004\" id=\"999\"", &line);
    run = vorn("check " + q(kDescriptor) + " " + q(graph));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind(graph + ":" + std::to_string(line) + ":3: error: the result graph cannot be built", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("[use case 1004]\n"), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
}

TEST(Tool, GraphAsTextJsonAndGraphviz)
{
    const std::string files = q(kDescriptor) + " " + q(kSettings);
    ToolRun run = vorn("graph " + files + " width=3840 height=2160 fps=30");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Result graph 100 \"preview and video recording\" (settings 1003)"), std::string::npos);
    EXPECT_NE(run.out.find("YUV420_8_SP  'NV12' 3840x2160 12 bpp  stride  4096  buffer 13,271,040 bytes"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(vorn("graph " + files + " width=1").status, 1);

    run = vorn("graph " + files + " --key 1003 --json");
    ASSERT_EQ(run.status, 0);
    const nlohmann::json graph = nlohmann::json::parse(run.out);
    EXPECT_EQ(graph["id"], 100);
    bool found = false;
    for (const auto &node : graph["nodes"])
        for (const auto &port : node.value("ports", nlohmann::json::array()))
            if (node["name"] == "video_scaler" && port["name"] == "out") {
                found = true;
                EXPECT_EQ(port["frame"]["buffer_size"], 13271040);
                EXPECT_EQ(port["frame"]["stride"], 4096);
                EXPECT_EQ(port["peers"], nlohmann::json::array({"video_sink"}));
            } else if (node["name"] == "isa" && port["name"] == "raw_out") {
                EXPECT_EQ(port["enabled"], false);
            }
    EXPECT_TRUE(found);

    run = vorn("graph " + files + " --key 1003 --dot");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("subgraph cluster_context_2"), std::string::npos);
    EXPECT_NE(run.out.find("grey60"), std::string::npos);  // isa:raw_out is disabled
    if (std::string(VORN_DOT).empty() || std::string(VORN_DOT).find("NOTFOUND") != std::string::npos)
        GTEST_SKIP() << "dot is not installed";
    run = vorn("graph " + files + " --key 1003 --dot", "'" VORN_DOT "' -Tsvg");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("<svg"), std::string::npos);
    EXPECT_NE(run.out.find("execution context 2"), std::string::npos);
    EXPECT_NE(run.out.find("YUV420_8_SP"), std::string::npos);
}

TEST(Tool, KernelsDumpQueryFormatAndNvm)
{
    const std::string files = q(kDescriptor) + " " + q(kSettings);
    ToolRun run = vorn("kernels " + files + " --key 1003 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json streams = nlohmann::json::parse(run.out);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0]["stream"], 60000);
    EXPECT_EQ(streams[0]["program_groups"][0]["name"], "isa");
    EXPECT_EQ(streams[0]["program_groups"][0]["kernels"][0]["history"]["crop"],
              nlohmann::json::array({184, 480, 184, 480}));

    run = vorn("dump " + q(kSettings) + " --path settings:sensor");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("  mode_id: string \"binned_2x\"\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    width: int 2104\n"), std::string::npos) << run.out;
    EXPECT_EQ(vorn("dump " + q(kSettings) + " --path no:such").status, 1);

    run = vorn("query " + q(kSettings) + " description=still_13mp_raw fps=30 --strict");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "key 2002  graph 200  \"still_13mp_raw\"  description=still_13mp_raw  fps=30\n");
    EXPECT_EQ(vorn("query " + q(kSettings) + " width=1").status, 1);

    run = vorn("format NV12 --width 1920 --height 1080");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("YUV420_8_SP\n"), std::string::npos);
    EXPECT_NE(run.out.find("buffer      3110400 bytes"), std::string::npos) << run.out;
    run = vorn("format YUV420_8_SP_C --width 1920 --height 1080");
    EXPECT_NE(run.out.find("compressed  yes (DEC400)"), std::string::npos);
    EXPECT_NE(run.out.find("tile status plane 1"), std::string::npos) << run.out;
    EXPECT_EQ(vorn("format 0x4E563132").status, 0);
    EXPECT_EQ(vorn("format NOPE").status, 1);

    const std::string blob = VORN_TEST_BINARY_DIR "/short.nvm";
    std::ofstream(blob, std::ios::binary) << "\x01\x01";
    run = vorn("nvm " + q(blob) + " --json");
    EXPECT_EQ(run.status, 1);
    const nlohmann::json nvm = nlohmann::json::parse(run.out);
    EXPECT_EQ(nvm["status"], 2);
    EXPECT_EQ(nvm["message"], "the blob is too short");
    EXPECT_EQ(vorn("nvm /nonexistent.nvm").status, 2);
}

// The text of settings entry key in a settings document, from its start
// tag to its end tag.
std::string entryText(const std::string &document, int key)
{
    const size_t start = document.find("<settings key=\"" + std::to_string(key) + "\"");
    const size_t end = document.find("</settings>", start);
    if (start == std::string::npos || end == std::string::npos)
        return "";
    return document.substr(start, end + std::string("</settings>").size() - start);
}

// entry with another "key" and "description".
std::string renamed(std::string entry, int from, int to)
{
    entry.replace(entry.find("key=\"" + std::to_string(from) + "\""), 6 + std::to_string(from).size(),
                  "key=\"" + std::to_string(to) + "\"");
    const size_t description = entry.find("description=\"") + 13;
    entry.insert(description, "copy_of_");
    return entry;
}

int lineOf(const std::string &text, size_t at)
{
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

// Entries alike but for key and description are built once: each still gets
// its own line at its own place, and an entry that differs deep inside is
// not taken for one of them.
TEST(Tool, CheckReportsEveryEntryOfAlikeEntriesAtItsOwnPlace)
{
    const std::string brokenMain = "<main width=\"2104\" height=\"1560\" format=\"GRBG_11\"/>";
    const std::string original = readFile(kSettingsXml);
    std::string text = readFile(
        brokenCopy(kSettingsXml, "alike.xml", "<main width=\"2104\" height=\"1560\" format=\"GRBG_10\"/>", brokenMain));
    const std::string copies = "  " + renamed(entryText(text, 1001), 1001, 1901) + "\n  " +
                               renamed(entryText(original, 1001), 1001, 1902) + "\n  " +
                               renamed(entryText(text, 1001), 1001, 1903) + "\n";
    text.insert(text.find("  <sensor_modes"), copies);
    const std::string path = VORN_TEST_BINARY_DIR "/alike.xml";
    std::ofstream(path, std::ios::binary) << text;

    const ToolRun run = vorn("check " + q(kDescriptor) + " " + q(path));
    EXPECT_EQ(run.status, 1);
    std::string expected;
    for (int key : {1001, 1901, 1903}) {
        const size_t entry = text.find("<settings key=\"" + std::to_string(key) + "\"");
        const size_t main = text.find(brokenMain, entry);
        const std::string where = path + ":" + std::to_string(lineOf(text, main)) + ":7: error: ";
        expected += where + "unknown format 'GRBG_11' of isa:main [use case " + std::to_string(key) + "]\n";
        if (key == 1001)  // the descriptor's own line shows once, with the first use case
            expected += kDescriptor + ":82:7: error: unknown format 'GRBG_11' of bayer_pp:input [use case 1001]\n";
    }
    EXPECT_EQ(run.out, expected);
}

// Exit statuses and places of problems in either document.
TEST(Tool, CheckStatusesAndPlacesInBothDocuments)
{
    EXPECT_EQ(vorn("check " + q(kDescriptor) + " /nonexistent/settings.xml").status, 2);
    EXPECT_EQ(vorn("check " + q(kDescriptor)).status, 2);

    // A syntax error in the descriptor, at the loader's line and column.
    const std::string descriptor = readFile(kDescriptor);
    const size_t isa = descriptor.find("<program_group name=\"isa\"");
    ASSERT_NE(isa, std::string::npos);
    const std::string syntax =
        brokenCopy(kDescriptor, "syntax_descriptor.xml", "<program_group name=\"isa\"", "<program_group name=isa");
    ToolRun run = vorn("check " + q(syntax) + " " + q(kSettings));
    EXPECT_EQ(run.status, 1);
    const size_t lineStart = descriptor.rfind('\n', isa) + 1;
    const std::string column = std::to_string(isa - lineStart + std::string("<program_group name=").size() + 1);
    EXPECT_EQ(run.out.rfind(syntax + ":" + std::to_string(lineOf(descriptor, isa)) + ":" + column + ": error: ", 0), 0u)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);

    // Both documents broken: both reported, one line each.
    const std::string badSettings = brokenCopy(kSettingsXml, "syntax_settings.xml", "<csi_be>", "<csi_be");
    run = vorn("check " + q(syntax) + " " + q(badSettings));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_NE(run.out.find(badSettings + ":"), std::string::npos);
}

TEST(Tool, QueryStrictMatchesEveryItemLooseAnyOne)
{
    const ToolRun strict = vorn("query " + q(kSettings) + " width=1920 fps=60 --strict");
    EXPECT_EQ(strict.status, 0);
    EXPECT_EQ(strict.out, "key 1004  graph 100  \"video_1080p60\"  width=1920  fps=60\n");

    // Loose: any item matches; an item an entry lacks shows as "(none)".
    const ToolRun loose = vorn("query " + q(kSettings) + " fps=60 description=still_13mp sensor:no_such=1");
    EXPECT_EQ(loose.status, 0);
    EXPECT_EQ(loose.out,
              "key 1004  graph 100  \"video_1080p60\"  fps=60  description=video_1080p60  sensor:no_such=(none)\n"
              "key 2001  graph 200  \"still_13mp\"  fps=30  description=still_13mp  sensor:no_such=(none)\n");

    EXPECT_EQ(vorn("query " + q(kSettings) + " fps").status, 2);
    EXPECT_EQ(vorn("query /nonexistent.xml fps=30").status, 2);
}

// The library's own answers for one use case of the sample.
struct LibraryGraph {
    std::unique_ptr<Vorn::IGraphConfig> descriptor;
    std::unique_ptr<Vorn::IGraphConfig> settings;
    Vorn::GraphQueryManager manager;
    Vorn::IGraphConfig *root = nullptr;

    explicit LibraryGraph(int key, const std::string &descriptorFile = kDescriptor,
                          const std::string &settingsFile = kSettings)
    {
        Vorn::VornParser parser;
        Vorn::IGraphConfig *tree = nullptr;
        parser.parseVornXmlFile(descriptorFile, &tree);
        descriptor.reset(tree);
        tree = nullptr;
        parser.parseVornXmlFile(settingsFile, &tree);
        settings.reset(tree);
        manager.setGraphDescriptor(descriptor.get());
        manager.setGraphSettings(settings.get());
        Vorn::GraphConfigList found;
        manager.queryGraphs({{Vorn::ItemUID("key"), std::to_string(key)}}, found, true);
        if (found.size() == 1 && manager.createGraph(found.front(), &root) != err_none) {
            manager.destroyGraph(root);
            root = nullptr;
        }
    }
    ~LibraryGraph() { manager.destroyGraph(root); }
};

TEST(Tool, GraphJsonAgreesWithTheLibrary)
{
    for (int key : {1003, 2002}) {
        SCOPED_TRACE(key);
        const ToolRun run =
            vorn("graph " + q(kDescriptor) + " " + q(kSettings) + " --key " + std::to_string(key) + " --json");
        ASSERT_EQ(run.status, 0) << run.err;
        const nlohmann::json graph = nlohmann::json::parse(run.out);
        const LibraryGraph library(key);
        ASSERT_NE(library.root, nullptr);
        EXPECT_EQ(graph["settings_key"], key);
        size_t frames = 0, ports = 0;
        for (const auto &node : graph["nodes"]) {
            const Vorn::IGraphConfig *item = library.root->getDescendantByString(node["name"].get<std::string>());
            ASSERT_NE(item, nullptr) << node["name"];
            for (const auto &port : node.value("ports", nlohmann::json::array())) {
                ++ports;
                const Vorn::IGraphConfig *libraryPort = item->getDescendantByString(port["name"].get<std::string>());
                ASSERT_NE(libraryPort, nullptr);
                uint32_t enabled = 0, uid = 0, width = 0, height = 0, fourcc = 0, stride = 0, bpp = 0;
                Vorn::GraphCameraUtil::portGetInfo(libraryPort, enabled, uid);
                EXPECT_EQ(port["enabled"], enabled != 0) << port;
                if (!port.contains("frame"))
                    continue;
                ++frames;
                ASSERT_EQ(
                    Vorn::GraphCameraUtil::portGetFormat(libraryPort, enabled, uid, width, height, fourcc, stride, bpp),
                    err_none);
                VornFormats::ve_format_t format;
                ASSERT_EQ(VornFormats::getFormatByFourcc(fourcc, format), err_none);
                const nlohmann::json &frame = port["frame"];
                EXPECT_EQ(frame["format"], format.name);
                EXPECT_EQ(frame["width"], width);
                EXPECT_EQ(frame["height"], height);
                EXPECT_EQ(frame["stride"], stride);
                EXPECT_EQ(frame["bpp"], bpp);
                EXPECT_EQ(frame["buffer_size"], VornFormats::calculateBufferSize(format, width, height, stride));
            }
        }
        EXPECT_GT(frames, 8u);
        EXPECT_GT(ports, frames);  // statistics and disabled ports carry no frame
    }
}

// Both modules: the first-version one orders a program group's records by
// kernel id, the generation-6 one by the group's children; either way the
// tool prints the library's records in their order, every resolution info
// included.
TEST(Tool, KernelsJsonAgreesWithTheLibrary)
{
    for (const auto &module : {std::make_pair(kDescriptor, kSettings), std::make_pair(kDescriptor6, kSettings6)}) {
        SCOPED_TRACE(module.first);
        const ToolRun run = vorn("kernels " + q(module.first) + " " + q(module.second) + " --key 2002 --json");
        ASSERT_EQ(run.status, 0) << run.err;
        const nlohmann::json streams = nlohmann::json::parse(run.out);
        const LibraryGraph library(2002, module.first, module.second);
        ASSERT_NE(library.root, nullptr);
        Vorn::TolKorUtils kor;
        ASSERT_EQ(kor.initKorUtils(library.root), err_none);
        std::vector<int32_t> ids;
        kor.getStreamIds(ids, false);
        ASSERT_EQ(streams.size(), ids.size());
        size_t kernels = 0;
        size_t infos = 0;
        for (const auto &stream : streams) {
            ve_isp_tol_program_group context{};
            kor.getProgramGroup(stream["stream"].get<int32_t>(), context);
            EXPECT_EQ(stream["run_kernels"], context.kernel_count);
            for (const auto &group : stream["program_groups"]) {
                ve_isp_tol_program_group records{};
                ASSERT_EQ(
                    kor.getProgramGroup(library.root->getDescendantByString(group["name"].get<std::string>()), records),
                    err_none);
                ASSERT_EQ(group["kernels"].size(), records.kernel_count);
                for (uint32_t i = 0; i < records.kernel_count; ++i, ++kernels) {
                    const nlohmann::json &kernel = group["kernels"][i];
                    const ve_isp_tol_run_kernels &record = records.run_kernels[i];
                    EXPECT_EQ(kernel["index"], i);
                    EXPECT_EQ(kernel["uuid"], record.kernel_uuid);
                    EXPECT_EQ(kernel["input_bpp"], record.bpp_info.input_bpp);
                    EXPECT_EQ(kernel["output_bpp"], record.bpp_info.output_bpp);
                    EXPECT_EQ(kernel["state"], record.enable == VE_ISP_TOL_KERNEL_ENABLED  ? "on"
                                               : record.enable == VE_ISP_TOL_KERNEL_BYPASS ? "bypass"
                                                                                           : "off");
                    ASSERT_NE(record.resolution_history, nullptr);
                    EXPECT_EQ(kernel["history"]["output_width"], record.resolution_history->output_width);
                    EXPECT_EQ(kernel["history"]["crop"][2], record.resolution_history->input_crop.right);
                    const uint32_t count = record.resolution_info != nullptr ? record.resolution_info_count : 0;
                    ASSERT_EQ(kernel["resolutions"].size(), count);
                    for (uint32_t r = 0; r < count; ++r, ++infos)
                        EXPECT_EQ(kernel["resolutions"][r]["output_height"], record.resolution_info[r].output_height);
                }
            }
        }
        EXPECT_GT(kernels, 10u);
        if (module.first == kDescriptor6) {  // its crop and scale kernels carry resolution infos
            EXPECT_GT(infos, 0u);
        }
        // The still use case switches the AF-statistics terminal off.
        EXPECT_NE(run.out.find("\"off\""), std::string::npos);
    }
}

// A valid blob with every section, written by libvenvm's own writer.
struct NvmRecord {
    uint16_t af[4][2] = {{1, 2}, {3, 4}, {5, 6}, {0x8000, 7}};
    uint8_t info0[2] = {3, 4};
    uint8_t info1[2] = {0xA0, 0xA1};
    uint8_t samples[2][4][35] = {};  // 7x5 grids, lowest in the centre
    uint16_t awb[4][2] = {{52, 971}, {53, 970}, {54, 969}, {55, 968}};
    ve_nvm_lsc lsc[2] = {};
    uint16_t left[4] = {1, 2, 3, 0x1234}, right[4] = {5, 6, 7, 0xFEDC};
    ve_nvm_pdaf_table table{left, right};
    uint32_t dlom[2] = {0x11223344, 0xA0B0C0D0};
    ve_nvm_pdaf pdaf{1, 2, 2, 9, &table, 2, 1, 5, dlom};
    ve_nvm_tail tail{0xDEADBEEF, 0xCAFE};
    ve_nvm nvm{};

    NvmRecord()
    {
        nvm.version = 2, nvm.revision = 7, nvm.af_count = 2, nvm.aux_byte = 0x5A, nvm.vmc_bit_depth = 10;
        nvm.light_source_count = 2, nvm.lsc_width = 7, nvm.lsc_height = 5;
        nvm.light_source_info0 = info0, nvm.light_source_info1 = info1;
        for (int i = 0; i < 4; ++i)
            nvm.af_data[i] = af[i], nvm.awb[i] = awb[i];
        for (int source = 0; source < 2; ++source) {
            lsc[source].bit_depth = 8;
            for (int channel = 0; channel < 4; ++channel) {
                for (int sample = 0; sample < 35; ++sample)
                    samples[source][channel][sample] =
                        static_cast<uint8_t>(20 + channel + std::abs(sample / 7 - 2) + std::abs(sample % 7 - 3));
                lsc[source].channel[channel] = samples[source][channel];
            }
        }
        nvm.lsc = lsc;
        nvm.pdaf_present = 1, nvm.pdaf = &pdaf;
        nvm.tail_present = 1, nvm.tail = &tail;
    }
};

TEST(Tool, NvmPrintsAValidBlobFieldByField)
{
    const NvmRecord record;
    ve_nvm_blob *blob = ve_nvm_binary_create(&record.nvm);
    ASSERT_NE(blob, nullptr);
    const std::string bytes(reinterpret_cast<const char *>(blob->data), blob->size);
    ve_nvm_binary_delete(blob);
    const std::string path = VORN_TEST_BINARY_DIR "/valid.nvm";
    std::ofstream(path, std::ios::binary) << bytes;

    ToolRun run = vorn("nvm " + q(path) + " --json");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const nlohmann::json out = nlohmann::json::parse(run.out);
    EXPECT_EQ(out["status"], 0);
    EXPECT_EQ(out["message"], "ok");
    const nlohmann::json &nvm = out["nvm"];
    EXPECT_EQ(nvm["version"], 2);
    EXPECT_EQ(nvm["revision"], 1);  // the writer always writes revision 1
    EXPECT_EQ(nvm["aux_byte"], 0x5A);
    EXPECT_EQ(nvm["vmc_bit_depth"], 10);
    EXPECT_EQ(nvm["af"]["count"], 2);
    EXPECT_EQ(nvm["af"]["data"][3], nlohmann::json::array({0x8000, 7}));
    const nlohmann::json &sources = nvm["light_sources"];
    EXPECT_EQ(sources["count"], 2);
    EXPECT_EQ(sources["info0"], nlohmann::json::array({3, 4}));
    EXPECT_EQ(sources["info1"], nlohmann::json::array({0xA0, 0xA1}));
    EXPECT_EQ(sources["awb"][0], nlohmann::json::array({52, 971}));
    EXPECT_EQ(sources["awb"][3], nlohmann::json::array({55, 968}));
    EXPECT_EQ(sources["lsc_width"], 7);
    EXPECT_EQ(sources["lsc_height"], 5);
    EXPECT_EQ(sources["lsc"][1]["bit_depth"], 8);
    EXPECT_EQ(nvm["pdaf"]["tables"], 1);
    EXPECT_EQ(nvm["pdaf"]["grid_width"], 2);
    EXPECT_EQ(nvm["pdaf"]["dlom_width"], 2);
    EXPECT_EQ(nvm["pdaf"]["dlom_height"], 1);
    EXPECT_EQ(nvm["tail"]["value32"], 0xDEADBEEFu);
    EXPECT_EQ(nvm["tail"]["value16"], 0xCAFE);

    run = vorn("nvm " + q(path));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("message: \"ok\"\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\nstatus: 0\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  version: 2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    info1: 160 161\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    value32: 3735928559\n"), std::string::npos) << run.out;

    // One byte changed: the checksum no longer matches, and nothing is shown as parsed.
    std::string corrupt = bytes;
    corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x40);
    std::ofstream(path, std::ios::binary) << corrupt;
    run = vorn("nvm " + q(path) + " --json");
    EXPECT_EQ(run.status, 1);
    const nlohmann::json failed = nlohmann::json::parse(run.out);
    EXPECT_NE(failed["status"], 0);
    EXPECT_FALSE(failed.contains("nvm"));
}

TEST(Tool, VerboseLinesGoToStandardErrorAndColourOnlyToATerminal)
{
    const std::string arguments = "graph " + q(kDescriptor) + " " + q(kSettings) + " --key 1003";
    const ToolRun quiet = vorn(arguments);
    const ToolRun verbose = vorn("-v " + arguments);
    EXPECT_EQ(verbose.out, quiet.out);
    const std::regex logLine("(error|warning|info|verbose|alloc|entry|debug) [^ ]+: .*");
    std::istringstream lines(verbose.err);
    size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_TRUE(std::regex_match(line, logLine)) << line;
    EXPECT_GT(count, 10u);
    EXPECT_NE(verbose.err.find("info VORN[XOS]: "), std::string::npos);  // not only warnings and errors

    // On a terminal (script gives the tool one) problems are coloured.
    const std::string format =
        brokenCopy(kSettingsXml, "colour.xml", "<main width=\"2104\" height=\"1560\" format=\"GRBG_10\"/>",
                   "<main width=\"2104\" height=\"1560\" format=\"GRBG_11\"/>");
    const ToolRun piped = vorn("check " + q(kDescriptor) + " " + q(format));
    EXPECT_EQ(piped.out.find('\033'), std::string::npos);
    FILE *terminal = popen(
        ("script -qec \"'" + std::string(VORN_TOOL) + "' check '" + kDescriptor + "' '" + format + "'\" /dev/null")
            .c_str(),
        "r");
    ASSERT_NE(terminal, nullptr);
    std::string shown;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, terminal)) > 0;)
        shown.append(buffer, got);
    pclose(terminal);
    EXPECT_NE(shown.find("\033[1;31merror:\033[0m"), std::string::npos) << shown;
}

}  // namespace
