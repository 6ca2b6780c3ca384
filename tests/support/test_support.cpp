#include "support/test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace luma::test {

std::filesystem::path SourceDir() { return LUMA_SOURCE_DIR; }

std::filesystem::path TestDataDir() { return LUMA_TESTDATA_DIR; }

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumatest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so they can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + file.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TCommandResult RunCommand(const std::string& commandLine) {
    TCommandResult result;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

int RunQuiet(const std::string& commandLine) {
    return RunCommand("{ " + commandLine + "; } >/dev/null 2>&1").status;
}

bool HaveCommand(const std::string& name) { return RunQuiet("command -v " + ShellQuote(name)) == 0; }

const std::string& PillowPython() {
    static const std::string found = [] {
        const TCommandResult onPath = RunCommand("which -a python3 2>/dev/null");
        std::vector<std::string> candidates = {"/usr/bin/python3"};
        std::istringstream lines(onPath.out);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) candidates.push_back(line);
        }
        for (const std::string& python : candidates) {
            if (RunQuiet(ShellQuote(python) + " -c 'import PIL'") == 0) return python;
        }
        return std::string();
    }();
    return found;
}

std::string ShellQuote(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace luma::test
