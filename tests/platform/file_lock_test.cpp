#include <qmsupport/platform/file_lock.h>
#include <qmsupport/platform/file_ops.h>

#include "common/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using namespace qm::platform;

namespace {

bool IsOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

}  // namespace

TEST(UniqueFd, ClosesOnceUnlessReleased) {
    TempDir dir;
    dir.WriteText("a", "abc");
    int raw;
    {
        UniqueFd fd = OpenRegularFile(dir.Path("a"));
        ASSERT_TRUE(fd);
        raw = fd.Get();
        UniqueFd moved(std::move(fd));
        EXPECT_FALSE(fd);
        EXPECT_EQ(moved.Get(), raw);
        UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    UniqueFd fd = OpenRegularFile(dir.Path("a"));
    raw = fd.Release();
    EXPECT_FALSE(fd);
    EXPECT_TRUE(IsOpen(raw));
    fd.Reset(raw);
    fd.Reset();
    EXPECT_FALSE(IsOpen(raw));
}

TEST(UniqueFd, OpenRegularFileRefusesWhatIsNoRegularFile) {
    TempDir dir;
    dir.MakeDirectory("d");
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(OpenRegularFile(dir.Path("d")));
    EXPECT_FALSE(OpenRegularFile(dir.Path("fifo")));  // returns at once, no writer needed
    EXPECT_FALSE(OpenRegularFile(dir.Path("missing")));
    size_t size = 0;
    dir.WriteText("five", "12345");
    EXPECT_TRUE(OpenRegularFile(dir.Path("five"), &size));
    EXPECT_EQ(size, 5u);
}

TEST(FileLock, ExcludesOtherHoldersUntilReleased) {
    TempDir dir;
    const std::string path = dir.Path("run-lock");
    {
        FileLock first(path, FileLock::Mode::Try, 0640);
        ASSERT_TRUE(first.Held());
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);

        // flock is per open file, so a second lock in the same process is refused too, but
        // its file is open for reading what the holder wrote.
        ASSERT_EQ(pwrite(first.Descriptor(), "42", 2, 0), 2);
        FileLock second(path, FileLock::Mode::Try, 0640);
        EXPECT_TRUE(second.Opened());
        EXPECT_FALSE(second.Held());
        char text[3] = {};
        EXPECT_EQ(pread(second.Descriptor(), text, 2, 0), 2);
        EXPECT_STREQ(text, "42");
    }
    FileLock again(path, FileLock::Mode::Wait, 0640);
    EXPECT_TRUE(again.Held());

    FileLock nowhere(dir.Path("missing/lock"), FileLock::Mode::Try, 0600);
    EXPECT_FALSE(nowhere.Opened());
    EXPECT_FALSE(nowhere.Held());
    EXPECT_EQ(errno, ENOENT);
}
