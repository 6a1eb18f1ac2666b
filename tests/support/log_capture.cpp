#include "log_capture.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <vorn/keys.h>

// An executable may define this to look at library state while the library
// is being loaded.
extern "C" __attribute__((weak)) const char *vorn_test_startup_probe();

namespace vorn_test {
namespace {

LogCapture *gActive = nullptr;
bool gMainStarted = false;

std::vector<StartupLine> &startupStore()
{
    static std::vector<StartupLine> lines;  // used before this file's own statics exist
    return lines;
}

bool echoToStderr()
{
    static const bool echo = std::getenv("VORN_TEST_LOG") != nullptr;
    return echo;
}

struct MainStarted {
    MainStarted() { gMainStarted = true; }
} gMarkMainStarted;

}  // namespace

LogCapture::LogCapture() : mOuter(gActive) { gActive = this; }

LogCapture::~LogCapture() { gActive = mOuter; }

void LogCapture::record(uint32_t level, const char *tag, const std::string &text)
{
    mLines.push_back({level, tag != nullptr ? tag : "", text});
}

size_t LogCapture::count(const std::string &text) const
{
    size_t n = 0;
    for (const LogLine &line : mLines)
        n += line.text == text;
    return n;
}

size_t LogCapture::count(uint32_t level, const std::string &tag, const std::string &text) const
{
    size_t n = 0;
    for (const LogLine &line : mLines)
        n += line.level == level && line.tag == tag && line.text == text;
    return n;
}

bool LogCapture::contains(const std::string &fragment) const
{
    for (const LogLine &line : mLines)
        if (line.text.find(fragment) != std::string::npos)
            return true;
    return false;
}

std::string LogCapture::dump() const
{
    std::string all;
    for (const LogLine &line : mLines)
        all += "[" + std::to_string(line.level) + "] " + line.tag + ": " + line.text + "\n";
    return all;
}

const std::vector<StartupLine> &startupLines() { return startupStore(); }

}  // namespace vorn_test

extern "C" __attribute__((visibility("default"), format(printf, 3, 0))) void
ve_log_common_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&text[0], text.size(), fmt, ap);
        text.resize(static_cast<size_t>(n));
    }
    if (vorn_test::echoToStderr())
        std::fprintf(stderr, "[%u] %s: %s\n", level, tag != nullptr ? tag : "", text.c_str());
    if (!vorn_test::gMainStarted) {
        // The library is still being loaded: record the state of its tables
        // too, so the start-up order can be checked.
        vorn_test::startupStore().push_back({{level, tag != nullptr ? tag : "", text},
                                             Vorn::vorn_key_map.size(),
                                             vorn_test_startup_probe != nullptr ? vorn_test_startup_probe() : ""});
        return;
    }
    if (vorn_test::gActive != nullptr)
        vorn_test::gActive->record(level, tag, text);
}
