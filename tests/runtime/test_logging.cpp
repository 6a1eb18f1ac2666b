// Logging sink, system-log output, configuration, contexts and tracing.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <syslog.h>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using vorn_test::LogCapture;

namespace {

// The system log is replaced in this executable the same way the log sink
// is, so the line handed to it can be checked.
struct SyslogRecord {
    int priority = -1;
    std::string format;
    std::string text;
    int calls = 0;
} gSyslog;

void recordSyslog(int priority, const char *format, va_list ap)
{
    gSyslog.priority = priority;
    gSyslog.format = format;
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, format, ap);
    gSyslog.text = buffer;
    ++gSyslog.calls;
}

const std::string kTag = "VE_LOG[XOS]";

class EnvGuard {
public:
    explicit EnvGuard(const char *name) : mName(name)
    {
        const char *old = std::getenv(name);
        mHad = old != nullptr;
        if (mHad)
            mOld = old;
    }
    ~EnvGuard()
    {
        if (mHad)
            setenv(mName, mOld.c_str(), 1);
        else
            unsetenv(mName);
    }

private:
    const char *mName;
    bool mHad = false;
    std::string mOld;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void vsyslog(int priority, const char *format, va_list ap)
{
    recordSyslog(priority, format, ap);
}

extern "C" __attribute__((visibility("default"))) void __vsyslog_chk(int priority, int, const char *format, va_list ap)
{
    recordSyslog(priority, format, ap);
}

// Seen from the first log line of the library: the format table is already built.
extern "C" const char *vorn_test_startup_probe()
{
    static std::string seen;
    VornFormats::initVornFormats();
    VornFormats::ve_format_t format;
    seen = VornFormats::getFormatByFourcc(VE_FOURCC_NV12, format) == err_none ? format.name : "no format table";
    return seen.c_str();
}

TEST(Logging, LibraryStartsUpInOrderWithDefaults)
{
    // start_logging runs last at load: when its first line arrives, the key
    // table is already complete.
    const auto &startup = vorn_test::startupLines();
    ASSERT_GE(startup.size(), 2u);
    EXPECT_EQ(startup[0].line.text, "Debug level is 0x30");
    EXPECT_EQ(startup[0].line.level, VE_LOG_INFO);
    EXPECT_EQ(startup[0].line.tag, kTag);
    EXPECT_EQ(startup[0].keyTableSize, Vorn::kPredefinedKeyCount);
    EXPECT_EQ(startup[0].probe, "YUV420_8_SP");
    EXPECT_EQ(startup.back().line.text, "ve trace level is 0x0");

    EXPECT_EQ(g_ve_log_common_level, 0x30u);
    EXPECT_STREQ(ve_dax_debug_dump_path(), ".");
    EXPECT_EQ(ve_dax_debug_dump_path(), g_ve_log_dump_path);
    EXPECT_EQ(g_ve_trace_level, 0u);
    EXPECT_EQ(g_ve_dump_enabled, 0u);
    EXPECT_EQ(g_ve_burstisp_dump_enable, 0u);
    EXPECT_EQ(g_alloc_error, 0xFFFFFFFFu);
}

TEST(Logging, HostSinkReceivesEveryLine)
{
    LogCapture log;
    ve_log_common_debug(VE_LOG_ERROR, "T[XOS]", "value %d of %s", 5, "x");
    ve_log_common_debug(0x40, "T[XOS]", "any level %u", 7u);
    ASSERT_EQ(log.lines().size(), 2u) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_ERROR, "T[XOS]", "value 5 of x"));
    EXPECT_TRUE(log.has(0x40, "T[XOS]", "any level 7"));
}

TEST(Logging, ConfigValuesParseAsCNumbers)
{
    EnvGuard guard("VORN_TEST_NUMBER");
    unsetenv("VORN_TEST_NUMBER");
    EXPECT_EQ(ve_log_get_config_int32("VORN_TEST_NUMBER"), 0u);
    const struct {
        const char *text;
        uint32_t value;
    } cases[] = {{"12", 12}, {"0x1f", 31}, {"017", 15},         {"abc", 0},
                 {"", 0},    {"7xyz", 7},  {"-1", 0xFFFFFFFFu}, {"0x100000005", 5}};
    for (const auto &c : cases) {
        setenv("VORN_TEST_NUMBER", c.text, 1);
        EXPECT_EQ(ve_log_get_config_int32("VORN_TEST_NUMBER"), c.value) << c.text;
    }
    EXPECT_EQ(ve_log_get_config_int32(nullptr), 0u);
}

TEST(Logging, DebugLevelReadsEnvironmentOnRequest)
{
    EnvGuard g1(VE_ENV_DEBUG), g2(VE_ENV_STATS_DUMP), g3(VE_ENV_BURSTISP_DUMP), g4(VE_ENV_DUMP_PATH), g5(VE_ENV_TRACE);
    const uint32_t savedLevel = g_ve_log_common_level;
    std::string savedPath = g_ve_log_dump_path;

    setenv(VE_ENV_DEBUG, "0x3", 1);
    setenv(VE_ENV_STATS_DUMP, "1", 1);
    setenv(VE_ENV_BURSTISP_DUMP, "not a number", 1);
    setenv(VE_ENV_DUMP_PATH, "/tmp/dumps", 1);
    setenv(VE_ENV_TRACE, "2", 1);

    LogCapture log;
    EXPECT_EQ(ve_dax_debug_level(), 0x33u);
    EXPECT_EQ(g_ve_dump_enabled, 1u);
    EXPECT_EQ(g_ve_burstisp_dump_enable, 0u);
    EXPECT_STREQ(g_ve_log_dump_path, "/tmp/dumps");
    EXPECT_EQ(g_ve_trace_level, 2u);
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Debug level is 0x30")) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Debug dump path set to /tmp/dumps"));
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "ve trace level is 0x2"));
    const std::string version = ve_dax_get_version_string();
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Libvedax version: " + version + "\n"));
    ASSERT_EQ(version.size(), 40u);
    EXPECT_EQ(version.find_first_not_of("0123456789abcdef"), std::string::npos) << version;

    // A path longer than the buffer keeps its first 255 characters.
    std::string longPath(400, 'p');
    setenv(VE_ENV_DUMP_PATH, longPath.c_str(), 1);
    ve_log_set_debug_level();
    EXPECT_EQ(std::string(g_ve_log_dump_path), longPath.substr(0, 255));

    // An empty path is no path: the directory stays and nothing is logged.
    setenv(VE_ENV_DUMP_PATH, "", 1);
    log.clear();
    ve_log_set_debug_level();
    EXPECT_EQ(std::string(g_ve_log_dump_path), longPath.substr(0, 255));
    EXPECT_FALSE(log.contains("Debug dump path set to")) << log.dump();

    g_ve_log_common_level = savedLevel;
    g_ve_trace_level = 0;
    g_ve_dump_enabled = 0;
    std::snprintf(g_ve_log_dump_path, sizeof g_ve_log_dump_path, "%s", savedPath.c_str());
}

TEST(Logging, SystemLogLineCarriesThreadAndTagWithoutFormatting)
{
    gSyslog = SyslogRecord{};
    ve_dax_debug(VE_LOG_ERROR, "TAG[XOS]", "count %d", 3);
    EXPECT_EQ(gSyslog.priority, LOG_ERR);
    EXPECT_EQ(gSyslog.text.substr(0, 1), "[");
    EXPECT_NE(gSyslog.text.find("]:TAG[XOS]:count 3"), std::string::npos) << gSyslog.text;

    ve_dax_debug(VE_LOG_WARNING, "W", "w");
    EXPECT_EQ(gSyslog.priority, LOG_WARNING);
    ve_dax_debug(VE_LOG_ERROR | VE_LOG_WARNING, "D", "d");
    EXPECT_EQ(gSyslog.priority, LOG_DEBUG);
    ve_dax_debug(VE_LOG_INFO, "D", "d");
    EXPECT_EQ(gSyslog.priority, LOG_DEBUG);

    // Directives in a tag are text, not formatting.
    ve_dax_debug(VE_LOG_ERROR, "%s%n%x%", "value %d", 9);
    EXPECT_NE(gSyslog.text.find("]:%s%n%x%:value 9"), std::string::npos) << gSyslog.text;
    ve_dax_debug(VE_LOG_ERROR, nullptr, "no tag");
    EXPECT_NE(gSyslog.text.find("]::no tag"), std::string::npos);

    // A line cut at the buffer size never ends inside a directive.
    const size_t prefix = gSyslog.format.find("no tag");
    ASSERT_NE(prefix, std::string::npos);
    std::string longFormat(1022 - prefix, 'a');  // '%' lands on the last byte that fits
    longFormat += "%s";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    ve_dax_debug(VE_LOG_ERROR, "", longFormat.c_str(), "tail");
    EXPECT_EQ(gSyslog.format.size(), 1022u);
#pragma GCC diagnostic pop
    EXPECT_LT(gSyslog.format.size(), 1024u);
    EXPECT_EQ(gSyslog.format.find('%'), std::string::npos) << gSyslog.format;
    std::string hugeTag(5000, '%');
    ve_dax_debug(VE_LOG_ERROR, hugeTag.c_str(), "x");
    EXPECT_LT(gSyslog.format.size(), 1024u);
    EXPECT_EQ(gSyslog.calls, 8);
}

TEST(Logging, ContextNamesFromDecimalDigitPairs)
{
    const struct {
        uint32_t id;
        const char *name;
    } cases[] = {{0, "AAAA"}, {1234567, "BXTP"}, {25, "AAAZ"}, {26, "AAAA"}, {99999999, "VVVV"}, {4294967295u, "QSUR"}};
    for (const auto &c : cases) {
        auto *context = static_cast<ve_log_context *>(ve_log_create_context(c.id));
        ASSERT_NE(context, nullptr);
        EXPECT_STREQ(context->name, c.name) << c.id;
        EXPECT_EQ(context->name, context->text);
        EXPECT_EQ(std::memcmp(context->text + 4, "\0\0\0\0", 4), 0);
        ve_log_destroy_context(context);
    }
    ve_log_destroy_context(nullptr);

    const uint32_t savedError = g_alloc_error;
    g_alloc_error = g_alloc_counter;
    EXPECT_EQ(ve_log_create_context(5), nullptr);
    g_alloc_error = savedError;
}

TEST(Logging, TracingIsSilentWithoutMarker)
{
    LogCapture log;
    const uint32_t saved = g_ve_trace_level;
    g_ve_trace_level = 1;
    ve_dax_trace_begin(~uint64_t{0}, "frame");
    ve_dax_trace_end(~uint64_t{0});
    ve_trace_begin(UINT64_C(1) << 63, nullptr);
    g_ve_trace_level = saved;
    if (ve_trace_marker_fd < 0) {
        EXPECT_EQ(ve_trace_is_ready, 0u);
        EXPECT_EQ(ve_trace_enabled_tags, UINT64_C(1) << 63);
        EXPECT_TRUE(log.lines().empty()) << log.dump();
    } else {
        EXPECT_EQ(ve_trace_is_ready, 1u);
        EXPECT_EQ(ve_trace_enabled_tags, 1u);
    }
}
