#include "tests/e2e/E2ESupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/storage/PropertyList.h"
#include "platform/storage/SqliteFile.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;

namespace e2e {
namespace {

fs::path settingsFile(const fs::path& home) {
    return home / "Library" / "Preferences" / "potemaru.plist";
}

int statusOf(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return -1;
}

// Starts `command` with its standard output in `out` and, when given, its error in `err`: its pid, or -1.
// It begins with the quits at their defaults, as a terminal starts a program, however the tests were
// started (under nohup, the game would keep SIGHUP ignored).
pid_t spawnTo(std::vector<std::string> command, const fs::path& out, const fs::path& err = {}) {
    std::vector<char*> argv;
    for (auto& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!err.empty())
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t quits;
    sigemptyset(&quits);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&quits, s);
    posix_spawnattr_setsigdefault(&attributes, &quits);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    if (posix_spawn(&pid, command[0].c_str(), &actions, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

uint32_t le32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t le16(const std::string& s, size_t at) {
    return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

}  // namespace

Potemaru::Potemaru(const fs::path& dir) {
    static int count = 0;
    const std::string stem = "potemaru-" + std::to_string(getpid()) + "-" + std::to_string(count++);
    out_ = dir / (stem + ".out");
    err_ = dir / (stem + ".err");
}

Potemaru::~Potemaru() {
    if (pid_ > 0) kill9();
}

bool Potemaru::start(const std::vector<std::string>& args, const std::vector<std::string>& launcher) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("ALSOFT_DRIVERS", "null", 0);
    setenv("EGL_LOG_LEVEL", "fatal", 0);
    std::vector<std::string> all = launcher;
    all.push_back(testsupport::programPath("potemaru"));
    all.insert(all.end(), args.begin(), args.end());
    pid_ = spawnTo(all, out_, err_);
    return pid_ > 0;
}

bool Potemaru::running() {
    if (pid_ <= 0) return false;
    int raw = 0;
    struct rusage usage {};
    if (wait4(pid_, &raw, WNOHANG, &usage) == pid_) {
        status_ = statusOf(raw);
        endedBySignal_ = WIFSIGNALED(raw);
        maxRssKb_ = usage.ru_maxrss;
        pid_ = -1;
        return false;
    }
    return true;
}

int Potemaru::wait() {
    if (pid_ > 0) {
        int raw = 0;
        struct rusage usage {};
        wait4(pid_, &raw, 0, &usage);
        status_ = statusOf(raw);
        endedBySignal_ = WIFSIGNALED(raw);
        maxRssKb_ = usage.ru_maxrss;
        pid_ = -1;
    }
    return status_;
}

Peers::Peers(const fs::path& dir) : endpoints_(dir / "endpoints.json") {
    const std::string program = testsupport::programPath("potemaru-peers");
    pid_ = spawnTo({program, "--port", "0", "--endpoints-out", endpoints_.string()}, dir / "peers.out");
}

Peers::~Peers() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

fs::path Peers::endpoints() {
    // The peers write the file (atomically) once they serve.
    for (int i = 0; pid_ > 0 && i < 600 && !fs::exists(endpoints_); ++i) usleep(50000);
    return fs::exists(endpoints_) ? endpoints_ : fs::path();
}

bool traceUntil(pid_t pid, bool syscalls, const std::function<bool(int status)>& stop) {
    if (ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACEEXEC | PTRACE_O_TRACESYSGOOD) != 0 ||
        kill(pid, SIGCONT) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
        if (stop(status)) return true;
        // A signal on its way goes on with the program; the tracer's own stops give none.
        const bool traceStop = status >> 16 != 0 || WSTOPSIG(status) == (SIGTRAP | 0x80);
        ptrace(syscalls ? PTRACE_SYSCALL : PTRACE_CONT, pid, nullptr, traceStop ? 0 : WSTOPSIG(status));
    }
    return false;
}

void Potemaru::kill9() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    wait();
}

bool Potemaru::signal(int signal) {
    return pid_ > 0 && ::kill(pid_, signal) == 0;
}

int Potemaru::run(const std::vector<std::string>& args) {
    return start(args) ? wait() : -1;
}

std::string Potemaru::out() const {
    return testsupport::readFile(out_);
}
std::string Potemaru::err() const {
    return testsupport::readFile(err_);
}

plat::Value settings(const fs::path& home) {
    std::error_code ec;
    if (!fs::exists(settingsFile(home), ec)) return plat::Value(plat::Value::Dictionary{});
    auto value = plat::PropertyList::readFile(settingsFile(home));
    return value ? *value : plat::Value(plat::Value::Dictionary{});
}

void writeSettings(const fs::path& home, const std::vector<std::pair<std::string, plat::Value>>& entries) {
    plat::Value::Dictionary d;
    for (const auto& [key, value] : entries) d.set(key, value);
    fs::create_directories(settingsFile(home).parent_path());
    plat::PropertyList::writeFile(settingsFile(home), plat::Value(std::move(d)));
}

void setSetting(const fs::path& home, const std::string& key, plat::Value value) {
    plat::Value all = settings(home);
    if (auto* d = all.dictionaryIf()) d->set(key, std::move(value));
    fs::create_directories(settingsFile(home).parent_path());
    plat::PropertyList::writeFile(settingsFile(home), all);
}

std::vector<std::string> storedHits(const fs::path& home) {
    std::vector<std::string> hits;
    plat::SqliteFile db;
    const fs::path file = home / "Library" / "zediveanalytics-v3.sql";
    if (db.open(file, {.busyTimeoutMillis = 0, .quickCheck = false, .readOnly = true}) !=
        plat::SqliteFile::OpenStatus::Open)
        return hits;
    auto statement = db.prepare("SELECT parameters FROM RUVHit ORDER BY timestamp");
    while (statement.ok() && statement.step() == plat::SqliteFile::kRow) {
        size_t size = 0;
        const uint8_t* blob = statement.columnBlob(0, &size);
        hits.emplace_back(reinterpret_cast<const char*>(blob), size);
    }
    return hits;
}

std::vector<std::pair<double, std::string>> reminders(const fs::path& home) {
    std::vector<std::pair<double, std::string>> out;
    auto value = plat::PropertyList::readFile(home / "Library" / "LocalNotifications.plist");
    if (!value || !value->arrayIf()) return out;
    for (const auto& n : *value->arrayIf()) {
        const auto* date = n["fireDate"].dateIf();
        out.emplace_back(date ? date->secondsSince1970 : -1, n["alertBody"].toString());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<int> wavSamples(const fs::path& path) {
    std::vector<int> samples;
    const std::string s = testsupport::readFile(path);
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return samples;
    int format = 0, bits = 0;
    size_t at = 12;
    while (at + 8 <= s.size()) {
        const std::string id = s.substr(at, 4);
        size_t size = le32(s, at + 4);
        const size_t body = at + 8;
        if (id == "fmt " && body + 16 <= s.size()) {
            format = le16(s, body);
            bits = le16(s, body + 14);
            // Extensible: the real format is the first two bytes of the sub-format.
            if (format == 0xFFFE && body + 26 <= s.size()) format = le16(s, body + 24);
        } else if (id == "data") {
            if (size == 0 || body + size > s.size()) size = s.size() - body;
            const size_t bytes = static_cast<size_t>(bits / 8);
            for (size_t p = body; bytes && p + bytes <= body + size; p += bytes) {
                if (bits == 16) {
                    samples.push_back(static_cast<int16_t>(le16(s, p)));
                } else if (bits == 8) {
                    samples.push_back((int(uint8_t(s[p])) - 128) * 256);
                } else if (bits == 32 && format == 3) {
                    uint32_t word = le32(s, p);
                    float f;
                    std::memcpy(&f, &word, sizeof f);
                    samples.push_back(std::isfinite(f) ? static_cast<int>(std::lround(f * 32767)) : 0);
                } else if (bits == 32) {
                    samples.push_back(static_cast<int32_t>(le32(s, p)) >> 16);
                }
            }
            break;
        }
        at = body + size + (size & 1);
    }
    return samples;
}

int peak(const std::vector<int>& samples, size_t from, size_t to) {
    int best = 0;
    for (size_t i = from; i < to && i < samples.size(); ++i) best = std::max(best, std::abs(samples[i]));
    return best;
}

std::optional<plat::DecodedImage> readPng(const fs::path& path) {
    const std::string bytes = testsupport::readFile(path);
    return plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool sameRows(const plat::DecodedImage& a, const plat::DecodedImage& b, uint32_t y0, uint32_t y1) {
    if (a.width != b.width || a.height != b.height || y1 > a.height || y0 > y1) return false;
    const size_t row = size_t(a.width) * 4;
    return std::equal(a.pixels.begin() + y0 * row, a.pixels.begin() + y1 * row, b.pixels.begin() + y0 * row);
}

}  // namespace e2e
