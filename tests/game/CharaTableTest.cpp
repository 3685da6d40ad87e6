#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "game/CharaTable.h"
#include "platform/base/Log.h"
#include "tests/game/GameTestSupport.h"

using gametest::charaCsv;
using gametest::charaRow;

TEST(CharaTable, EveryReaderAnswersRowsOneToTen) {
    gametest::ResourceScope resources;
    resources.write("chara.csv", charaCsv());
    for (int n : {1, 5, 10}) {
        const std::string s = std::to_string(n);
        EXPECT_STREQ(CharaTable::zukanName(n), ("name" + s).c_str());
        EXPECT_EQ(CharaTable::backgroundNumber(n), n);
        EXPECT_EQ(CharaTable::bgmNumber(n), n);
        EXPECT_STREQ(CharaTable::zukanDetail1(n), ("d1-" + s).c_str());
        EXPECT_STREQ(CharaTable::zukanDetail2(n), ("d2-" + s).c_str());
        EXPECT_STREQ(CharaTable::zukanDetail3(n), ("d3-" + s).c_str());
        EXPECT_STREQ(CharaTable::zukanDetail4(n), ("d4-" + s).c_str());
        EXPECT_STREQ(CharaTable::zukanCaption(n), ("caption" + s).c_str());
        EXPECT_EQ(CharaTable::requiredPoints(n), 10 * n);
        EXPECT_STREQ(CharaTable::bubbleLine1(n), ("line1-" + s).c_str());
        EXPECT_STREQ(CharaTable::bubbleLine2(n), ("line2-" + s).c_str());
        EXPECT_STREQ(CharaTable::bubbleLine3(n), ("line3-" + s).c_str());
        EXPECT_EQ(CharaTable::spriteScale(n), 10 + n);
    }
    // Level 10 asks for row 11; rows outside the table hold nothing.
    for (int row : {0, 11, -1, INT_MAX, INT_MIN}) {
        EXPECT_EQ(CharaTable::requiredPoints(row), 0) << row;
        ASSERT_NE(CharaTable::zukanName(row), nullptr);
        EXPECT_STREQ(CharaTable::zukanName(row), "") << row;
    }
}

TEST(CharaTable, ParsesOnceAndKeepsTextsValid) {
    gametest::ResourceScope resources;
    resources.write("chara.csv", charaCsv());
    const char* first = CharaTable::bubbleLine2(3);
    EXPECT_EQ(CharaTable::bubbleLine2(3), first);
    // Changing the file does not change the answers until the table is reloaded.
    testsupport::writeFile(resources.path() / "chara.csv", "headz" + std::string(charaRow(7)));
    EXPECT_EQ(CharaTable::requiredPoints(3), 30);
    CharaTable::reload();
    EXPECT_EQ(CharaTable::requiredPoints(1), 70);
    EXPECT_STREQ(CharaTable::bubbleLine2(3), "");
    // The text handed out before the reload is still readable.
    EXPECT_STREQ(first, "line2-3");
}

TEST(CharaTable, HeaderWithoutItsOwnZSwallowsTheFirstRow) {
    std::string csv = "no,name,bg\n";
    for (int n = 1; n <= 10; ++n) csv += charaRow(n);
    const auto table = CharaTable::Table::parse(csv);
    EXPECT_EQ(table.field(1, 1), "name2");
    EXPECT_EQ(table.field(9, 1), "name10");
    EXPECT_EQ(table.field(10, 1), "");
}

TEST(CharaTable, FieldsAreVerbatimAndIntegersFollowAtoi) {
    // Row 1: integers with leading blanks, trailing letters, an empty field and a sign; texts with spaces,
    // an empty text, and anything in columns 0 and 10.
    std::string row1 =
        "\nany thing,  two words ,   12,12abc,,d2,d3,d4,caption,-7,junk; 10,,line2 , ,+3,extra,z";
    std::string csv = "header z" + row1;
    for (int n = 2; n <= 10; ++n) csv += charaRow(n);
    const auto table = CharaTable::Table::parse(csv);
    EXPECT_EQ(table.field(1, 1), "  two words ");
    EXPECT_EQ(CharaTable::toInt(table.field(1, 2)), 12);
    EXPECT_EQ(CharaTable::toInt(table.field(1, 3)), 12);
    EXPECT_EQ(table.field(1, 4), "");
    EXPECT_EQ(CharaTable::toInt(table.field(1, 9)), -7);
    EXPECT_EQ(table.field(1, 11), "");
    EXPECT_EQ(table.field(1, 12), "line2 ");
    EXPECT_EQ(table.field(1, 13), " ");
    EXPECT_EQ(CharaTable::toInt(table.field(1, 14)), 3);
    EXPECT_EQ(table.field(2, 1), "name2");

    EXPECT_EQ(CharaTable::toInt(""), 0);
    EXPECT_EQ(CharaTable::toInt("abc"), 0);
    EXPECT_EQ(CharaTable::toInt(" \t\n-"), 0);
    EXPECT_EQ(CharaTable::toInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(CharaTable::toInt("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(CharaTable::toInt("-2147483648"), INT_MIN);
}

TEST(CharaTable, ShortRowsAndMissingRowsGiveNothingWithoutDisturbingOthers) {
    // Row 2 stops after column 9; only eight rows follow it, the last without its closing "z".
    std::string csv = "hz" + charaRow(1) + "\n2,name2,2,2,a,b,c,d,e,20z";
    for (int n = 3; n <= 8; ++n) csv += charaRow(n);
    csv += "\n9,name9,9,9";
    const auto table = CharaTable::Table::parse(csv);
    EXPECT_EQ(table.field(2, 1), "name2");
    EXPECT_EQ(table.field(2, 8), "e");
    EXPECT_EQ(table.field(2, 9), "");  // no "," after it inside the row
    EXPECT_EQ(table.field(2, 14), "");
    EXPECT_EQ(table.field(3, 1), "name3");
    EXPECT_EQ(CharaTable::toInt(table.field(8, 14)), 18);
    EXPECT_EQ(table.field(9, 1), "");
    EXPECT_EQ(table.field(10, 1), "");

    for (std::string_view bytes : {std::string_view(), std::string_view("z"), std::string_view(",,,,"),
                                   std::string_view("zzzzzzzzzzzz")}) {
        const auto empty = CharaTable::Table::parse(bytes);
        for (int row = 1; row <= 10; ++row)
            for (int column = 0; column < CharaTable::kColumnCount; ++column)
                EXPECT_EQ(empty.field(row, column), "");
    }
}

TEST(CharaTable, MissingFileGivesZeroAndEmptyTexts) {
    gametest::ResourceScope resources;
    plat::LogCapture log;
    EXPECT_EQ(CharaTable::requiredPoints(1), 0);
    EXPECT_EQ(CharaTable::spriteScale(10), 0);
    ASSERT_NE(CharaTable::zukanCaption(1), nullptr);
    EXPECT_STREQ(CharaTable::zukanCaption(1), "");
    EXPECT_TRUE(log.contains("chara.csv")) << "the file utilities name the file they could not read";
}

TEST(CharaTable, ReadsTheGamesOwnTable) {
    const auto path = testsupport::sourceDir() / "assets" / "chara.csv";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no assets/chara.csv in this tree";
    const auto table = CharaTable::Table::parse(testsupport::readFile(path));
    for (int row = 1; row <= 10; ++row) {
        EXPECT_FALSE(table.field(row, 1).empty()) << row;
        EXPECT_GT(CharaTable::toInt(table.field(row, 2)), 0) << row;
        EXPECT_GT(CharaTable::toInt(table.field(row, 3)), 0) << row;
        EXPECT_GT(CharaTable::toInt(table.field(row, 14)), 0) << row;
        EXPECT_FALSE(table.field(row, 12).empty()) << row;
    }
    for (int row = 2; row <= 10; ++row) EXPECT_GT(CharaTable::toInt(table.field(row, 9)), 0) << row;
}

TEST(CharaTable, AMalformedTableNamesItsFirstFault) {
    EXPECT_EQ(CharaTable::Table::parse(charaCsv()).problem, "");
    EXPECT_EQ(CharaTable::Table::parse("no header at all").problem, "has no header (no \"z\" anywhere)");
    std::string eight = "hz";
    for (int n = 1; n <= 8; ++n) eight += charaRow(n);
    EXPECT_EQ(CharaTable::Table::parse(eight).problem, "has only 8 of the 10 rows (each ends at a \"z\")");
    std::string shortRow = "hz" + charaRow(1) + "\n2,name2,2,2,a,b,c,d,e,20z";
    for (int n = 3; n <= 10; ++n) shortRow += charaRow(n);
    EXPECT_EQ(CharaTable::Table::parse(shortRow).problem,
              "row 2 has 9 of the 15 fields the game reads (each followed by \",\")");
}

TEST(CharaTable, AMalformedFileIsReportedOnceWithItsNameAndTheValuesStayAsRead) {
    gametest::ResourceScope resources;
    resources.write("chara.csv", "No,name,bg\n1,a,1,1,x,x,x,x,x,0,-,l1,l2,l3,10,z");
    plat::LogCapture log;
    EXPECT_EQ(CharaTable::requiredPoints(2), 0);
    EXPECT_EQ(CharaTable::spriteScale(1), 0);  // the first row went into the header
    EXPECT_EQ(CharaTable::bgmNumber(3), 0);
    size_t lines = 0;
    for (const auto& line : log.lines())
        if (line.find("chara.csv") != std::string::npos) {
            ++lines;
            EXPECT_NE(line.find((resources.path() / "chara.csv").string()), std::string::npos) << line;
            EXPECT_NE(line.find("has only 0 of the 10 rows"), std::string::npos) << line;
        }
    EXPECT_EQ(lines, 1u);
}
