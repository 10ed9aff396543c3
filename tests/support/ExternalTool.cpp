#include "tests/support/ExternalTool.h"

#include <stdio.h>
#include <sys/wait.h>

#include <cstdlib>

namespace quiramo::test {

bool haveTool(const std::string& name) {
    return runCommand("command -v " + shellQuote(name) + " >/dev/null 2>&1") == 0;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

int runCommand(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string captureCommand(const std::string& commandLine) {
    std::string out;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

}  // namespace quiramo::test
