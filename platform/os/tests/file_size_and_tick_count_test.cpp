#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "os/file_size.h"
#include "os/tick_count.h"

TEST(FileSize, GivesTheSizeOfExistingFilesOnly) {
    char path[] = "/tmp/fszXXXXXX";
    int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(7, ::write(fd, "1234567", 7));
    ::close(fd);
    EXPECT_EQ(std::optional<uint32_t>(7u), os::FileSizeLow32(path));
    // The system's path form: backslashes name the same file.
    std::string windowsForm = path;
    for (char& c : windowsForm)
        if (c == '/') c = '\\';
    EXPECT_EQ(std::optional<uint32_t>(7u), os::FileSizeLow32(windowsForm.c_str()));
    ::unlink(path);

    EXPECT_FALSE(os::FileSizeLow32(path).has_value());
    EXPECT_FALSE(os::FileSizeLow32("/tmp").has_value());
    EXPECT_FALSE(os::FileSizeLow32("").has_value());
    EXPECT_FALSE(os::FileSizeLow32(nullptr).has_value());
}

TEST(TickCount, RunsForwardAndCanBeReplaced) {
    uint32_t a = os::GetTickCount();
    ::usleep(20000);
    uint32_t b = os::GetTickCount();
    EXPECT_GE(uint32_t(b - a), 15u);  // wrap-safe difference
    EXPECT_LT(uint32_t(b - a), 5000u);

    uint32_t fake = 41;
    os::SetTickCountSourceForTesting([&] { return ++fake; });
    EXPECT_EQ(42u, os::GetTickCount());
    EXPECT_EQ(43u, os::GetTickCount());
    os::SetTickCountSourceForTesting({});
    EXPECT_LT(uint32_t(os::GetTickCount() - b), 5000u);  // the real clock again
}
