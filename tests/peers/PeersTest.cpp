// potemaru-peers end to end, and scripts/run around it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

// Made by the build: the project's version (POTEMARU_VERSION).
#include "PotemaruVersion.h"
#include "platform/media/ImageCodec.h"
#include "platform/net/Endpoints.h"
#include "platform/net/URLConnection.h"
#include "platform/storage/PropertyList.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/peers/PeerTestSupport.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

template <typename TimePoint>
int msUntil(TimePoint until) {
    return static_cast<int>(std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
               .count()));
}

// A child process with its stdout and stderr in files.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const fs::path& out,
          const std::vector<std::string>& env = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (out.string() + ".err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
        envStrings.insert(envStrings.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    // The exit status (128 + signal when killed), or -1 when it did not end within `seconds`.
    int wait(double seconds) {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        pollfd ended{static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)), POLLIN, 0};  // readable at the end
        while (status_ < 0 && std::chrono::steady_clock::now() < until) {
            int s = 0;
            if (waitpid(pid_, &s, WNOHANG) == pid_) {
                status_ = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
                break;
            }
            ::poll(&ended, 1, msUntil(until));
        }
        ::close(ended.fd);
        return status_;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Waits (bounded) for a first full line in `path`.
std::string firstLine(const fs::path& path, double seconds = 10) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pollfd changed{inotify_init1(IN_CLOEXEC | IN_NONBLOCK), POLLIN, 0};  // readable on changes in the folder
    inotify_add_watch(changed.fd, path.parent_path().c_str(), IN_CREATE | IN_MODIFY);
    std::string text = testsupport::readFile(path);
    while (text.find('\n') == std::string::npos && ::poll(&changed, 1, msUntil(until)) > 0) {
        for (char events[4096]; ::read(changed.fd, events, sizeof events) > 0;) {
        }
        text = testsupport::readFile(path);
    }
    ::close(changed.fd);
    auto nl = text.find('\n');
    return nl == std::string::npos ? std::string() : text.substr(0, nl);
}

std::vector<nlohmann::json> recordLines(const fs::path& path) {
    std::vector<nlohmann::json> out;
    std::istringstream in(testsupport::readFile(path));
    for (std::string line; std::getline(in, line);)
        out.push_back(nlohmann::json::parse(line, nullptr, false));
    return out;
}

struct Loaded {
    std::optional<plat::URLResponse> response;
    std::string body;
    std::optional<plat::Error> error;
};

Loaded load(const plat::URLRequest& request) {
    Loaded result;
    bool done = false;
    plat::URLConnection::sendAsynchronous(request, [&](auto& r, auto& d, auto& e) {
        result = {r, std::string(d.begin(), d.end()), e};
        done = true;
    });
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return done; }));
    return result;
}

}  // namespace

TEST(Peers, ServesFilesRecordsRequestsAndStopsOnSigterm) {
    testsupport::TempDir dir;
    testsupport::URLLoadingScope scope;
    std::string picture("\x89PNG\r\n\x1a\n\0\0", 10);
    testsupport::writeFile(dir.path() / "data" / "ads" / "pic.png", picture);
    Child peers({testsupport::programPath("potemaru-peers"), "--port", "0", "--data",
                 (dir.path() / "data").string(), "--record", (dir.path() / "record.jsonl").string(),
                 "--endpoints-out", (dir.path() / "endpoints.json").string()},
                dir.path() / "out");
    ASSERT_GT(peers.pid(), 0);
    std::string port = firstLine(dir.path() / "out");
    ASSERT_FALSE(port.empty()) << testsupport::readFile(dir.path() / "out.err");

    std::string error;
    auto table = plat::Endpoints::readFile((dir.path() / "endpoints.json").string(), &error);
    ASSERT_TRUE(table) << error;
    ASSERT_TRUE(table->count("files"));
    plat::Endpoint files = table->at("files");
    EXPECT_EQ(files.host, "127.0.0.1");
    EXPECT_EQ(std::to_string(files.port), port);

    Loaded got = load(plat::URLRequest(files.url("/ads/pic.png")));
    ASSERT_FALSE(got.error);
    EXPECT_EQ(got.response->statusCode(), 200);
    EXPECT_EQ(got.body, picture);
    EXPECT_EQ(load(plat::URLRequest(files.url("/../../etc/passwd"))).response->statusCode(), 404);

    plat::URLRequest post(files.url("/collect?tid=UA-1"));
    post.setHTTPMethod("POST");
    post.setValue("text/plain", "Content-Type");
    post.setHTTPBody(std::string("v=1&t=screenview"));
    load(post);
    plat::URLRequest binary(files.url("/batch"));
    binary.setHTTPMethod("POST");
    binary.setHTTPBody(std::string("\x00\xff\x01", 3));
    load(binary);

    auto lines = recordLines(dir.path() / "record.jsonl");
    // The collection server adds a line per hit it took; here only the request lines count.
    std::erase_if(lines, [](const nlohmann::json& l) { return l.contains("hit"); });
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["method"], "GET");
    EXPECT_EQ(lines[0]["path"], "/ads/pic.png");
    EXPECT_EQ(lines[0]["status"], 200);
    EXPECT_EQ(lines[2]["method"], "POST");
    EXPECT_EQ(lines[2]["path"], "/collect");
    EXPECT_EQ(lines[2]["query"], "tid=UA-1");
    EXPECT_EQ(lines[2]["body"], "v=1&t=screenview");
    EXPECT_EQ(lines[2]["headers"]["Content-Type"], "text/plain");
    EXPECT_FALSE(lines[2]["headers"].contains("REMOTE_ADDR"));
    EXPECT_EQ(lines[3]["body_base64"], "AP8B");

    plat::URLConnection::closeIdleConnections();
    ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
    EXPECT_EQ(peers.wait(10), 0);
}

struct PeerServerTest : peertest::PeerFixture {};

// A browser connects ahead, and a loaded machine may send late: the first request is answered all the same.
TEST_F(PeerServerTest, AnswersARequestSentAMomentAfterTheConnect) {
    const std::string answer = testsupport::rawExchange(
        server.port(), "GET /ads/banner-1.svg HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(1200)); });
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 200");
}

TEST(Peers, RefusesBadOptions) {
    testsupport::TempDir dir;
    for (std::vector<std::string> args : {std::vector<std::string>{"--port", "x"},
                                          {"--bogus", "1"},
                                          {"--port"},
                                          {"--data", (dir.path() / "missing").string()}}) {
        args.insert(args.begin(), testsupport::programPath("potemaru-peers"));
        Child peers(args, dir.path() / "out");
        EXPECT_EQ(peers.wait(10), 2) << args[1];
    }
}

// --help and --version answer on standard output; an unknown option is one line and the usage on standard
// error, as with potemaru.
TEST(Peers, AnswersHelpAndVersionAndMeetsAnUnknownOptionWithTheUsage) {
    testsupport::TempDir dir;
    const fs::path out = dir.path() / "out", err = dir.path() / "out.err";
    auto run = [&](const std::string& option) {
        Child peers({testsupport::programPath("potemaru-peers"), option}, out);
        return peers.wait(10);
    };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(testsupport::readFile(out).rfind("usage: potemaru-peers ", 0), 0u);
    EXPECT_EQ(testsupport::readFile(err), "");
    EXPECT_EQ(run("--version"), 0);
    EXPECT_TRUE(
        std::regex_match(testsupport::readFile(out), std::regex("potemaru-peers [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << testsupport::readFile(out);
    EXPECT_EQ(run("--bogus"), 2);
    EXPECT_EQ(testsupport::readFile(out), "");
    EXPECT_EQ(testsupport::readFile(err).rfind(
                  "potemaru-peers: unknown option \"--bogus\"\nusage: potemaru-peers ", 0),
              0u)
        << testsupport::readFile(err);
}

// A copy of the program out of the build, as installed and moved, looks for its data beside it
// (<prefix>/share/potemaru-sdk/peers/data) and never serves the checkout's: found nowhere, it says where it
// looked in one line.
TEST(Peers, AnInstalledCopyLooksForItsDataFromItsOwnPlaceAndNeverInTheCheckout) {
    testsupport::TempDir dir;
    const fs::path bin = dir.path() / "prefix" / "bin";
    fs::create_directories(bin);
    fs::copy_file(testsupport::programPath("potemaru-peers"), bin / "potemaru-peers");
    Child peers(
        {"/usr/bin/env", "XDG_DATA_HOME=" + (dir.path() / "a").string(),
         "XDG_DATA_DIRS=" + (dir.path() / "b").string(), (bin / "potemaru-peers").string(), "--port", "0"},
        dir.path() / "out");
    EXPECT_EQ(peers.wait(10), 1);
    EXPECT_EQ(testsupport::readFile(dir.path() / "out.err"),
              "potemaru-peers: its data is missing: looked for data/README.txt in " +
                  (dir.path() / "prefix/share/potemaru-sdk/peers").string() + ", " +
                  (dir.path() / "a/potemaru-sdk/peers").string() + ", " +
                  (dir.path() / "b/potemaru-sdk/peers").string() + " (--data DIR names another folder)\n");
}

// With /proc hidden (a sandbox), the build's program still serves the checkout's data, not a data/ folder
// that lies in the folder it was started in.
TEST(Peers, WithProcHiddenItServesItsOwnDataNotTheCurrentFolders) {
#ifdef POTEMARU_ASAN
    GTEST_SKIP() << "the address sanitizer's runtime needs /proc";
#endif
    testsupport::TempDir dir;
    const std::string hide = "mount -t tmpfs none /proc";
    if (testsupport::runProgram("/usr/bin/unshare",
                                {"-rm", "sh", "-c", hide + " && test ! -e /proc/self/exe"}))
        GTEST_SKIP() << "no mount namespace can be made here to hide /proc";
    testsupport::writeFile(dir.path() / "data/README.txt", "not the peers' data\n");
    Child peers({"/usr/bin/unshare", "-rm", "sh", "-c", hide + " && cd \"$0\" && exec \"$1\" --port 0",
                 dir.path().string(), testsupport::programPath("potemaru-peers")},
                dir.path() / "out");
    const std::string port = firstLine(dir.path() / "out");
    ASSERT_FALSE(port.empty()) << testsupport::readFile(dir.path() / "out.err");
    EXPECT_EQ(load(plat::URLRequest("http://127.0.0.1:" + port + "/README.txt")).body,
              testsupport::readFile(testsupport::sourceDir() / "peers/data/README.txt"));
    ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
    EXPECT_EQ(peers.wait(10), 0);
}

// Started again on the two ports it printed, the peers write the same endpoints file, so a client that kept
// it reaches the https routes again.
TEST(Peers, ARestartOnTheSamePortsServesTheSameEndpoints) {
    testsupport::TempDir dir;
    testsupport::URLLoadingScope trust(peertest::tlsDir() + "/ca.pem");
    std::string ports[2] = {"0", "0"}, endpoints;
    for (const fs::path& out : {dir.path() / "first", dir.path() / "second"}) {
        Child peers({testsupport::programPath("potemaru-peers"), "--port", ports[0], "--tls-port", ports[1],
                     "--endpoints-out", out.string() + ".json"},
                    out);
        ASSERT_FALSE(firstLine(out).empty()) << testsupport::readFile(out.string() + ".err");
        std::istringstream printed(testsupport::readFile(out));
        if (endpoints.empty())
            printed >> ports[0] >> ports[1], endpoints = testsupport::readFile(out.string() + ".json");
        EXPECT_EQ(testsupport::readFile(out), ports[0] + "\n" + ports[1] + "\n");
        EXPECT_EQ(testsupport::readFile(out.string() + ".json"), endpoints);
        auto secure = plat::Endpoints::parse(endpoints, nullptr).value().at("analytics.https");
        EXPECT_EQ(std::to_string(secure.port), ports[1]);
        Loaded got = load(plat::URLRequest(secure.url("/collect?v=1&t=screenview")));
        EXPECT_EQ(got.response ? got.response->statusCode() : 0, 200);
        plat::URLConnection::closeIdleConnections();
        ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
        EXPECT_EQ(peers.wait(10), 0);
    }
}

// Connections whose TLS handshake never completes are closed by the stop, not served one worker's
// read time-out after another.
TEST(Peers, SigtermEndsThePeersAtOnceWithSilentHandshakesQueued) {
    testsupport::TempDir dir;
    Child peers({testsupport::programPath("potemaru-peers"), "--port", "0"}, dir.path() / "out");
    ASSERT_FALSE(firstLine(dir.path() / "out").empty()) << testsupport::readFile(dir.path() / "out.err");
    int ports[2] = {0, 0};
    std::istringstream(testsupport::readFile(dir.path() / "out")) >> ports[0] >> ports[1];
    const fs::path fds = "/proc/" + std::to_string(peers.pid()) + "/fd";
    auto openFds = [&] { return std::distance(fs::directory_iterator(fds), fs::directory_iterator()); };
    const auto before = openFds();
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(ports[1])), {htonl(INADDR_LOOPBACK)}, {}};
    struct Clients : std::vector<int> {
        ~Clients() { std::for_each(begin(), end(), ::close); }
    } clients;
    for (int i = 0; i < 32; ++i) {
        clients.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::connect(clients.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        // The first byte of a TLS record and no more: the system hands the connection over, and its
        // handshake waits for the rest.
        ASSERT_EQ(::send(clients.back(), "\x16", 1, MSG_NOSIGNAL), 1);
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (openFds() < before + 32 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(openFds(), before + 32);
    ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
    EXPECT_EQ(peers.wait(5), 0);
}

#ifdef POTEMARU_HAS_GAME
TEST(Peers, ScriptsRunStartsThePeersForTheGameAndLeavesNoProcessBehind) {
    testsupport::TempDir dir;
    Child run({(testsupport::sourceDir() / "scripts" / "run").string(), "--headless", "--frames", "3",
               "--audio", "null", "--home", (dir.path() / "home").string()},
              dir.path() / "out",
              {"POTEMARU_NO_BUILD=1", "POTEMARU_BUILD_DIR=" + testsupport::buildDir().string(),
               "POTEMARU_RUN_DIR=" + (dir.path() / "run").string(), "LIBGL_ALWAYS_SOFTWARE=1",
               "ALSOFT_DRIVERS=null"});
    ASSERT_EQ(run.wait(300), 0) << testsupport::readFile(dir.path() / "out.err");
    std::string error;
    EXPECT_TRUE(plat::Endpoints::readFile((dir.path() / "run" / "endpoints.json").string(), &error)) << error;
    pid_t peers = std::stoi(testsupport::readFile(dir.path() / "run" / "peers.pid"));
    EXPECT_EQ(::kill(peers, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

// The game with the peers' ad server: the banner shows a peers' ad in the bottom 50 points, the same in two
// runs; its impression reaches the peers; a tap on it is a click (reported, the landing page opened
// outside) and the field above is drawn the same as without the tap.
TEST(Peers, TheGameShowsThePeersBannerAndReportsItsImpressionAndClick) {
    testsupport::TempDir dir;
    const fs::path data = testsupport::sourceDir() / "peers" / "data";
    Child peers(
        {testsupport::programPath("potemaru-peers"), "--port", "0", "--data", data.string(), "--record",
         (dir.path() / "record.jsonl").string(), "--endpoints-out", (dir.path() / "endpoints.json").string()},
        dir.path() / "peers.out");
    const std::string port = firstLine(dir.path() / "peers.out");
    ASSERT_FALSE(port.empty()) << testsupport::readFile(dir.path() / "peers.out.err");

    auto run = [&](const std::string& name, bool tap) {
        std::string script = "130 capture setup.png\n";
        if (tap) script += "140 touch down 320 1110\n142 touch up 320 1110\n";
        script += "200 capture after.png\n210 quit\n";
        testsupport::writeFile(dir.path() / (name + ".txt"), script);
        Child game(
            {testsupport::programPath("potemaru"), "--headless", "--audio", "null", "--seed", "1", "--home",
             (dir.path() / name / "home").string(), "--endpoints", (dir.path() / "endpoints.json").string(),
             "--script", (dir.path() / (name + ".txt")).string(), "--capture",
             (dir.path() / name / "captures").string()},
            dir.path() / (name + ".out"), {"LIBGL_ALWAYS_SOFTWARE=1", "ALSOFT_DRIVERS=null"});
        EXPECT_EQ(game.wait(240), 0) << testsupport::readFile(dir.path() / (name + ".out.err"));
        return testsupport::readFile(dir.path() / (name + ".out"));
    };
    const std::string first = run("first", true);
    const std::string second = run("second", true);
    const std::string untouched = run("untouched", false);
    auto capture = [&](const std::string& name, const std::string& file) {
        return testsupport::readFile(dir.path() / name / "captures" / file);
    };
    ASSERT_FALSE(capture("first", "setup.png").empty());
    EXPECT_EQ(capture("first", "setup.png"), capture("second", "setup.png"));
    EXPECT_EQ(capture("first", "after.png"), capture("second", "after.png"));

    const std::string png = capture("first", "setup.png");
    auto shot = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size());
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->width, 640u);
    ASSERT_EQ(shot->height, 1136u);
    auto at = [&](const plat::DecodedImage& image, uint32_t x, uint32_t y) {
        const uint8_t* p = image.pixels.data() + (size_t(y) * image.width + x) * 4;
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    // The banner's strip is no longer the black the field leaves there, and the field above is drawn.
    for (uint32_t x : {40u, 320u, 620u}) EXPECT_NE(at(*shot, x, 1130), (std::array<int, 3>{0, 0, 0})) << x;
    EXPECT_NE(at(*shot, 320, 1000), (std::array<int, 3>{0, 0, 0}));

    // The tap went to the banner, not the game: the field is drawn the same as in the run without it.
    const std::string touched = capture("first", "after.png"), calm = capture("untouched", "after.png");
    auto a = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(touched.data()), touched.size());
    auto b = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(calm.data()), calm.size());
    ASSERT_TRUE(a && b);
    const size_t fieldBytes = size_t(640) * (1136 - 100) * 4;
    EXPECT_TRUE(std::equal(a->pixels.begin(), a->pixels.begin() + fieldBytes, b->pixels.begin()));

    const std::string landing = "open URL: http://127.0.0.1:" + port + "/ads/landing-";
    EXPECT_NE(first.find(landing), std::string::npos) << first;
    EXPECT_EQ(untouched.find("open URL:"), std::string::npos) << untouched;

    ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
    EXPECT_EQ(peers.wait(10), 0);
    int impressions = 0, clicks = 0;
    for (const auto& line : recordLines(dir.path() / "record.jsonl")) {
        if (line.contains("hit")) continue;
        const std::string path = line.value("path", "");
        if (path == "/zividedir/api/rec-impression" &&
            line.value("query", "").starts_with("app_id=a1b2c3d4e5f60718293a4b5c&user_ad_id=peers-banner-"))
            ++impressions;
        if (path.starts_with(
                "/zividedir/api/rec-click/app_id/a1b2c3d4e5f60718293a4b5c/user_ad_id/peers-banner-"))
            ++clicks;
    }
    EXPECT_GE(impressions, 3);  // at least the first show of each run
    EXPECT_EQ(clicks, 2);
}
// The game's popup with the peers' ad server: opening and closing the catalogue shows the peers' popup
// ad over the game; a tap on the dimmed area is not the game's; the close button takes the popup away;
// the popup's counters are stored, and the next launch on that home goes on from them.
TEST(Peers, TheCatalogueClosedShowsThePeersPopupAndItsCountersCarryOver) {
    testsupport::TempDir dir;
    const fs::path data = testsupport::sourceDir() / "peers" / "data";
    Child peers(
        {testsupport::programPath("potemaru-peers"), "--port", "0", "--data", data.string(), "--record",
         (dir.path() / "record.jsonl").string(), "--endpoints-out", (dir.path() / "endpoints.json").string()},
        dir.path() / "peers.out");
    ASSERT_FALSE(firstLine(dir.path() / "peers.out").empty())
        << testsupport::readFile(dir.path() / "peers.out.err");

    // Window pixels (two per point): the catalogue button, the catalogue's close button, the popup's close
    // picture and a dimmed spot over the field.
    const std::string script =
        "130 touch down 566 986\n132 touch up 566 986\n"
        "170 touch down 320 996\n172 touch up 320 996\n"
        "230 capture shown.png\n"
        "240 touch down 320 120\n242 touch up 320 120\n"
        "250 touch down 582 310\n252 touch up 582 310\n"
        "300 capture closed.png\n310 quit\n";
    testsupport::writeFile(dir.path() / "script.txt", script);
    const fs::path home = dir.path() / "home";
    auto run = [&](const std::string& name) {
        Child game(
            {testsupport::programPath("potemaru"), "--headless", "--audio", "null", "--seed", "1", "--home",
             home.string(), "--endpoints", (dir.path() / "endpoints.json").string(), "--script",
             (dir.path() / "script.txt").string(), "--capture", (dir.path() / name).string()},
            dir.path() / (name + ".out"), {"LIBGL_ALWAYS_SOFTWARE=1", "ALSOFT_DRIVERS=null"});
        EXPECT_EQ(game.wait(240), 0) << testsupport::readFile(dir.path() / (name + ".out.err"));
    };
    auto pixel = [&](const std::string& name, const std::string& file, uint32_t x, uint32_t y) {
        const std::string png = testsupport::readFile(dir.path() / name / file);
        auto shot = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size());
        if (!shot || x >= shot->width || y >= shot->height) return std::array<int, 3>{-1, -1, -1};
        const uint8_t* p = shot->pixels.data() + (size_t(y) * shot->width + x) * 4;
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    auto near = [](std::array<int, 3> a, std::array<int, 3> b) {
        for (int i = 0; i < 3; ++i)
            if (std::abs(a[i] - b[i]) > 3) return false;
        return true;
    };
    auto counters = [&] {
        auto prefs = plat::PropertyList::readFile(home / "Library" / "Preferences" / "potemaru.plist");
        if (!prefs) return std::make_pair(int64_t(-1), int64_t(-1));
        return std::make_pair((*prefs)["ZividedirSche0f1e2d3c4b5a69788796a5b4"].toInt64(),
                              (*prefs)["ZividedirDispNum0f1e2d3c4b5a69788796a5b4"].toInt64());
    };

    run("first");
    // The framed box: its green border at the left edge and the title bar's green, then gone.
    EXPECT_TRUE(near(pixel("first", "shown.png", 10, 568), {34, 137, 0})) << "border";
    const auto bar = pixel("first", "shown.png", 320, 280);
    EXPECT_TRUE(bar[1] > 180 && bar[0] < 130 && bar[2] < 60)
        << "title bar " << bar[0] << "," << bar[1] << "," << bar[2];
    EXPECT_FALSE(near(pixel("first", "closed.png", 10, 568), {34, 137, 0}));
    EXPECT_EQ(counters(), std::make_pair(int64_t(1), int64_t(1)));

    run("second");
    EXPECT_TRUE(near(pixel("second", "shown.png", 10, 568), {34, 137, 0}));
    EXPECT_EQ(counters(), std::make_pair(int64_t(2), int64_t(2)));

    ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
    EXPECT_EQ(peers.wait(10), 0);
    int impressions = 0;
    for (const auto& line : recordLines(dir.path() / "record.jsonl"))
        if (line.value("path", "") == "/zividedir/api/rec-impression" &&
            line.value("query", "").starts_with("app_id=0f1e2d3c4b5a69788796a5b4&user_ad_id=peers-popup-1"))
            ++impressions;
    EXPECT_EQ(impressions, 2);
}
#endif

// The game's screen views reach the peers' collection server: a first launch stores its view (its first
// dispatch comes before the view and the periodic one is not due within the run), and the next launch on
// that home delivers it over TLS.
TEST(Peers, AScreenViewStoredByOneLaunchIsDeliveredByTheNext) {
    testsupport::TempDir dir;
    const fs::path data = testsupport::sourceDir() / "peers" / "data";
    const fs::path record = dir.path() / "record.jsonl";
    Child peers({testsupport::programPath("potemaru-peers"), "--port", "0", "--data", data.string(),
                 "--record", record.string(), "--endpoints-out", (dir.path() / "endpoints.json").string()},
                dir.path() / "peers.out");
    ASSERT_FALSE(firstLine(dir.path() / "peers.out").empty())
        << testsupport::readFile(dir.path() / "peers.out.err");
    auto hits = [&] {
        std::vector<nlohmann::json> out;
        for (const auto& line : recordLines(record))
            if (line.is_object() && line.value("hit", false)) out.push_back(line);
        return out;
    };
    auto run = [&](int frames) {
        testsupport::writeFile(dir.path() / "script.txt", std::to_string(frames) + " quit\n");
        Child game(
            {testsupport::programPath("potemaru"), "--headless", "--audio", "null", "--seed", "1", "--home",
             (dir.path() / "home").string(), "--endpoints", (dir.path() / "endpoints.json").string(),
             "--script", (dir.path() / "script.txt").string()},
            dir.path() / "game.out", {"LIBGL_ALWAYS_SOFTWARE=1", "ALSOFT_DRIVERS=null"});
        EXPECT_EQ(game.wait(240), 0) << testsupport::readFile(dir.path() / "game.out.err");
    };

    run(200);
    EXPECT_TRUE(hits().empty());
    run(400);
    ASSERT_EQ(::kill(peers.pid(), SIGTERM), 0);
    EXPECT_EQ(peers.wait(10), 0);
    const auto delivered = hits();
    // The first launch's view; the second launch's own may come along with it.
    ASSERT_GE(delivered.size(), 1u);
    ASSERT_LE(delivered.size(), 2u);
    const auto& hit = delivered[0];
    EXPECT_EQ(hit.value("method", ""), "GET");
    EXPECT_EQ(hit.value("path", ""), "/collect");
    const auto& fields = hit["fields"];
    EXPECT_EQ(fields.value("t", ""), "screenview");
    EXPECT_EQ(fields.value("cd", ""), "[iOS]ぽてまる　レベル1");
    EXPECT_EQ(fields.value("tid", ""), "UA-27182818-1");
    EXPECT_EQ(fields.value("_u", ""), ".noK9L");
    EXPECT_EQ(fields.value("_s", ""), "0");
    EXPECT_EQ(fields.value("cid", "").size(), 36u);
    // The game's own identity and screen.
    EXPECT_EQ(fields.value("aid", ""), "org.potemaru.potemaru");
    EXPECT_EQ(fields.value("an", ""), "potemaru");
    EXPECT_EQ(fields.value("av", ""), POTEMARU_VERSION);
    EXPECT_EQ(fields.value("sr", ""), "640x1136");
}
