#pragma once
// The app's data folders, laid out like a phone app's sandbox under one home folder:
//   Documents/  Library/  Library/Caches/  Library/Preferences/  tmp/
// The home is ${XDG_DATA_HOME:-~/.local/share}/<app name>/ unless set (the program's --home, tests' temp
// dirs); the app's name is the main bundle's (Bundle::appName), so an app that gives none has the home of
// its program's name. A program holds its home (holdHome): one process at a time works on a home, from its
// start to its exit and across its own relaunch, so that two of them never write their saves and stores over
// each other's.
#include <filesystem>
#include <functional>
#include <string>

namespace plat {

class Paths {
  public:
    // The main bundle's appName as it stands now. ${XDG_DATA_HOME}/<app> when XDG_DATA_HOME is absolute,
    // else <user's home>/.local/share/<app>, the user's home being HOME when it is absolute, else the
    // password database's; empty, with a line, when neither names one (holdHome refuses an empty home
    // without another line).
    static std::filesystem::path defaultHome();
    static std::filesystem::path defaultHome(const std::string& appName);
    // An XDG user folder of the app's: ${variable}/<app> when the variable is absolute, else
    // <user's home>/<underHome>/<app> (the user's home as above); empty when neither names one.
    static std::filesystem::path userFolder(const char* variable, const std::filesystem::path& underHome,
                                            const std::string& appName);

    // Sets the home folder and creates its layout; false (with a log line) when it cannot be made.
    // Setting a home other than the one this process holds ends the hold.
    static bool setHome(const std::filesystem::path& home);
    // Holds `home` for this process, then sets it as setHome does. The hold is a lock on the home folder
    // itself: it needs no write, no file of the home can undo it, and it goes with the process however it
    // ends (a kill too); no program the process starts inherits it, but the program it becomes by an exec
    // that passHoldOnExec prepared keeps it throughout. Holding the home this process holds already changes
    // nothing, and holding another one ends the earlier hold. A new hold then removes, with a line each,
    // the temporaries that saves cut short left anywhere in the home. When another process holds the
    // home, it is tried again for a few seconds, and until a holder that is ending (killed, or marked by
    // markEnding) has ended, within half a minute, saying once in a line what it waits for when that wait
    // lasts; no single look at the system's lock table, which can miss lines while other locks change,
    // takes back what an earlier one showed; a quit (QuitSignals) ends the wait at once. Then false, with
    // `inUse` set to one line naming the home and, where the system tells it, that process (logged when
    // `inUse` is null); no file of the home is touched and the current home and hold stay. False with a log
    // line when the home cannot be held or made.
    static bool holdHome(const std::filesystem::path& home, std::string* inUse = nullptr);
    // Says that this process has begun to end: a program waiting for its home waits until it has ended
    // instead of refusing after a few seconds. Nothing is written, nothing allocated and no lock taken: safe
    // in a signal handler and on the quits' thread, and leaves errno as it was. The mark stays through an
    // exec that passes the hold on; the program the exec makes keeps it only while a quit kept through the
    // exec waits for it, or was taken (adoptPassedHold, or as it takes the hold).
    static void markEnding();
    // For the start of a program that a relaunch's exec may have passed the hold to, right after
    // QuitSignals::install and before anything else: markEnding marks that hold from then on, before holdHome
    // takes it, and a mark the program before the exec left is taken back unless a quit came meanwhile.
    static void adoptPassedHold();
    // Lets the hold pass to the program this process becomes by its next exec: the environment entry
    // ("NAME=value") to give that program, whose holdHome of the same home then keeps the hold; empty when
    // nothing is held. For right before the exec: until then any program this process starts inherits it.
    // Only this process's next program takes it: the entry is ignored by any other, and for another home.
    static std::string passHoldOnExec();
    // Puts `reader` in the place of the reading of the system's lock table (its text, whole) by which a
    // waiting holdHome names the holder; tests give one that misses lines, as a reading may while other
    // locks change. An empty one puts the system's own back.
    static void setLockTableReader(std::function<std::string()> reader);
    static std::filesystem::path home();

    static std::filesystem::path documents();
    static std::filesystem::path library();
    static std::filesystem::path caches();
    static std::filesystem::path preferences();
    static std::filesystem::path tmp();

    // Creates any missing folder of the layout under the current home.
    static bool ensureLayout();
};

}  // namespace plat
