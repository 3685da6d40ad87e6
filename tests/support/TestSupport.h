#pragma once
// Helpers shared by every test program.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Clock.h"

namespace testsupport {

// A fresh folder under the system temp dir, removed with everything in it when the object dies.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Points plat::Paths at a temporary app home for its lifetime, then restores the previous home.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    const std::filesystem::path& path() const { return dir_.path(); }

  private:
    TempDir dir_;
    std::filesystem::path previous_;
};

// Points the main bundle at another resource folder for its lifetime, then back at the one it had, however
// the test ends.
class ResourcePathScope {
  public:
    explicit ResourcePathScope(const std::filesystem::path& path);
    ~ResourcePathScope();

  private:
    std::filesystem::path previous_;
};

// Sets (or, for a null value, removes) environment variables for its lifetime, then restores them.
class EnvScope {
  public:
    EnvScope(std::initializer_list<std::pair<const char*, const char*>> vars);
    ~EnvScope();
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Installs a virtual clock as the shared clock for its lifetime.
class VirtualClockScope {
  public:
    explicit VirtualClockScope(int64_t startMicros = plat::VirtualClock::kDefaultStartMicros);
    ~VirtualClockScope();
    plat::VirtualClock& clock() { return *clock_; }

  private:
    std::shared_ptr<plat::VirtualClock> clock_;
    std::shared_ptr<plat::Clock> previous_;
};

// The project's source folder (for committed fixtures such as assets/) and the build folder this program
// belongs to, as the build wrote them down.
std::filesystem::path sourceDir();
std::filesystem::path buildDir();
// The path of a program of this build (potemaru, potemaru-peers, a test's child program).
std::string programPath(const std::string& name);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// The bytes of a PNG file of one opaque colour.
std::string solidPng(uint32_t width, uint32_t height, uint8_t red, uint8_t green, uint8_t blue);

// Runs `program` with `arguments`, in this process's environment with `environment` set over it, and waits
// for it: its exit status, 128 + the signal that ended it, or -1 when it could not be started. One that has
// not ended after a minute is killed.
int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment = {});

// Runs `work` in a child process that is killed, as kill -9 would kill it, as it enters its `nth` call of
// the system call `number` (from <sys/syscall.h>), before the call acts. True when it was killed there.
bool killedAtSystemCall(long number, int nth, const std::function<void()>& work);

}  // namespace testsupport
