// duolo-mg: the command-line tool for batch and scripted use. Results are JSON on stdout; a
// failure is one line on stderr and exit status 1 (2 for bad arguments).
#include "capture/MessageSink.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include <iostream>
#include <vector>

namespace {

// Messages the model would show in a box (for example the store-time notes of a save) go to
// stderr, so that stdout holds nothing but the JSON.
class StderrSink : public duolo::MessageSink {
public:
    void showMessage(const std::string& text) override { std::cerr << "duolo-mg: " << text << '\n'; }
};

} // namespace

int main(int argc, char** argv)
{
    StderrSink sink;
    duolo::setMessageSink(&sink);

    CLI::App app{"Duolo Motion Graphs command-line tool", "duolo-mg"};
    app.require_subcommand(1);
    duolo::cli::registerProjectCommands(app);
    duolo::cli::registerGraphCommands(app);
    duolo::cli::registerPlayCommand(app);
    duolo::cli::registerImportCommands(app);
    duolo::cli::registerGraphFileCommands(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::cerr << "duolo-mg: " << e.what();
        if (app.got_subcommand("play"))
            std::cerr << " (" << duolo::cli::playUsage() << ')';
        std::cerr << '\n';
        return 2;
    } catch (const duolo::cli::CliError& e) {
        std::cerr << "duolo-mg: " << e.what() << '\n';
        return e.status;
    } catch (const std::exception& e) {
        std::cerr << "duolo-mg: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
