// Log lines of the new-version graph analysis, under the library's tag.
#ifndef VORN_ANALYSIS_ANALYSIS_LOG_H
#define VORN_ANALYSIS_ANALYSIS_LOG_H

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"

namespace Vorn {

#define VORN_ANALYSIS_LOG(level, ...) ve_log_common_debug((level), kVornTag, __VA_ARGS__)
#define logError(...) VORN_ANALYSIS_LOG(VE_LOG_ERROR, __VA_ARGS__)
#define logWarning(...) VORN_ANALYSIS_LOG(VE_LOG_WARNING, __VA_ARGS__)
#define logVerbose(...) VORN_ANALYSIS_LOG(VE_LOG_VERBOSE, __VA_ARGS__)

// A separator line of dumps.
constexpr const char *kDumpSeparator = "=======================================================";
constexpr const char *kDumpRule = "-------------------------------------------------------";

}  // namespace Vorn

#endif
