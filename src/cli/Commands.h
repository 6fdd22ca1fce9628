#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace duolo::cli {

// Each group of subcommands registers itself on the tool's app. A subcommand's callback does
// its work, prints its JSON on stdout, and throws CliError on failure.
void registerProjectCommands(CLI::App& app);  // make-project, info, resave, poses
void registerGraphCommands(CLI::App& app);    // graph, distance, distance-map
void registerPlayCommand(CLI::App& app);      // play
void registerImportCommands(CLI::App& app);   // import
void registerGraphFileCommands(CLI::App& app); // build-graphs, graph-info

// The usage line of play, added to its argument errors.
std::string playUsage();

} // namespace duolo::cli
