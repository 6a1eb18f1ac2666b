// Writes a graph descriptor and graph settings of a chosen size to files,
// the input for timing `vorn check` on large documents:
//
//   write_check_inputs DIR [MEGABYTES]            generated module (default 50 MB)
//   write_check_inputs DIR MEGABYTES SETTINGS.xml  the use cases of SETTINGS
//                                                  repeated under new keys
//   write_check_inputs DIR MEGABYTES SETTINGS.xml distinct
//                                                  the same, each copy with its
//                                                  own "fps" as well
//
// The first form writes DIR/descriptor.xml and DIR/settings.xml; the second
// only DIR/settings.xml (use it with the descriptor SETTINGS belongs to).
// Each copy of a use case gets a new "key" and its "description" a suffix;
// `vorn check` builds such copies once. With "distinct" the n-th round of
// copies also has n added to each "fps", so that every entry is built.
// The settings entry count goes to standard output.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "config_generator.h"

namespace {

bool writeText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

// The settings document whose <settings> entries are those of source,
// repeated in order until the text is at least size bytes long; everything
// after the last entry (the sensor modes) closes it.
bool repeatEntries(const std::string &source, size_t size, bool distinct, std::string &out, size_t &entries)
{
    const size_t first = source.find("<settings ");
    const size_t endTag = source.rfind("</settings>");
    if (first == std::string::npos || endTag == std::string::npos)
        return false;
    const size_t last = endTag + sizeof("</settings>") - 1;
    const std::string head = source.substr(0, first), block = source.substr(first, last - first),
                      tail = source.substr(last);
    out = head;
    int key = 100000;
    for (int round = 0; out.size() + tail.size() < size; ++round) {
        size_t at = 0;
        for (size_t start; (start = block.find("<settings ", at)) != std::string::npos; at = start + 1) {
            const size_t close = block.find("</settings>", start);
            if (close == std::string::npos)
                return false;
            std::string entry = block.substr(start, close + sizeof("</settings>") - 1 - start);
            const size_t keyAt = entry.find("key=\"");
            const size_t keyEnd = keyAt == std::string::npos ? keyAt : entry.find('"', keyAt + 5);
            if (keyEnd == std::string::npos)
                return false;
            entry.replace(keyAt + 5, keyEnd - keyAt - 5, std::to_string(key++));
            const size_t description = entry.find("description=\"");
            if (description != std::string::npos)
                entry.insert(entry.find('"', description + 13), "_" + std::to_string(round));
            const size_t fps = entry.find(" fps=\"");
            if (distinct && fps != std::string::npos) {
                const size_t value = fps + 6, end = entry.find('"', value);
                const long base = std::strtol(entry.c_str() + value, nullptr, 10);
                entry.replace(value, end - value, std::to_string(base + round));
            }
            out += "  " + entry + "\n";
            ++entries;
        }
    }
    out += tail;
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    const bool distinct = argc == 5 && std::string(argv[4]) == "distinct";
    if (argc < 2 || argc > 5 || (argc == 5 && !distinct)) {
        std::fprintf(stderr, "usage: %s DIR [MEGABYTES [SETTINGS.xml [distinct]]]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const long megabytes = argc >= 3 ? std::strtol(argv[2], nullptr, 10) : 50;
    if (megabytes <= 0 || megabytes > 4096) {
        std::fprintf(stderr, "%s: MEGABYTES must be 1 to 4096\n", argv[0]);
        return 2;
    }
    const size_t size = static_cast<size_t>(megabytes) << 20;
    std::string settings;
    size_t entries = 0;
    if (argc >= 4) {
        std::ifstream in(argv[3], std::ios::binary);
        std::stringstream source;
        source << in.rdbuf();
        if (!in || !repeatEntries(source.str(), size, distinct, settings, entries)) {
            std::fprintf(stderr, "%s: %s holds no settings entries\n", argv[0], argv[3]);
            return 2;
        }
    } else {
        const vornbench::Document generated = vornbench::makeGraphSettings(size);
        settings = generated.text;
        entries = generated.settingsEntries;
        if (!writeText(dir + "/descriptor.xml", vornbench::makeGraphDescriptor().text)) {
            std::fprintf(stderr, "%s: cannot write to %s\n", argv[0], dir.c_str());
            return 2;
        }
    }
    if (!writeText(dir + "/settings.xml", settings)) {
        std::fprintf(stderr, "%s: cannot write to %s\n", argv[0], dir.c_str());
        return 2;
    }
    std::printf("%zu settings entries, %zu bytes of settings\n", entries, settings.size());
    return 0;
}
