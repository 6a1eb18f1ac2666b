// Keys generated on behalf of one piece of work that may yet fail.
//
// A load generates a key for every unknown element name and for "name" and
// "attribute" values. When the load fails, nothing refers to those keys any
// more; GeneratedKeys lets it take them out of the table again, so a failed
// load leaves the table as it found it.
#ifndef VORN_MODEL_GENERATED_KEYS_H
#define VORN_MODEL_GENERATED_KEYS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <vorn/keys.h>

namespace Vorn {
namespace detail {

class GeneratedKeys {
public:
    // ItemUID::generateKey, remembering the entry when it adds one.
    KeyId generate(const std::string &name);
    // Removes every remembered entry from the table; nothing is allocated.
    // Entries are left alone when the table was replaced since
    // (copyVornKeys), as they are no longer its entries.
    void takeBack() noexcept;
    // The keys stay in the table for good.
    void keep() noexcept { forget(); }

private:
    void forget() noexcept
    {
        if (mAdded.capacity() > kKeptCapacity)
            std::vector<KeyMap::iterator>().swap(mAdded);
        mAdded.clear();
    }

    static constexpr size_t kKeptCapacity = 4096;
    std::vector<KeyMap::iterator> mAdded;
    uint64_t mTable = 0;  // which table the entries belong to
};

}  // namespace detail
}  // namespace Vorn

#endif
