#pragma once
// The commands of lumatrans-cli. Each command lives in its own file and takes the arguments that
// follow its name; it returns the process exit status (0 success, 1 a file failed, 2 usage).

#include <string>
#include <vector>

namespace luma::cli {

struct TCommand {
    const char* Name;
    const char* Summary;
    int (*Run)(const std::vector<std::string>& args);
};

int RunInfo(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunPresets(const std::vector<std::string>& args);
int RunThumbs(const std::vector<std::string>& args);

}  // namespace luma::cli
