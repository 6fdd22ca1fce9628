#include "cli/Commands.h"

namespace duolo::cli {

void registerGraphCommands(CLI::App&) {}

} // namespace duolo::cli
