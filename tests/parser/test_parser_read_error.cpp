// A read error in the middle of a plain file: fread and ferror are replaced
// for one file, which fails with EIO after its first 5000 bytes.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

namespace {

std::string gFaultyPath;
FILE *gFaulty = nullptr;
size_t gServed = 0;
bool gError = false;
constexpr size_t kFailAfter = 5000;

bool isFaulty(FILE *stream)
{
    if (stream == gFaulty)
        return true;
    char link[64];
    char target[PATH_MAX] = {};
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0 || gFaultyPath != std::string(target, static_cast<size_t>(length)))
        return false;
    gFaulty = stream;
    gServed = 0;
    gError = false;
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) size_t fread(void *buffer, size_t size, size_t count, FILE *stream)
{
    using Fread = size_t (*)(void *, size_t, size_t, FILE *);
    static const auto real = reinterpret_cast<Fread>(dlsym(RTLD_NEXT, "fread"));
    if (size != 1 || !isFaulty(stream))
        return real(buffer, size, count, stream);
    if (gServed + count > kFailAfter) {
        count = kFailAfter - gServed;
        gError = true;
        errno = EIO;
    }
    const size_t got = real(buffer, 1, count, stream);
    gServed += got;
    return got;
}

extern "C" __attribute__((visibility("default"))) int ferror(FILE *stream)
{
    using Ferror = int (*)(FILE *);
    static const auto real = reinterpret_cast<Ferror>(dlsym(RTLD_NEXT, "ferror"));
    return (stream == gFaulty && gError) || real(stream);
}

TEST(ParserReadError, ErrorAfterAPartialChunkIsNotTheEnd)
{
    // The first 5000 bytes alone are a complete document.
    gFaultyPath = std::string(VORN_TEST_BINARY_DIR) + "/read_error.xml";
    std::string text = "<graph_settings version='1'><settings id='1'/></graph_settings>";
    text += std::string(20000 - text.size(), ' ');
    text += "<!-- the rest of the file -->";
    std::ofstream(gFaultyPath, std::ios::binary) << text;

    vorn_test::LogCapture log;
    Vorn::VornParser parser;
    Vorn::IGraphConfig *tree = reinterpret_cast<Vorn::IGraphConfig *>(1);
    parser.parseVornXmlFile(gFaultyPath, &tree);
    EXPECT_EQ(tree, nullptr);
    EXPECT_TRUE(gError);
    EXPECT_TRUE(log.contains("Error reading from file")) << log.dump();
    EXPECT_TRUE(log.contains(gFaultyPath + ": " + std::strerror(EIO))) << log.dump();
    EXPECT_TRUE(log.contains("Parser returned NULL!")) << log.dump();
    gFaulty = nullptr;
    std::remove(gFaultyPath.c_str());
}
