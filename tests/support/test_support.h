#pragma once
// Helpers shared by every test program: where the test data lives and scratch folders.

#include <filesystem>
#include <string>

namespace luma::test {

// The project's source tree (for data files such as the help page).
std::filesystem::path SourceDir();

// The public conformance images beside the project (read-only).
std::filesystem::path TestDataDir();

// A fresh empty folder removed when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& file);

// Runs a shell command line; returns its exit status (-1 when it did not exit normally) and
// what it wrote to standard output.
struct TCommandResult {
    int status = -1;
    std::string out;
};
TCommandResult RunCommand(const std::string& commandLine);

// Runs a shell command line with its output and diagnostics thrown away; returns its exit status
// (-1 when it did not exit normally).
int RunQuiet(const std::string& commandLine);

// Whether a program of that name is on the search path.
bool HaveCommand(const std::string& name);

// The path quoted for a shell command line.
std::string ShellQuote(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

// A python3 interpreter that can import Pillow, or "" when there is none. The system interpreter
// comes first: another python3 earlier on the search path may lack the distribution's modules.
const std::string& PillowPython();

}  // namespace luma::test
