#pragma once
// Running the potemaru program from the end-to-end tests, and reading what it left in its home.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Value.h"
#include "platform/media/ImageCodec.h"

// Built with the address sanitizer (gcc says so with a macro, clang through __has_feature): memory figures
// then carry its shadow memory and quarantine.
#if defined(__SANITIZE_ADDRESS__)
#define POTEMARU_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define POTEMARU_ASAN 1
#endif
#endif

namespace e2e {

// One run of the program; its standard output and error go to files in `dir`. Headless rendering on
// Mesa's software renderer and OpenAL's null backend unless the arguments say otherwise.
class Potemaru {
  public:
    explicit Potemaru(const std::filesystem::path& dir);
    ~Potemaru();
    // Runs to the end; the exit status, or 128 + the signal that ended it.
    int run(const std::vector<std::string>& args);
    // Whether the finished program was ended by a signal rather than exiting on its own.
    bool endedBySignal() const { return endedBySignal_; }
    // Starts it; through `launcher` when one is given (a program and its arguments, which then run the game
    // with its own arguments appended: a shell's `exec "$0" "$@"`, for example).
    bool start(const std::vector<std::string>& args, const std::vector<std::string>& launcher = {});
    bool running();
    pid_t pid() const { return pid_; }
    int wait();
    void kill9();
    // Sends `signal` to the running program; false when it is not running.
    bool signal(int signal);
    // The largest resident set of the finished program (and whatever it started), in kilobytes. In an
    // address-sanitizer build it is at least the test program's own (the spawn runs through the runtime).
    long maxResidentKb() const { return maxRssKb_; }
    std::string out() const;
    std::string err() const;

  private:
    std::filesystem::path out_, err_;
    pid_t pid_ = -1;
    int status_ = -1;
    bool endedBySignal_ = false;
    long maxRssKb_ = 0;
};

// The local peers (potemaru-peers) on 127.0.0.1 while the object lives, their endpoints file in `dir`.
class Peers {
  public:
    explicit Peers(const std::filesystem::path& dir);
    ~Peers();
    Peers(const Peers&) = delete;
    Peers& operator=(const Peers&) = delete;
    // The endpoints file once the peers serve (waits, bounded); empty when they did not start.
    std::filesystem::path endpoints();

  private:
    std::filesystem::path endpoints_;
    pid_t pid_ = -1;
};

// Traces the program `pid`, which stands still after a SIGSTOP, from there on: its main thread runs (through
// each system call, with `syscalls`) until `stop` says so of one of its stops, given its wait status; it then
// stands there, traced, until detached. False when the program ended first.
bool traceUntil(pid_t pid, bool syscalls, const std::function<bool(int status)>& stop);

// The settings store of the app home (a dictionary; empty when there is none yet).
plat::Value settings(const std::filesystem::path& home);
void writeSettings(const std::filesystem::path& home,
                   const std::vector<std::pair<std::string, plat::Value>>& entries);
void setSetting(const std::filesystem::path& home, const std::string& key, plat::Value value);
// Scheduled reminders: fire date (seconds since 1970) and text, soonest first.
std::vector<std::pair<double, std::string>> reminders(const std::filesystem::path& home);
// Analytics hits stored in the app home and not yet delivered, each its parameters as stored (the texts
// appear in them as UTF-8); none when the hit store cannot be read.
std::vector<std::string> storedHits(const std::filesystem::path& home);

// The samples of a WAV file on the 16-bit scale (PCM 8/16 bit or 32-bit float), interleaved. A header
// whose sizes were never filled in is read to the end of the file.
std::vector<int> wavSamples(const std::filesystem::path& path);
int peak(const std::vector<int>& samples, size_t from, size_t to);

// Asks the window of that name on DISPLAY to close, as a window manager's close button does
// (WM_DELETE_WINDOW). False when there is no such window.
bool closeWindow(const std::string& name);
// Destroys the window of that name from another client (as some window managers and tools do), or with
// `killItsClient` closes its owner's connection to the X server (as at the end of a session). False when
// there is no such window.
bool destroyWindow(const std::string& name, bool killItsClient);
// Destroys the window of that name from another client the moment it exists, its owner held still
// meanwhile. False when none appeared within a minute.
bool destroyWindowAsItAppears(const std::string& name, pid_t owner);

std::optional<plat::DecodedImage> readPng(const std::filesystem::path& path);
// Rows [y0, y1) of two pictures of one size hold the same pixels.
bool sameRows(const plat::DecodedImage& a, const plat::DecodedImage& b, uint32_t y0, uint32_t y1);

}  // namespace e2e
