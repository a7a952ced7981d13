#include "framework/stdio_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(StdioFile, ReadsLinesAcrossBufferBoundaries) {
    testing_support::TempDir dir;
    // A line longer than the internal buffer, CR LF and LF endings, no final end.
    std::string big(70000, 'a');
    std::string content = "first\r\n" + big + "\nthird\r\n\nlast";
    std::wstring path = dir.WriteFile(L"lines.txt", content);

    fw::StdioFile file;
    ASSERT_TRUE(file.Open(path, fw::StdioFile::modeRead | fw::StdioFile::typeText));
    std::wstring line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"first");
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line.size(), big.size());
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"third");
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"");
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"last");
    EXPECT_FALSE(file.ReadString(line));

    EXPECT_EQ(file.Seek(0, fw::StdioFile::SeekFrom::Begin), 0u);
    char head[5] = {};
    EXPECT_EQ(file.Read(head, 5), 5u);
    EXPECT_EQ(std::string(head, 5), "first");
    // The position seen by the caller, not the read-ahead position.
    EXPECT_EQ(file.Seek(0, fw::StdioFile::SeekFrom::Current), 5u);
    EXPECT_EQ(file.Seek(-4, fw::StdioFile::SeekFrom::End), content.size() - 4);
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"last");
}

TEST(StdioFile, MissingFileAndWriting) {
    testing_support::TempDir dir;
    fw::StdioFile missing;
    EXPECT_FALSE(missing.Open(dir.Path() + L"nothing.txt", fw::StdioFile::modeRead));
    std::wstring line;
    EXPECT_FALSE(missing.ReadString(line));

    fw::StdioFile out;
    ASSERT_TRUE(out.Open(dir.Path() + L"new.txt", fw::StdioFile::modeCreate | fw::StdioFile::modeWrite));
    ASSERT_TRUE(out.Write("x\ny", 3));
    out.Close();
    fw::StdioFile in;
    ASSERT_TRUE(in.Open(dir.Path() + L"new.txt", fw::StdioFile::modeRead));
    ASSERT_TRUE(in.ReadString(line));
    EXPECT_EQ(line, L"x");
}

} // namespace
