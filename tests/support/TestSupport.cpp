#include "tests/support/TestSupport.h"

#include <poll.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

// Made by the build: POTEMARU_SOURCE_DIR, POTEMARU_BUILD_DIR, POTEMARU_PROGRAMS_DIR.
#include "TestPaths.h"
#include "platform/media/ImageCodec.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/UserDefaults.h"

namespace testsupport {

EnvScope::EnvScope(std::initializer_list<std::pair<const char*, const char*>> vars) {
    for (auto [name, value] : vars) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
}

EnvScope::~EnvScope() {
    for (auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "potemaru-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

TempHome::TempHome() : previous_(plat::Paths::home()) {
    plat::Paths::setHome(dir_.path());
}

TempHome::~TempHome() {
    // The settings of a home about to go are dropped with it: saved later, they would make its folder again.
    plat::UserDefaults::forgetStandard();
    plat::Paths::setHome(previous_);
}

ResourcePathScope::ResourcePathScope(const fs::path& path) : previous_(plat::Bundle::main().resourcePath()) {
    plat::Bundle::setMainResourcePath(path);
}

ResourcePathScope::~ResourcePathScope() {
    plat::Bundle::setMainResourcePath(previous_);
}

VirtualClockScope::VirtualClockScope(int64_t startMicros)
    : clock_(std::make_shared<plat::VirtualClock>(startMicros)), previous_(plat::Clock::setShared(clock_)) {}

VirtualClockScope::~VirtualClockScope() {
    plat::Clock::setShared(previous_);
}

fs::path sourceDir() {
    return POTEMARU_SOURCE_DIR;
}

fs::path buildDir() {
    return POTEMARU_BUILD_DIR;
}

std::string programPath(const std::string& name) {
    return (fs::path(POTEMARU_PROGRAMS_DIR) / name).string();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string solidPng(uint32_t width, uint32_t height, uint8_t red, uint8_t green, uint8_t blue) {
    std::vector<uint8_t> rgba(size_t(width) * height * 4, 255);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = red;
        rgba[i + 1] = green;
        rgba[i + 2] = blue;
    }
    auto png = plat::ImageCodec::encodePng(rgba.data(), width, height, 4);
    return png ? std::string(png->begin(), png->end()) : std::string();
}

int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment) {
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        if (!environment.count(entry.substr(0, entry.find('=')))) env.push_back(std::move(entry));
    }
    // Built in place: concatenating temporaries here trips a false bounds warning of GCC 12.
    for (const auto& [name, value] : environment) env.emplace_back(name).append("=").append(value);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    // The child's end is an event on its pidfd; a child that hangs is ended.
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd ended{pidfd, POLLIN, 0};
    if (pidfd < 0 || poll(&ended, 1, 60000) != 1) kill(pid, SIGKILL);
    if (pidfd >= 0) close(pidfd);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool killedAtSystemCall(long number, int nth, const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        ::raise(SIGSTOP);
        work();
        ::_exit(0);
    }
    int status = 0, signal = 0, calls = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
    ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    __ptrace_syscall_info info{};
    while (::ptrace(PTRACE_SYSCALL, child, nullptr, signal) == 0 && ::waitpid(child, &status, 0) == child &&
           WIFSTOPPED(status)) {
        // A signal stop passes its signal on; a system call's stop passes none.
        signal = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
        if (signal || ::ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info) <= 0 ||
            info.op != PTRACE_SYSCALL_INFO_ENTRY || static_cast<long>(info.entry.nr) != number ||
            ++calls < nth)
            continue;
        ::kill(child, SIGKILL);
        return ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    return false;
}

}  // namespace testsupport
