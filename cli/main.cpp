// vorn: checks, inspects and builds camera configurations from the command
// line, on the public interface of libvorn and libvenvm.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "common.h"

int main(int argc, char **argv)
{
    CLI::App app("Checks, inspects and builds camera configurations (graph descriptors, graph settings, "
                 "calibration blobs, formats).",
                 "vorn");
    app.set_version_flag("--version", std::string("vorn ") + ve_dax_get_version_string());
    app.add_flag_callback(
        "-v,--verbose", [] { cli::setVerbose(true); },
        "Send the library's log lines, with level and tag, to standard error");
    app.require_subcommand(1);
    app.fallthrough();
    int status = cli::kClean;
    cli::addCheckCommand(app, status);
    cli::addDumpCommand(app, status);
    cli::addQueryCommand(app, status);
    cli::addGraphCommand(app, status);
    cli::addKernelsCommand(app, status);
    cli::addNvmCommand(app, status);
    cli::addFormatCommand(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int code = app.exit(error);
        return code == 0 ? cli::kClean : cli::kUsage;
    }
    return status;
}
