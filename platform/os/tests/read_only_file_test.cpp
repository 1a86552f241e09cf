#include "os/read_only_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

TEST(ReadOnlyFile, SeeksReadsAndStopsAtTheEnd) {
    char path[] = "/tmp/rofXXXXXX";
    int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(10, ::write(fd, "0123456789", 10));
    ::close(fd);

    os::ReadOnlyFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(10u, file.Size());
    char buf[8] = {};
    ASSERT_TRUE(file.Seek(6));
    EXPECT_EQ(4u, file.Read(buf, sizeof buf));  // short read at the end
    EXPECT_EQ(std::string("6789"), std::string(buf, 4));
    ASSERT_TRUE(file.Seek(2));
    EXPECT_TRUE(file.ReadExact(buf, 3));
    EXPECT_FALSE(file.ReadExact(buf, 8));

    // Another reader may hold the file at the same time.
    os::ReadOnlyFile second;
    EXPECT_TRUE(second.Open(path));
    ::unlink(path);
}

TEST(ReadOnlyFile, RefusesMissingFilesAndFolders) {
    os::ReadOnlyFile file;
    EXPECT_FALSE(file.Open("/nonexistent/file"));
    EXPECT_FALSE(file.Open("/tmp"));
    EXPECT_FALSE(file.Open(""));
    EXPECT_FALSE(file.IsOpen());
    char buf[4];
    EXPECT_EQ(0u, file.Read(buf, 4));
}
