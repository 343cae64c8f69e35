#include <sys/stat.h>

#include <climits>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/status.h"
#include "base/text_io.h"
#include "test_support.h"

namespace tolvi {
namespace {

using test::TempDir;

std::vector<std::string> split(std::string_view line, int maxCount = 200) {
    static TokenTable table;
    int n = splitLine(line, maxCount, table);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.emplace_back(table.token[i].view());
    return out;
}

TEST(SplitLine, SeparatorsCommentsAndLineEnds) {
    using V = std::vector<std::string>;
    EXPECT_EQ(split("1.0e+00    0  5.0e-01  2.0e+00    ; rho(g/cm3), fit"),
              (V{"1.0e+00", "0", "5.0e-01", "2.0e+00"}));
    EXPECT_EQ(split("28.0855,14\t7\r\n"), (V{"28.0855", "14", "7"}));
    EXPECT_EQ(split("2.33; molar mass"), (V{"2.33"}));
    EXPECT_EQ(split(";;S  Si.mf ; leading semicolons are skipped"), (V{"S", "Si.mf"}));
    EXPECT_EQ(split(" ,, \t"), V{});
    EXPECT_EQ(split("a b c d e", 3), (V{"a", "b", "c"}));
}

TEST(SplitLine, StopsAtFiftyTokensAndLooksAt199Characters) {
    std::string many;
    for (int i = 0; i < 60; ++i) many += "1 ";
    EXPECT_EQ(split(many).size(), 50u);

    std::string longLine(198, 'x');
    longLine += "yz";  // characters 199 and 200
    auto tokens = split(longLine);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].size(), 199u);
}

TEST(SplitLine, LeavesOlderTokensBehindTheCount) {
    TokenTable table;
    splitLine("a b c", 200, table);
    EXPECT_EQ(splitLine("x", 200, table), 1);
    EXPECT_EQ(table.token[1].view(), "b");  // why readers must check the count
}

TEST(ParseReal, AcceptsTheNumberForms) {
    struct Case {
        const char* text;
        double value;
    };
    for (Case c : {Case{"1.5", 1.5},
                   {"  -2.25  ", -2.25},
                   {"+3", 3.0},
                   {"0.", 0.0},
                   {"1e5", 1e5},
                   {"1.5E-3", 1.5e-3},
                   {".5", 0.5},
                   {"-.5", -0.5},
                   {"0.1000     ", 0.1},
                   {"1.797e308", 1.797e308},
                   {"\t7\r\n", 7.0}})
        EXPECT_EQ(parseReal(c.text), c.value) << c.text;
}

TEST(ParseReal, RefusesWhatIsNotANumber) {
    for (const char* text : {"", "   ", "abc", "1.5x", "1,5", "nan", "inf", "-inf", "NaN", "0x10",
                             "1e", "1e400", "-1e400", "+-1", "--1", ".", "1 2", "e5"})
        EXPECT_THROW(parseReal(text), NumberError) << text;
}

TEST(ParseReal, MessageNamesTextAndPlace) {
    try {
        parseReal("1.0x", "in a.par, line 14");
        FAIL();
    } catch (const NumberError& e) {
        EXPECT_STREQ(e.what(), "\"1.0x\" is not a number (in a.par, line 14)");
    }
    // A NUL or another control character in the text must not cut off the place.
    try {
        parseReal(std::string_view("1\0x\x7f", 4), "in d.dat, line 3");
        FAIL();
    } catch (const NumberError& e) {
        EXPECT_STREQ(e.what(), "\"1?x?\" is not a number (in d.dat, line 3)");
    }
}

TEST(ParseInt, IntegersOnly) {
    EXPECT_EQ(parseInt(" 42 "), 42);
    EXPECT_EQ(parseInt("+7"), 7);
    EXPECT_EQ(parseInt("-3"), -3);
    EXPECT_EQ(parseInt("2147483647"), INT_MAX);
    for (const char* text : {"1.0", "1e2", "", "x", "2147483648", "-2147483649", "0x1", "+-1"})
        EXPECT_THROW(parseInt(text), NumberError) << text;
}

TEST(ParseTruncated, TruncatesTowardZeroWithinIntRange) {
    EXPECT_EQ(parseTruncated("1.9"), 1);
    EXPECT_EQ(parseTruncated("-1.9"), -1);
    EXPECT_EQ(parseTruncated("0.5e1"), 5);
    EXPECT_THROW(parseTruncated("3e9"), NumberError);
}

TEST(LineFields, MissingFieldIsAnErrorNotAStaleToken) {
    TokenTable table;
    splitLine("1 2 3 4", 200, table);
    int n = splitLine("5", 200, table);
    LineFields f(table, n, "in x.par, line 8");
    EXPECT_EQ(f.real(0), 5.0);
    try {
        f.real(1);
        FAIL();
    } catch (const NumberError& e) {
        EXPECT_STREQ(e.what(), "Missing number: 2 fields expected, 1 found (in x.par, line 8)");
    }
}

TEST(ReadLines, CountsNonBlankLinesWithTheirPhysicalNumbers) {
    TempDir dir;
    test::writeText(dir.file("a.par"), "one\r\n\r\n   \t\ntwo ; c\n\nthree");
    LineList list = readLines(dir.file("a.par"), 100);
    ASSERT_EQ(list.status, 0);
    ASSERT_EQ(list.lines.size(), 3u);
    EXPECT_EQ(list.lines[0].text, "one\r");
    EXPECT_EQ(list.lines[1].text, "two ; c");
    EXPECT_EQ(list.lines[1].lineNo, 4);
    EXPECT_EQ(list.lines[2].text, "three");
    EXPECT_EQ(list.lines[2].lineNo, 6);
    EXPECT_FALSE(list.overflow);
}

TEST(ReadLines, LongLineContinuesAsTheNextLine) {
    TempDir dir;
    std::string line(99, 'a');
    test::writeText(dir.file("a.par"), line + "bcd\n" + line + "\nz\n");
    LineList list = readLines(dir.file("a.par"), 100);
    ASSERT_EQ(list.lines.size(), 4u);
    EXPECT_EQ(list.lines[0].text, line);
    EXPECT_EQ(list.lines[1].text, "bcd");
    EXPECT_EQ(list.lines[2].text, line);  // exactly 99 characters: its line end is blank
    EXPECT_EQ(list.lines[3].text, "z");
}

TEST(ReadLines, MissingFileAndOverflow) {
    TempDir dir;
    EXPECT_EQ(readLines(dir.file("none.par"), 10).status, -1);
    test::writeText(dir.file("a.par"), "1\n2\n3\n");
    LineList list = readLines(dir.file("a.par"), 2);
    EXPECT_TRUE(list.overflow);
    EXPECT_EQ(list.lines.size(), 2u);
    EXPECT_FALSE(readLines(dir.file("a.par"), 3).overflow);
}

TEST(Paths, DirectoryAndFileName) {
    EXPECT_EQ(directoryOf("/a/b/c.par"), "/a/b/");
    EXPECT_EQ(fileNameOf("/a/b/c.par"), "c.par");
    EXPECT_EQ(directoryOf("c.par"), "");
    EXPECT_EQ(fileNameOf("c.par"), "c.par");
}

TEST(WriteFileSafely, ReplacesTheFileWhole) {
    TempDir dir;
    std::string path = dir.file("out.txt");
    test::writeText(path, "old content that is longer");
    Status s = writeFileSafely(path, "new");
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(test::readText(path), "new");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "not left private like a temporary file";
}

TEST(WriteFileSafely, FailureLeavesTheOldFileAndNoLitter) {
    TempDir dir;
    std::string path = dir.file("out.txt");
    test::writeText(path, "keep me");
    // A directory that cannot be written (root ignores permissions, so use a missing one too).
    Status missing = writeFileSafely(dir.file("no/such/dir/out.txt"), "x");
    EXPECT_EQ(missing.code, -1);
    EXPECT_NE(missing.message.find("--->Error can not write"), std::string::npos);

    Status onDir = writeFileSafely(dir.path(), "x");  // a directory cannot be replaced by a file
    EXPECT_EQ(onDir.code, -1);
    EXPECT_EQ(test::readText(path), "keep me");
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++entries;
    EXPECT_EQ(entries, 1) << "the temporary file was not removed";
}

}  // namespace
}  // namespace tolvi
