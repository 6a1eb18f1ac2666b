// The names by which a graph's "version" text names its hardware generation.
// They are process-wide and filled when the library is loaded (see
// library_init.cpp); everything that tells generations apart reads them here.
#ifndef VORN_ISP_GENERATION_STRINGS_H
#define VORN_ISP_GENERATION_STRINGS_H

#include <string>

namespace Vorn {
namespace detail {

extern std::string OKT_VER_5;  // "OKT5"
extern std::string OKT_VER_6;  // "OKT6"
extern std::string OKT_VER_7;  // "OKT7"

}  // namespace detail
}  // namespace Vorn

#endif
