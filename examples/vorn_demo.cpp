// Shows the key vocabulary of the graph documents and how paths of keys are
// parsed and printed. Paths to parse can be given as arguments.
#include <cstdio>
#include <cstring>
#include <string>

#include <vorn/vorn.h>

using Vorn::ItemUID;

namespace {

void printKeyTable()
{
    std::printf("Key table: %zu entries\n\n", Vorn::vorn_key_map.size());
    std::printf("  %-20s %6s  %s\n", "name", "id", "kind");
    // In id order, the way documents and trees use them.
    std::map<uint32_t, std::string> byId;
    for (const auto &entry : Vorn::vorn_key_map)
        byId.emplace(entry.second, entry.first);
    for (const auto &entry : byId) {
        const char *kind = ItemUID::isInteger(entry.first) ? "integer attribute"
                           : entry.first >= Vorn::key_generic_keys_end ? "range marker"
                                                                        : "node / string attribute";
        std::printf("  %-20s %6u  %s\n", entry.second.c_str(), entry.first, kind);
    }
}

void printPath(const char *text)
{
    ItemUID uid(text);
    std::printf("\n\"%s\" -> [", text);
    for (size_t i = 0; i < uid.size(); ++i)
        std::printf("%s%u", i != 0 ? ", " : "", uid[i]);
    std::printf("] -> %s\n", uid.toString().c_str());
    for (size_t i = 0; i < uid.size(); ++i)
        if (uid[i] == Vorn::key_na)
            std::printf("   piece %zu is not a known key (0)\n", i + 1);
}

}  // namespace

int main(int argc, char **argv)
{
    std::printf("libvorn %s\n\n", ve_dax_get_version_string());
    printKeyTable();
    if (argc < 2) {
        printPath("port:format");
    } else {
        for (int i = 1; i < argc; ++i)
            printPath(argv[i]);
    }
    const Vorn::KeyId generated = ItemUID::generateKey("my_custom_node");
    std::printf("\nA name the table does not know gets a generated key: my_custom_node -> %u\n", generated);
    return 0;
}
