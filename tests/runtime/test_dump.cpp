// Binary dumps.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using vorn_test::LogCapture;

namespace {
const std::string kTag = "cipr_dump[XOS]";

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DumpPathGuard {
public:
    DumpPathGuard() : mSaved(g_ve_log_dump_path) {}
    ~DumpPathGuard() { std::snprintf(g_ve_log_dump_path, sizeof g_ve_log_dump_path, "%s", mSaved.c_str()); }

private:
    std::string mSaved;
};
}  // namespace

TEST(Dump, WritesFileAndReportsEveryFailure)
{
    LogCapture log;
    const std::string path = std::string(VORN_TEST_BINARY_DIR) + "/dump_plain.bin";
    const char data[] = {'a', '\0', 'b'};
    EXPECT_EQ(ve_dump_to_file(path.c_str(), data, sizeof data), err_none);
    EXPECT_EQ(readFile(path), std::string(data, 3));
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "ve_dump_to_file: successfully created dump file " + path));
    std::remove(path.c_str());

    EXPECT_EQ(ve_dump_to_file(path.c_str(), nullptr, 3), err_argument);
    EXPECT_EQ(ve_dump_to_file(path.c_str(), data, 0), err_argument);
    EXPECT_EQ(ve_dump_to_file(nullptr, data, 3), err_argument);

    const std::string missing = std::string(VORN_TEST_BINARY_DIR) + "/no/such/dir/x.bin";
    EXPECT_EQ(ve_dump_to_file(missing.c_str(), data, 3), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "ve_dump_to_file: failed to create file " + missing));

    // /dev/full accepts the open and fails the write.
    struct stat st;
    if (stat("/dev/full", &st) == 0) {
        EXPECT_EQ(ve_dump_to_file("/dev/full", data, 3), err_general);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "ve_dump_to_file: error occurs during writing file /dev/full"));
    }
}

TEST(Dump, DvsTerminalNamesAndBounds)
{
    DumpPathGuard guard;
    LogCapture log;
    std::snprintf(g_ve_log_dump_path, sizeof g_ve_log_dump_path, "%s", VORN_TEST_BINARY_DIR);
    const char data[] = "dvs";
    const struct {
        uint32_t terminal;
        const char *name;
    } terminals[] = {{16, "mv_l0"}, {17, "mv_l1"}, {18, "mv_l2"}, {23, "fe_l0"}, {24, "fe_l1"}, {25, "fe_l2"}};
    for (const auto &t : terminals) {
        const std::string file = std::string(VORN_TEST_BINARY_DIR) + "/dvs_" + t.name + "_bufid_-3.bin";
        EXPECT_EQ(ve_dump_dvs_terminal(t.terminal, -3, data, 3), err_none) << t.name;
        EXPECT_EQ(readFile(file), "dvs");
        std::remove(file.c_str());
    }

    EXPECT_EQ(ve_dump_dvs_terminal(19, 0, data, 3), err_internal);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "ve_dump_dvs_terminal: Undefined dvs terminal 19"));
    EXPECT_EQ(ve_dump_dvs_terminal(16, 0, nullptr, 3), err_argument);
    EXPECT_EQ(ve_dump_dvs_terminal(16, 0, data, 0), err_argument);

    // A dump path that leaves no room for the file name is refused, not shortened.
    std::snprintf(g_ve_log_dump_path, sizeof g_ve_log_dump_path, "%s/%s", VORN_TEST_BINARY_DIR,
                  std::string(120, 'x').c_str());
    log.clear();
    EXPECT_EQ(ve_dump_dvs_terminal(16, 1, data, 3), err_argument);
    EXPECT_FALSE(log.contains("successfully created"));
    EXPECT_TRUE(log.contains("dump file name longer than 127 bytes"));
}
