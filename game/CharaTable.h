#pragma once
// The character table "chara.csv": per level 1..10 the character's name, background and music numbers,
// catalogue texts, points needed, speech-bubble lines and scale. The file is read and parsed once, on the
// first call of any reader; later calls answer from memory.
//
// File layout: everything up to and including the first "z" is a header; then ten rows, each ending at
// its own "z". Fields within a row are separated by "," and a field counts only when a "," follows it
// inside its row. Fields are taken verbatim (no quoting, no trimming); integer fields follow atoi rules.
//
// A missing file, a missing row, a field without its "," or a row number outside 1..10 gives 0 or "".
// Returned texts are never null and stay valid for the rest of the process. Main thread only.
#include <array>
#include <string>
#include <string_view>

namespace CharaTable {

constexpr int kRowCount = 10;
constexpr int kColumnCount = 15;

int backgroundNumber(int row);  // column 2: "bg%d.png"
int bgmNumber(int row);         // column 3: "bgm%d.mp3"
int requiredPoints(int row);    // column 9: points needed to reach this level
int spriteScale(int row);       // column 14: scale in tenths

const char* zukanName(int row);     // column 1
const char* zukanDetail1(int row);  // column 4
const char* zukanDetail2(int row);  // column 5
const char* zukanDetail3(int row);  // column 6
const char* zukanDetail4(int row);  // column 7
const char* zukanCaption(int row);  // column 8
const char* bubbleLine1(int row);   // column 11
const char* bubbleLine2(int row);   // column 12
const char* bubbleLine3(int row);   // column 13

// The parsed fields of the ten rows; rows[0] is unused so that the level indexes directly.
struct Table {
    std::array<std::array<std::string, kColumnCount>, kRowCount + 1> rows;
    // What is wrong with the file when it does not follow the layout above (no header, too few rows,
    // a row with too few fields); empty when it does. Only the first fault is named.
    std::string problem;

    static Table parse(std::string_view bytes);
    // Empty for a row outside 1..10 or a column outside 0..14.
    const std::string& field(int row, int column) const;
};

// atoi rules: leading white space, an optional sign, decimal digits up to the first other character;
// saturates at the int range instead of overflowing.
int toInt(std::string_view text);

// Forgets the parsed table so the next call reads the file again (after the resources changed). Texts
// returned before stay valid.
void reload();

}  // namespace CharaTable
