// Where the elements of a document are: a second, light pass over the file
// that maps element paths to line and column, so that a problem found in a
// loaded tree can be shown at its place in the source. The library's trees
// keep no positions.
//
// A path names each element below the root by its "name" attribute, or by
// its lower-cased element name when it has none, joined by "/"; an element
// "settings" right below the root is "settings#KEY" with its "key".
#ifndef VORN_CLI_SOURCE_LINES_H
#define VORN_CLI_SOURCE_LINES_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <unordered_map>

namespace cli {

struct SourcePosition {
    uint32_t line = 1;
    uint32_t column = 1;
};

class SourceLines {
public:
    // Reads the file (plain or gzip) once, at the first lookup.
    explicit SourceLines(std::string file) : mFile(std::move(file)) {}

    // Position of the first element at path, or of the root when none.
    SourcePosition find(const std::string &path);
    bool contains(const std::string &path);
    // The first of the paths that exists, or the root.
    SourcePosition findFirst(std::initializer_list<std::string> paths);

private:
    void read();

    std::string mFile;
    bool mRead = false;
    std::unordered_map<std::string, SourcePosition> mPositions;
};

}  // namespace cli

#endif
