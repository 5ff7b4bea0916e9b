#include <qmsupport/platform/file_ops.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

using namespace qm::platform;

namespace {

auto EntryCount(const std::string& directory) {
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

}  // namespace

TEST(WriteFileAtomic, CreatesAndReplacesKeepingPermissions) {
    TempDir dir;
    const std::string target = dir.Path("a.xml");
    ASSERT_TRUE(WriteFileAtomic(target, "first"));
    EXPECT_EQ(dir.ReadText("a.xml"), "first");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);

    std::string big(1 << 20, 'x');
    big[12345] = '\0';
    ASSERT_TRUE(WriteFileAtomic(target, big));
    EXPECT_EQ(dir.ReadText("a.xml"), big);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(EntryCount(dir.Path()), 1);  // no temporary file left behind

    // The longest name a file may have still gets a temporary file beside it.
    const std::string longName(255, 'n');
    ASSERT_TRUE(WriteFileAtomic(dir.Path(longName), "long"));
    EXPECT_EQ(dir.ReadText(longName), "long");
}

TEST(WriteFileAtomic, UnderADeferredFlushStillReplacesOnlyTheTargetsName) {
    TempDir dir;
    dir.WriteText("a.xml", "old");
    ASSERT_EQ(link(dir.Path("a.xml").c_str(), dir.Path("shared.xml").c_str()), 0);
    {
        const DeferredFlush outer;
        {
            const DeferredFlush inner;
            ASSERT_TRUE(WriteFileAtomic(dir.Path("a.xml"), "new"));
        }
        AtomicFile file;
        ASSERT_TRUE(file.Open(dir.Path("b.xml")));
        ASSERT_GE(std::fputs("created", file.Stream()), 0);
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(dir.ReadText("a.xml"), "new");
    EXPECT_EQ(dir.ReadText("shared.xml"), "old");  // the other name keeps the old bytes
    EXPECT_EQ(dir.ReadText("b.xml"), "created");
    EXPECT_EQ(EntryCount(dir.Path()), 3);  // no temporary file left behind
}

TEST(WriteFileAtomic, WritesThroughASymbolicLink) {
    TempDir dir;
    dir.WriteText("real.xml", "old");
    std::filesystem::create_symlink("real.xml", dir.Path("link.xml"));
    ASSERT_TRUE(WriteFileAtomic(dir.Path("link.xml"), "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.xml")));
    EXPECT_EQ(dir.ReadText("real.xml"), "new");
}

TEST(WriteFileAtomic, FailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    dir.WriteText("a.xml", "old content");
    // A file-size limit makes the write of the temporary file fail even for root.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = WriteFileAtomic(dir.Path("a.xml"), std::string(100000, 'y'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(dir.ReadText("a.xml"), "old content");
    EXPECT_EQ(EntryCount(dir.Path()), 1);
}

TEST(WriteFileAtomic, RefusesTargetsThatCannotBeFiles) {
    TempDir dir;
    dir.MakeDirectory("target.xml");
    dir.WriteText("target.xml/inner", "keep");
    EXPECT_FALSE(WriteFileAtomic(dir.Path("target.xml"), "data"));
    EXPECT_EQ(dir.ReadText("target.xml/inner"), "keep");
    EXPECT_FALSE(WriteFileAtomic(dir.Path("missing/a.xml"), "data"));
    EXPECT_FALSE(WriteFileAtomic("", "data"));
    EXPECT_EQ(EntryCount(dir.Path()), 1);
}

TEST(ReadFile, ReadsWholeFilesOnly) {
    TempDir dir;
    std::string text("a\0b", 3);
    dir.WriteText("f", text);
    std::string data = "stale";
    ASSERT_TRUE(ReadFile(dir.Path("f"), data));
    EXPECT_EQ(data, text);
    dir.WriteText("empty", "");
    ASSERT_TRUE(ReadFile(dir.Path("empty"), data));
    EXPECT_EQ(data, "");
    EXPECT_FALSE(ReadFile(dir.Path("missing"), data));
    EXPECT_FALSE(ReadFile(dir.Path(), data));
    // Neither a FIFO without writer nor an endless device may hang the read.
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadFile(dir.Path("fifo"), data));
    EXPECT_FALSE(ReadFile("/dev/zero", data));
    EXPECT_EQ(data, "");
}

TEST(RenameFile, MovesIntoDirectoriesOnlyOnceTheyExist) {
    TempDir dir;
    dir.MakeDirectory("Data");
    dir.WriteText("Data/METER1_03_2008.dat", "history");
    const std::wstring source = dir.WidePath() + L"data\\meter1_03_2008.DAT";
    const std::wstring dest = dir.WidePath() + L"DATA\\2008\\03\\METER1_03_2008.dat";

    errno = 0;
    EXPECT_NE(RenameFile(source.c_str(), dest.c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
    ASSERT_TRUE(CreateDirectories(dest.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("Data/2008/03")));
    EXPECT_FALSE(dir.Exists("Data/2008/03/METER1_03_2008.dat"));
    ASSERT_EQ(RenameFile(source.c_str(), dest.c_str()), 0);
    EXPECT_EQ(dir.ReadText("Data/2008/03/METER1_03_2008.dat"), "history");
    EXPECT_FALSE(FileExists(source.c_str()));
    EXPECT_TRUE(FileExists(dest.c_str()));

    errno = 0;
    EXPECT_NE(RenameFile(source.c_str(), dest.c_str()), 0);
    EXPECT_EQ(errno, ENOENT);  // callers tell a vanished source from other failures
}

TEST(RenameFile, NeverReplacesAnotherFile) {
    TempDir dir;
    dir.WriteText("a.xscn", "a");
    dir.WriteText("b.xscn", "b");
    errno = 0;
    EXPECT_NE(RenameFile(dir.WidePath("a.xscn").c_str(), dir.WidePath("b.xscn").c_str()), 0);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(dir.ReadText("a.xscn"), "a");
    EXPECT_EQ(dir.ReadText("b.xscn"), "b");

    // Only the exact name is in the way: a name that differs in case is a file of its own.
    ASSERT_EQ(RenameFile(dir.WidePath("A.XSCN").c_str(), dir.WidePath("B.XSCN").c_str()), 0);
    EXPECT_EQ(dir.ReadText("B.XSCN"), "a");
    EXPECT_EQ(dir.ReadText("b.xscn"), "b");
    EXPECT_EQ(EntryCount(dir.Path()), 2);
}

TEST(RenameFile, ChangesOnlyTheCaseOfAName) {
    TempDir dir;
    dir.WriteText("main.xscn", "m");
    ASSERT_EQ(RenameFile(dir.WidePath("main.xscn").c_str(), dir.WidePath("Main.XSCN").c_str()), 0);
    EXPECT_EQ(dir.ReadText("Main.XSCN"), "m");
    EXPECT_EQ(EntryCount(dir.Path()), 1);
    EXPECT_EQ(RenameFile(dir.WidePath("MAIN.xscn").c_str(), dir.WidePath("Main.XSCN").c_str()), 0);
    EXPECT_EQ(dir.ReadText("Main.XSCN"), "m");

    // Another name of the same file is still another entry.
    ASSERT_EQ(link(dir.Path("Main.XSCN").c_str(), dir.Path("copy").c_str()), 0);
    EXPECT_NE(RenameFile(dir.WidePath("copy").c_str(), dir.WidePath("Main.XSCN").c_str()), 0);
    EXPECT_EQ(EntryCount(dir.Path()), 2);
}

TEST(CreateDirectories, CreatesUpToTheLastSeparator) {
    TempDir dir;
    dir.MakeDirectory("cfg");
    EXPECT_TRUE(CreateDirectories((dir.WidePath() + L"CFG\\Styles\\New\\x.xsty").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("cfg/Styles/New")));
    EXPECT_FALSE(dir.Exists("cfg/Styles/New/x.xsty"));
    EXPECT_FALSE(dir.Exists("CFG"));
    EXPECT_TRUE(CreateDirectories(L"no-directory-part"));

    dir.WriteText("file", "x");
    EXPECT_FALSE(CreateDirectories((dir.WidePath() + L"file\\sub\\").c_str()));
}
