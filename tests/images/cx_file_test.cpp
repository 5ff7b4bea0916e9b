#include <qmsupport/images/cx_file.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

TEST(CxIOFile, WithoutStreamEveryOperationGivesItsNeutralAnswer) {
    CxIOFile file;
    char buffer[4];
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.Read(buffer, 1, 4), 0u);
    EXPECT_EQ(file.Write("abcd", 1, 4), 0u);
    EXPECT_FALSE(file.Seek(0, SEEK_SET));
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_EQ(file.Size(), -1);
    EXPECT_FALSE(file.Flush());
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.Error(), -1);
    EXPECT_FALSE(file.PutC('x'));
    EXPECT_EQ(file.GetC(), -1);
}

TEST(CxIOFile, OpensThroughSystemPathsAndKeepsThePositionAcrossSize) {
    TempDir dir;
    dir.MakeDirectory("Images");
    dir.WriteText("Images/Data.bin", "0123456789");
    CxIOFile file;
    // A backslash path in another case reaches the file, as the system writes paths.
    ASSERT_TRUE(file.Open((dir.Path() + "images\\data.BIN").c_str(), "rb"));
    EXPECT_FALSE(file.Open((dir.Path() + "Images/Data.bin").c_str(), "rb"));  // already open
    EXPECT_TRUE(file.Seek(3, SEEK_SET));
    EXPECT_EQ(file.Size(), 10);
    EXPECT_EQ(file.Tell(), 3);
    EXPECT_EQ(file.GetC(), '3');
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 2, 8), 3u);  // six bytes left: three items of two
    EXPECT_STREQ(buffer, "456789");
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.Error(), 0);
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Eof());
    EXPECT_FALSE(file.Open((dir.Path() + "missing/x").c_str(), "rb"));
}

TEST(CxIOFile, AGivenStreamAndCopiesAreNeverClosed) {
    TempDir dir;
    FILE* stream = std::fopen(dir.Path("out.bin").c_str(), "w+b");
    ASSERT_NE(stream, nullptr);
    {
        CxIOFile file(stream);
        EXPECT_TRUE(file.PutC('a'));
        CxIOFile copy(file);
        EXPECT_TRUE(copy.PutC('b'));
        CxIOFile assigned;
        assigned = copy;
        EXPECT_EQ(assigned.Write("cd", 2, 1), 1u);
        EXPECT_TRUE(assigned.Close());  // a copy's Close leaves the stream open
    }
    // The stream still works after every object is gone, and is closed once, here.
    EXPECT_EQ(std::fputc('e', stream), 'e');
    EXPECT_EQ(std::fclose(stream), 0);
    EXPECT_EQ(dir.ReadText("out.bin"), "abcde");

    CxIOFile owner;
    ASSERT_TRUE(owner.Open(dir.Path("owned.bin").c_str(), "wb"));
    CxIOFile copy(owner);
    EXPECT_TRUE(copy.Close());
    EXPECT_TRUE(owner.PutC('x'));  // the copy did not close the owner's stream
}

TEST(CxMemFile, OpenGrowsAndReadsBack) {
    CxMemFile file;
    EXPECT_EQ(file.Size(), 0);
    ASSERT_TRUE(file.Open());
    EXPECT_FALSE(file.Open());  // a buffer is already held
    EXPECT_NE(file.GetBuffer(false), nullptr);
    std::string text(100000, 'x');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(file.Write(text.data(), 1000, 100), 100u);
    EXPECT_EQ(file.Size(), 100000);
    EXPECT_TRUE(file.PutC('!'));
    EXPECT_EQ(file.Size(), 100001);
    EXPECT_TRUE(file.Eof());
    ASSERT_TRUE(file.Seek(-3, SEEK_END));
    EXPECT_EQ(file.Tell(), 99998);
    EXPECT_EQ(file.GetC(), text[99998]);
    EXPECT_TRUE(file.Seek(0, SEEK_SET));
    std::string back(100001, '\0');
    EXPECT_EQ(file.Read(back.data(), 1, back.size() + 10), 100001u);
    EXPECT_EQ(back, text + "!");
    EXPECT_EQ(file.GetC(), -1);
    EXPECT_FALSE(file.Seek(-1, SEEK_SET));
    EXPECT_FALSE(file.Seek(0, 7));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.Size(), 0);
}

TEST(CxMemFile, SeekPastTheEndThenWriteFillsTheGapWithZeros) {
    CxMemFile file;
    ASSERT_TRUE(file.Open());
    EXPECT_EQ(file.Write("ab", 1, 2), 2u);
    ASSERT_TRUE(file.Seek(10, SEEK_CUR));
    EXPECT_EQ(file.Size(), 2);  // seeking alone writes nothing
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1, 1), 0u);
    EXPECT_EQ(file.Write("z", 1, 1), 1u);
    ASSERT_EQ(file.Size(), 13);
    const unsigned char* buffer = file.GetBuffer(false);
    EXPECT_EQ(std::memcmp(buffer, "ab\0\0\0\0\0\0\0\0\0\0z", 13), 0);
}

TEST(CxMemFile, AWritePastThirtyTwoBitsFailsAndWritesNothing) {
    CxMemFile file;
    ASSERT_TRUE(file.Open());
    EXPECT_EQ(file.Write("abc", 1, 3), 3u);
    ASSERT_TRUE(file.Seek(static_cast<long>(UINT32_MAX) - 1, SEEK_SET));
    EXPECT_EQ(file.Write("xyz", 1, 3), 0u);
    EXPECT_EQ(file.Write("xyz", SIZE_MAX / 2, 3), 0u);  // the byte count itself overflows
    EXPECT_EQ(file.Size(), 3);
}

TEST(CxMemFile, DetachedBuffersAndCopiesAreFreedOnce) {
    unsigned char* detached = nullptr;
    {
        CxMemFile file;
        ASSERT_TRUE(file.Open());
        file.Write("data", 1, 4);
        {
            CxMemFile copy(file);
            CxMemFile assigned;
            assigned = file;
            ASSERT_TRUE(copy.Seek(0, SEEK_SET));
            EXPECT_EQ(copy.GetC(), 'd');  // the copy reads the shared buffer...
            EXPECT_TRUE(copy.Close());    // ...and never frees it
        }
        EXPECT_EQ(std::memcmp(file.GetBuffer(false), "data", 4), 0);
        detached = file.GetBuffer(true);
        std::string more(100000, 'x');
        EXPECT_EQ(file.Write(more.data(), 1, more.size()), 0u);  // not its own to grow
    }
    // The detached buffer outlived its file and belongs to the caller (ASan sees a double free).
    EXPECT_EQ(std::memcmp(detached, "data", 4), 0);
    std::free(detached);

    unsigned char mine[8] = "1234567";
    CxMemFile wrapped(mine, 7);
    EXPECT_EQ(wrapped.Size(), 7);
    EXPECT_EQ(wrapped.GetC(), '1');
    EXPECT_TRUE(wrapped.Seek(0, SEEK_SET));
    EXPECT_EQ(wrapped.Write("ab", 1, 2), 2u);  // within the caller's block
    EXPECT_EQ(std::memcmp(mine, "ab34567", 7), 0);
    EXPECT_TRUE(wrapped.Close());  // the caller's buffer on the stack is never freed
}
