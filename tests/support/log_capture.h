// Captures the log lines of libvorn in a test, the way a host process does:
// this executable defines ve_log_common_vdebug(), which the library calls for
// every line it logs.
#ifndef VORN_TEST_LOG_CAPTURE_H
#define VORN_TEST_LOG_CAPTURE_H

#include <cstdint>
#include <string>
#include <vector>

namespace vorn_test {

struct LogLine {
    uint32_t level;
    std::string tag;
    std::string text;
};

// Lines are recorded while a LogCapture is alive (the innermost one receives
// them). With VORN_TEST_LOG set in the environment every line is also printed
// to standard error.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const std::vector<LogLine> &lines() const { return mLines; }
    void clear() { mLines.clear(); }

    // Number of lines with this exact text (and level and tag when given).
    size_t count(const std::string &text) const;
    size_t count(uint32_t level, const std::string &tag, const std::string &text) const;
    bool has(const std::string &text) const { return count(text) != 0; }
    bool has(uint32_t level, const std::string &tag, const std::string &text) const
    {
        return count(level, tag, text) != 0;
    }
    // Whether some line contains fragment.
    bool contains(const std::string &fragment) const;
    // All lines, one per row, for failure messages.
    std::string dump() const;

    void record(uint32_t level, const char *tag, const std::string &text);

private:
    LogCapture *mOuter;
    std::vector<LogLine> mLines;
};

// A line the library logged while it was being loaded (before main()), with
// the size of the key table at that moment and what the executable's
// vorn_test_startup_probe() (if it defines one) saw.
struct StartupLine {
    LogLine line;
    size_t keyTableSize;
    std::string probe;
};
const std::vector<StartupLine> &startupLines();

}  // namespace vorn_test

#endif
