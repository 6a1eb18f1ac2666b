// Start-up and unload of libvorn: the static state that must exist before a
// caller can use the library, brought up in one fixed order.
#ifndef VORN_LIBRARY_INIT_H
#define VORN_LIBRARY_INIT_H

namespace Vorn {
namespace detail {

// Each step owns one piece of process-wide state; called once, in order, by
// the library's start-up object.
void initFormatTable();
void initKeyTable();
// The names of the hardware generations (isp/generation_strings.h).
void initGenerationStrings();

// At unload (and on request): gives the memory kept for the next tree back
// to the system (model/block_cache.cpp).
void releaseKeptBlocks() noexcept;

}  // namespace detail
}  // namespace Vorn

#endif
