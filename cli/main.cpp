// quiramo-cli: converts batches of audio files from the command line.
#include <cstdio>
#include <cstring>

#include "engine/record/Catalogue.h"

namespace {

void printCatalogue() {
    using namespace quiramo::catalogue;
    std::printf("Enhancements (code, name, may be followed by):\n");
    for (const auto& e : enhancements()) {
        std::printf("  %-6s %s", e.code, e.name);
        const uint64_t after = allowedAfter(e.value());
        std::printf("  ->");
        for (const auto& f : enhancements()) {
            if (after & f.value()) std::printf(" %s", f.code);
        }
        std::printf("\n");
    }
    std::printf("Output formats:\n");
    for (const auto& f : outputFormats()) std::printf("  %-10s %s\n", f.cliName, f.title);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0) {
        printCatalogue();
        return 0;
    }
    std::fprintf(stderr, "usage: quiramo-cli list\n");
    return 2;
}
