// lumatrans-cli: the conversion engine from a terminal.

#include <cstdio>
#include <string_view>

namespace {

constexpr std::string_view kUsage =
    "Usage: lumatrans-cli [--help] [--version] COMMAND [options] ...\n"
    "\n"
    "Converts, inspects and publishes images with the Lumatrans engine.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage.data(), stdout);
        return 0;
    }
    const std::string_view arg = argv[1];
    if (arg == "--help" || arg == "-h") {
        std::fputs(kUsage.data(), stdout);
        return 0;
    }
    if (arg == "--version") {
        std::printf("lumatrans-cli %s\n", LUMATRANS_VERSION);
        return 0;
    }
    std::fprintf(stderr, "lumatrans-cli: unknown command '%s'\n\n", argv[1]);
    std::fputs(kUsage.data(), stderr);
    return 2;
}
