// lumatrans-cli: the conversion engine from a terminal. This file only dispatches to the
// command files.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "formats/lzw_coders.h"

namespace {

constexpr luma::cli::TCommand kCommands[] = {
    {"convert", "convert image files with a preset (see convert --help)", luma::cli::RunConvert},
    {"presets", "list the five presets and their settings", luma::cli::RunPresets},
    {"info", "show what reading each image file finds", luma::cli::RunInfo},
    {"thumbs", "make thumbnails and HTML pages that show them (see thumbs --help)", luma::cli::RunThumbs},
};

void PrintUsage(std::FILE* to) {
    std::fputs(
        "Usage: lumatrans-cli [--help] [--version] COMMAND [options] ...\n"
        "\n"
        "Converts, inspects and publishes images with the Lumatrans engine.\n"
        "\n"
        "Options:\n"
        "  --help       show this text and exit\n"
        "  --version    show the version and exit\n"
        "\n"
        "Commands:\n",
        to);
    for (const auto& command : kCommands) std::fprintf(to, "  %-12s %s\n", command.Name, command.Summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stdout);
        return 0;
    }
    const std::string_view arg = argv[1];
    if (arg == "--help" || arg == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    if (arg == "--version") {
        std::printf("lumatrans-cli %s\n", LUMATRANS_VERSION);
        return 0;
    }
    for (const auto& command : kCommands) {
        if (arg == command.Name) {
            luma::InstallLzwCoders();
            return command.Run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "lumatrans-cli: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
