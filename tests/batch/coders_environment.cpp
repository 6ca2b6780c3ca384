// Every program start installs the LZW coders; so does this test program.

#include <gtest/gtest.h>

#include "formats/lzw_coders.h"

namespace {

class CodersEnvironment : public ::testing::Environment {
public:
    void SetUp() override { luma::InstallLzwCoders(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CodersEnvironment);

}  // namespace
