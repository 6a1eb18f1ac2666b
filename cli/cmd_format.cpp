// vorn format NAME|FOURCC [--width W --height H]: an entry of the format
// table, and for a frame size its stride and buffer size.
#include <cinttypes>
#include <cstdio>

#include "commands.h"
#include "common.h"

namespace cli {
namespace {

struct FormatOptions {
    std::string format;
    uint32_t width = 0;
    uint32_t height = 0;
};

// By name first, then as four characters, then as a number ("0x4E563132").
bool findFormat(const std::string &wanted, VornFormats::ve_format_t &format)
{
    VornFormats::initVornFormats();
    if (VornFormats::getFormatByName(wanted, format) == err_none)
        return true;
    if (wanted.size() == 4 &&
        VornFormats::getFormatByFourcc(VE_FOURCC(wanted[0], wanted[1], wanted[2], wanted[3]), format) == err_none)
        return true;
    char *end = nullptr;
    const unsigned long long code = std::strtoull(wanted.c_str(), &end, 0);
    return !wanted.empty() && end != nullptr && *end == '\0' && code <= UINT32_MAX &&
           VornFormats::getFormatByFourcc(static_cast<uint32_t>(code), format) == err_none;
}

void printEntry(const VornFormats::ve_format_t &format)
{
    std::printf("%s\n", paint(format.name, "1").c_str());
    std::printf("  fourcc      '%s' (0x%08" PRIx32 ")\n", fourccText(format.fourcc).c_str(), format.fourcc);
    std::printf("  type        %s\n", format.type.c_str());
    std::printf("  bpp         %u (depth %u, %u bits stored per sample)\n", format.bpp, format.depth,
                format.storageBits);
    std::printf("  packing     %u\n", format.packing);
    std::printf("  enabled     %s\n", format.enabled ? "yes" : "no");
    std::printf("  compressed  %s\n", format.compressed ? "yes (DEC400)" : "no");
    if (!format.planes.empty()) {
        std::printf("  planes     ");
        for (const VornFormats::ve_format_plane_t &plane : format.planes)
            std::printf(" %s/%u", plane.name.c_str(), plane.bpp);
        std::printf("\n");
    }
}

void printFrame(const VornFormats::ve_format_t &format, uint32_t width, uint32_t height)
{
    const uint32_t stride = VornFormats::getBpl(format, width);
    uint32_t offsets[3] = {0, 0, 0};
    uint32_t sizes[3] = {0, 0, 0};
    const uint32_t bytes = VornFormats::calculateBufferSize(format, width, height, 0, offsets, sizes);
    std::printf("  frame       %ux%u\n", width, height);
    std::printf("  stride      %u bytes\n", stride);
    std::printf("  buffer      %u bytes%s\n", bytes, bytes == 0 ? " (does not fit in 32 bits)" : "");
    if (!format.compressed)
        return;
    for (int plane = 0; plane < 3; ++plane)
        if (sizes[plane] != 0)
            std::printf("  tile status plane %d at %u, %u bytes\n", plane, offsets[plane], sizes[plane]);
}

int runFormat(const FormatOptions &options)
{
    VornFormats::ve_format_t format;
    if (!findFormat(options.format, format)) {
        std::fprintf(stderr, "vorn: no format named or coded '%s'\n", options.format.c_str());
        return kProblems;
    }
    printEntry(format);
    if (options.width != 0 || options.height != 0)
        printFrame(format, options.width, options.height);
    return kClean;
}

}  // namespace

void addFormatCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<FormatOptions>();
    CLI::App *command = app.add_subcommand("format", "Show a format entry, and its stride and buffer size for a frame");
    command->add_option("FORMAT", options->format, "Format name (YUV420_8_SP), fourcc (NV12) or code (0x4E563132)")
        ->required();
    CLI::Option *width = command->add_option("--width", options->width, "Frame width in pixels");
    CLI::Option *height = command->add_option("--height", options->height, "Frame height in pixels");
    width->needs(height);
    height->needs(width);
    command->callback([options, &status] { status = runFormat(*options); });
}

}  // namespace cli
