#include "tests/game/GameTestSupport.h"

#include "game/CharaTable.h"
#include "kite/files/KTFileUtils.h"
#include "platform/storage/Bundle.h"

namespace gametest {

std::string charaRow(int n) {
    const std::string s = std::to_string(n);
    const std::string fields[15] = {
        "\n" + s,
        "name" + s,
        s,
        s,
        "d1-" + s,
        "d2-" + s,
        "d3-" + s,
        "d4-" + s,
        "caption" + s,
        std::to_string(10 * n),
        "x",
        "line1-" + s,
        "line2-" + s,
        "line3-" + s,
        std::to_string(10 + n),
    };
    std::string row;
    for (const auto& field : fields) row += field + ",";
    return row + "z";
}

std::string charaCsv() {
    std::string csv = "no,name,bg,bgm,d1,d2,d3,d4,caption,points,-,b1,b2,b3,scale,z";
    for (int n = 1; n <= 10; ++n) csv += charaRow(n);
    return csv + "\n";
}

ResourceScope::ResourceScope() {
    kite::KTFileUtils::purgeFileUtils();
    plat::Bundle::setMainResourcePath(dir_.path());
    CharaTable::reload();
}

ResourceScope::~ResourceScope() {
    CharaTable::reload();
    kite::KTFileUtils::purgeFileUtils();
    plat::Bundle::setMainResourcePath({});
}

void ResourceScope::write(const std::string& name, const std::string& bytes) {
    testsupport::writeFile(dir_.path() / name, bytes);
    // The file utilities remember resolved names; forget them with the parsed table.
    kite::KTFileUtils::sharedFileUtils()->purgeCachedEntries();
    CharaTable::reload();
}

}  // namespace gametest
