// A process saving hits is killed mid-stream: every hit whose save it reported must still be in the file,
// and the file must pass SQLite's quick check. The child is this same test program, started with
// POTEMARU_ANALYTICS_SAVE_LOOP naming its home and the descriptor it reports on; it never reaches gtest.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "analytics/store/RUVDataStore.h"
#include "tests/analytics/StoreTestSupport.h"

using namespace analyticstest;

namespace {

constexpr const char* kChildEnv = "POTEMARU_ANALYTICS_SAVE_LOOP";

[[noreturn]] void saveLoop(const std::string& childArgument) {
    size_t comma = childArgument.find(',');
    int fd = std::atoi(childArgument.substr(0, comma).c_str());
    plat::Paths::setHome(childArgument.substr(comma + 1));
    auto store = RUVDataStore::dataStore();
    for (int64_t i = 0;; ++i) {
        plat::Value::Dictionary parameters{{"&n", plat::Value(std::to_string(i))}};
        store->addHit(
            plat::Value(plat::Value::Dictionary{{"parameters", plat::Value(std::move(parameters))}}));
        if (!store->save()) continue;
        std::string line = std::to_string(i) + "\n";
        if (write(fd, line.data(), line.size()) < 0) std::_Exit(1);
    }
}

// Runs before gtest in the child only.
const bool kIsChild = [] {
    if (const char* childArgument = std::getenv(kChildEnv)) saveLoop(childArgument);
    return false;
}();

class HitStoreKill : public StoreTest {};

}  // namespace

TEST_F(HitStoreKill, SavedHitsSurviveSigkill) {
    ASSERT_FALSE(kIsChild);
    // Reads the reported hit numbers until enough saves were reported (or 60 s pass), then kills.
    const KilledChild child = runChildUntilKilled(kChildEnv, home.path().string(), 200, 600);
    const std::set<std::string>& reported = child.reported;
    const int status = child.status;
    ASSERT_GE(reported.size(), 200u);
    EXPECT_TRUE(WIFSIGNALED(status));

    RawDb db(file(RUVDataStore::kStoreFileName));
    EXPECT_EQ(db.scalar("PRAGMA quick_check"), "ok");
    std::set<std::string> stored;
    auto s = db.file().prepare("SELECT parameters FROM RUVHit");
    ASSERT_TRUE(s.ok());
    while (s.step() == plat::SqliteFile::kRow) {
        size_t size = 0;
        const uint8_t* blob = s.columnBlob(0, &size);
        auto p = RUVStoreContext::decodeParameters(blob, size);
        ASSERT_TRUE(p);
        stored.insert(p->find("&n")->toString());
    }
    for (const auto& n : reported) EXPECT_TRUE(stored.count(n)) << "hit " << n << " was reported saved";
}
