// The tags with which libvorn's modules sign their log lines. Callers and
// tests filter the log by these texts, so each is written here once.
#ifndef VORN_LOG_TAGS_H
#define VORN_LOG_TAGS_H

namespace Vorn {

// Graph model, queries, result graphs and the camera utilities.
constexpr const char *kVornTag = "VORN[XOS]";
// The XML loader.
constexpr const char *kParserTag = "VORN_PARSER[XOS]";
// The format table, strides and buffer sizes.
constexpr const char *kFormatsTag = "VornFormats[XOS]";
// Format checks of the DEC400 layout.
constexpr const char *kPsysFormatTag = "XOS_PSYS_FORMAT_UTILS[XOS]";
// The DEC400 compressed buffer layout.
constexpr const char *kDec400Tag = "VE_DEC400_UTIL_WRAPPER[XOS]";
// Generation utilities and kernel lists.
constexpr const char *kLumUtilsTag = "VORN_LUM_UTILS[XOS]";
// Simulation utilities of the kernel configuration.
constexpr const char *kKorSimulationTag = "VORN_KOR_SIMULATION_UTILS[XOS]";

}  // namespace Vorn

#endif
