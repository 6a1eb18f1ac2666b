// The vorn tool run as a process: its output, exit statuses, JSON parsed
// back and Graphviz rendered, on the sample and on broken copies of it.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

const std::string kDescriptor = VORN_SAMPLE_DIR "/sample_descriptor.xml";
const std::string kSettingsXml = VORN_SAMPLE_DIR "/sample_settings.xml";
const std::string kSettings = VORN_SAMPLE_DIR "/sample_settings.xml.gz";

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

// Every use case of the generation-6 module builds and passes the checks;
// all that may be reported is that kernel lists of new-version graphs are
// not built yet.
TEST(Tool, CheckOnTheGeneration6Module)
{
    const ToolRun run = vorn("check " + q(VORN_SAMPLE_DIR "/sample6_descriptor.xml") + " " +
                             q(VORN_SAMPLE_DIR "/sample6_settings.xml.gz"));
    std::istringstream lines(run.out);
    size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_NE(line.find(": error: the kernel lists cannot be built (status -2048)"), std::string::npos) << line;
    EXPECT_EQ(run.status, count == 0 ? 0 : 1) << run.out << run.err;
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

}  // namespace
