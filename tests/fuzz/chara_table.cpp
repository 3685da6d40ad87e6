// Character table parser: any bytes give a table of ten rows of fields, never a read outside the input;
// every field lies inside the input and holds no separator.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "game/CharaTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto table = CharaTable::Table::parse(bytes);
    for (int row = 0; row <= CharaTable::kRowCount + 1; ++row) {
        for (int column = -1; column <= CharaTable::kColumnCount; ++column) {
            const std::string& field = table.field(row, column);
            if (field.size() > size) std::abort();
            if (field.find(',') != std::string::npos || field.find('z') != std::string::npos) std::abort();
            (void)CharaTable::toInt(field);
        }
    }
    return 0;
}
