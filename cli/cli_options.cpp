#include "cli_options.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace tessaly {

namespace Cli {
Parsed parseArguments(int argc, const char* const* argv) {
    Options options;
    CLI::App app{
        "Packs files and folders into one Markdown document for a language model: text files\n"
        "only, duplicates removed, README first, each file in a fenced code block.",
        "tessaly-pack"};
    app.add_option("PATH", options.paths,
                   "Files and folders to pack, in this order (default: the current folder)")
        ->type_name("");
    app.add_option("-o,--output", options.output,
                   "Write the document to FILE (replaced atomically) instead of standard output")
        ->option_text("FILE");
    app.add_option("--title", options.title, "Title of the document instead of the inputs' name")
        ->option_text("TEXT");
    app.add_flag("--gitignore", options.gitignore,
                 "Leave out what git ignores (.gitignore, info/exclude, core.excludesFile)");
    app.add_option("--exclude", options.excludes,
                   "Leave out paths matching PATTERN (as in a .gitignore, relative to the "
                   "common root); repeatable")
        ->option_text("PATTERN")
        ->allow_extra_args(false);
    app.add_flag("--json", options.json, "Print the figures as one JSON object on standard error");
    app.add_flag("-q,--quiet", options.quiet, "Print no summary on standard error");
    app.set_version_flag("--version", std::string("tessaly-pack ") + TESSALY_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e);
        return ExitStatus::success;
    } catch (const CLI::CallForVersion& e) {
        app.exit(e);
        return ExitStatus::success;
    } catch (const CLI::ParseError& e) {
        std::cerr << "tessaly-pack: " << e.what() << "\nTry 'tessaly-pack --help'.\n";
        return ExitStatus::usage;
    }
    return options;
}

}  // namespace Cli

}  // namespace tessaly
