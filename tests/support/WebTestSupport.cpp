#include "tests/support/WebTestSupport.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

std::vector<std::string> liveChildren() {
    std::vector<std::string> names;
    std::string parent = std::to_string(getpid());
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!in || !std::getline(in, stat)) continue;
        auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::string name = stat.substr(stat.find('(') + 1, close - stat.find('(') - 1);
        std::istringstream rest(stat.substr(close + 2));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == parent && state != "Z") names.push_back(name);
    }
    return names;
}

}  // namespace testsupport
