// The console program's --lint: one line a finding, and the exit code.
#include "lint_command.h"

#include "escaping.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

// A type that is clean apart from the patterns given.
std::string TypeWith(std::string_view magic, std::string_view title = "T")
{
    return "<type><magic>" + std::string(magic) + "</magic><title>" + std::string(title)
         + "</title><ext>.t</ext></type>";
}

std::string Captured(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

} // namespace

TEST(RunLint, PrintsFileLineAndMessageAndExitsWithFindings)
{
    TempDir dir;
    const auto path = dir.Signatures("<type><magic>4D5A 00</magic><title>T</title></type>");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    EXPECT_EQ(RunLint(path, out, err), LintExit::FoundIssues);
    const std::string printed = Captured(out);
    EXPECT_EQ(printed.rfind(DisplayText(path.native()) + ":4: byte token \"4D5A\"", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    std::fclose(out);
    std::fclose(err);
}

TEST(RunLint, ExitsCleanOrUnreadable)
{
    TempDir dir;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    EXPECT_EQ(RunLint(dir.Signatures(TypeWith("4D 5A 90 00")), out, err), LintExit::Clean);
    EXPECT_EQ(RunLint(dir.path / "absent.xml", out, err), LintExit::Unreadable);
    EXPECT_EQ(Captured(out), "");
    // Read from the open file: a syntax error after <dat> keeps the tree, as in a detection run.
    EXPECT_EQ(RunLint(dir.Write("late-error.xml", "<dat><types>" + TypeWith("4D") + "</types></dat>\n<x"), out, err),
              LintExit::FoundIssues);
    EXPECT_NE(Captured(out).find(":2: XML is not well-formed"), std::string::npos);
    EXPECT_NE(Captured(out).find("not affected"), std::string::npos);
    std::fclose(out);
    std::fclose(err);
}

TEST(RunLint, EveryFindingIsOneLineThatNoDocumentCanForge)
{
    // The parser's error text quotes a misplaced declaration raw, line feeds,
    // escape sequences and all.
    TempDir dir;
    const auto path = dir.Write("forged.xml", "<dat><types>" + TypeWith("4D") + "</types>\n<?xml v\n"
                                              "other.xml:1: forged finding\x1b[31m?>\n</dat>\n");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    EXPECT_EQ(RunLint(path, out, err), LintExit::FoundIssues);
    std::istringstream printed(Captured(out));
    const std::string prefix = DisplayText(path.native()) + ":";
    int lines = 0;
    for (std::string line; std::getline(printed, line); ++lines) {
        EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[prefix.size()]))) << line;
        EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) { return c > 0 && c < 0x20; })) << line;
    }
    EXPECT_EQ(lines, 1);
    std::fclose(out);
    std::fclose(err);
}
