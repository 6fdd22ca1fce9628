#pragma once
// Runs the built duolo-mg with arguments and collects its exit status, stdout and stderr.

#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace duolo::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

inline std::string shellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

inline std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline CliResult runCli(const std::vector<std::string>& args)
{
    TempDir capture;
    std::string command = shellQuote(DUOLO_MG);
    for (const auto& a : args)
        command.append(" ").append(shellQuote(a));
    command.append(" >").append(shellQuote(capture.file("out").string()));
    command.append(" 2>").append(shellQuote(capture.file("err").string()));
    const int raw = std::system(command.c_str());
    CliResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(capture.file("out"));
    r.err = slurp(capture.file("err"));
    return r;
}

} // namespace duolo::test
