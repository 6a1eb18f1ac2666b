// The commands of the vorn tool. Each adds its subcommand to the tool; when
// the subcommand runs, its exit status goes to status.
#ifndef VORN_CLI_COMMANDS_H
#define VORN_CLI_COMMANDS_H

#include <CLI/CLI.hpp>

namespace cli {

void addCheckCommand(CLI::App &app, int &status);
void addDumpCommand(CLI::App &app, int &status);
void addQueryCommand(CLI::App &app, int &status);
void addGraphCommand(CLI::App &app, int &status);
void addKernelsCommand(CLI::App &app, int &status);
void addNvmCommand(CLI::App &app, int &status);
void addFormatCommand(CLI::App &app, int &status);

}  // namespace cli

#endif
