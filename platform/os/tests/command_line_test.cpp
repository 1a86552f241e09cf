#include "os/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

TEST(CommandLine, StartsWithTheProgramsOwnPath) {
    std::string line = os::GetCommandLine();
    ASSERT_FALSE(line.empty());
    // This test binary is started by path, so the line begins with a path that exists.
    std::string first = line[0] == '"' ? line.substr(1, line.find('"', 1) - 1)
                                       : line.substr(0, line.find(' '));
    EXPECT_EQ(0, ::access(first.c_str(), R_OK)) << line;
}

TEST(CommandLine, TestingOverrideAndRestore) {
    std::string real = os::GetCommandLine();
    os::SetCommandLineForTesting("\"C:\\Program Files\\setup.exe\" /x");
    EXPECT_EQ("\"C:\\Program Files\\setup.exe\" /x", os::GetCommandLine());
    os::SetCommandLineForTesting(nullptr);
    EXPECT_EQ(real, os::GetCommandLine());
}
