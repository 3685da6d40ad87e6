#include "game/CharaTable.h"

#include <climits>
#include <deque>
#include <memory>

#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"

namespace CharaTable {
namespace {

const std::string& emptyText() {
    static const std::string empty;
    return empty;
}

// Every table ever loaded stays alive, so texts handed out keep pointing at live memory after a reload.
struct Store {
    std::deque<Table> tables;
    const Table* current = nullptr;
};

Store& store() {
    static Store s;
    return s;
}

const Table& table() {
    Store& s = store();
    if (!s.current) {
        kite::KTFileUtils* files = kite::KTFileUtils::sharedFileUtils();
        const std::string path = files->fullPathForFilename("chara.csv");
        unsigned long size = 0;
        std::unique_ptr<unsigned char[]> data(files->getFileData(path.c_str(), "r", &size));
        std::string_view bytes;
        if (data)
            bytes = std::string_view(reinterpret_cast<const char*>(data.get()), size);
        else
            plat::logWarning("chara.csv: cannot read %s; the character table is empty", path.c_str());
        s.tables.push_back(Table::parse(bytes));
        // Said once, where the file is read: otherwise every level would silently need 0 points.
        if (data && !s.tables.back().problem.empty())
            plat::logError("chara.csv: %s %s; missing values count as 0 or empty text", path.c_str(),
                           s.tables.back().problem.c_str());
        s.current = &s.tables.back();
    }
    return *s.current;
}

int intColumn(int row, int column) {
    return toInt(table().field(row, column));
}

const char* textColumn(int row, int column) {
    return table().field(row, column).c_str();
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

Table Table::parse(std::string_view bytes) {
    Table table;
    auto fault = [&table](std::string what) {
        if (table.problem.empty()) table.problem = std::move(what);
    };
    size_t start = 0;
    const size_t headerEnd = bytes.find('z');
    if (headerEnd != std::string_view::npos)
        start = headerEnd + 1;
    else
        fault("has no header (no \"z\" anywhere)");
    for (int row = 1; row <= kRowCount; ++row) {
        const size_t end = bytes.find('z', start);
        if (end == std::string_view::npos) {
            fault("has only " + std::to_string(row - 1) + " of the " + std::to_string(kRowCount) +
                  " rows (each ends at a \"z\")");
            break;
        }
        const std::string_view line = bytes.substr(start, end - start);
        size_t pos = 0;
        int column = 0;
        for (; column < kColumnCount; ++column) {
            const size_t comma = line.find(',', pos);
            if (comma == std::string_view::npos) break;
            table.rows[row][column].assign(line.substr(pos, comma - pos));
            pos = comma + 1;
        }
        if (column < kColumnCount)
            fault("row " + std::to_string(row) + " has " + std::to_string(column) + " of the " +
                  std::to_string(kColumnCount) + " fields the game reads (each followed by \",\")");
        start = end + 1;
    }
    return table;
}

const std::string& Table::field(int row, int column) const {
    if (row < 1 || row > kRowCount || column < 0 || column >= kColumnCount) return emptyText();
    return rows[row][column];
}

int toInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

void reload() {
    store().current = nullptr;
}

int backgroundNumber(int row) {
    return intColumn(row, 2);
}
int bgmNumber(int row) {
    return intColumn(row, 3);
}
int requiredPoints(int row) {
    return intColumn(row, 9);
}
int spriteScale(int row) {
    return intColumn(row, 14);
}

const char* zukanName(int row) {
    return textColumn(row, 1);
}
const char* zukanDetail1(int row) {
    return textColumn(row, 4);
}
const char* zukanDetail2(int row) {
    return textColumn(row, 5);
}
const char* zukanDetail3(int row) {
    return textColumn(row, 6);
}
const char* zukanDetail4(int row) {
    return textColumn(row, 7);
}
const char* zukanCaption(int row) {
    return textColumn(row, 8);
}
const char* bubbleLine1(int row) {
    return textColumn(row, 11);
}
const char* bubbleLine2(int row) {
    return textColumn(row, 12);
}
const char* bubbleLine3(int row) {
    return textColumn(row, 13);
}

}  // namespace CharaTable
