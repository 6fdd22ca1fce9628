#include "cli/Commands.h"

namespace duolo::cli {

void registerProjectCommands(CLI::App&) {}

} // namespace duolo::cli
