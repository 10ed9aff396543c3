#pragma once
// Running the command-line tools that check our files from outside (flac, metaflac, sox,
// ffprobe). Tests that need one skip when it is not installed.

#include <string>

namespace quiramo::test {

// Whether an executable of that name is on the PATH.
bool haveTool(const std::string& name);

// The text quoted for the shell.
std::string shellQuote(const std::string& text);

// Runs a shell command line; its exit status (-1 when it could not run).
int runCommand(const std::string& commandLine);

// Runs a shell command line and returns what it printed on standard output.
std::string captureCommand(const std::string& commandLine);

}  // namespace quiramo::test
