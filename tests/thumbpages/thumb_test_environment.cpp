// The test program installs the LZW coders as every program start does, and replaces the shell
// opener so that nothing here can open a real browser window.

#include <gtest/gtest.h>

#include "formats/lzw_coders.h"
#include "util/shell.h"

namespace {

class ThumbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        luma::InstallLzwCoders();
        luma::TShellLauncher inert;
        inert.hasHandler = [](const std::string&) { return true; };
        inert.start = [](const std::vector<std::string>&, const std::string&) { return 0; };
        inert.openCommand = {"true"};
        luma::SetDefaultShellLauncher(inert);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ThumbEnvironment);

}  // namespace
