// The dump path and trace level come from the environment at library load.
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

TEST(StartupEnvironment, DumpPathAndTraceLevelReadAtLoad)
{
    // The path set for this test is 301 characters: the first 255 are kept.
    const std::string expected = "/" + std::string(254, 'd');
    EXPECT_EQ(std::string(g_ve_log_dump_path), expected);
    EXPECT_EQ(g_ve_trace_level, 3u);

    bool sawPath = false;
    for (const auto &line : vorn_test::startupLines())
        sawPath |= line.line.text == "Debug dump path set to /" + std::string(300, 'd');
    EXPECT_TRUE(sawPath);
    EXPECT_EQ(vorn_test::startupLines().back().line.text, "ve trace level is 0x3");
}
