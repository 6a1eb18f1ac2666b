// The three forms of a result graph: text for people, JSON for programs and
// Graphviz for a picture.
#ifndef VORN_CLI_WRITERS_H
#define VORN_CLI_WRITERS_H

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "graph_model.h"

namespace cli {

void writeGraphText(const GraphModel &graph, std::FILE *out);
nlohmann::json graphJson(const GraphModel &graph);
void writeGraphDot(const GraphModel &graph, std::FILE *out);

// Any command's JSON, indented, to out; text that is not UTF-8 is replaced,
// never a reason to stop.
void writeJson(const nlohmann::json &value, std::FILE *out);

// 16588800 -> "16,588,800"
std::string grouped(uint64_t value);

}  // namespace cli

#endif
