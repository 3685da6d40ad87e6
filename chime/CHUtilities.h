#pragma once
// Path resolution and sound-file decoding shared by the sound engine and the long audio sources.
#include <AL/al.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class CHUtilities {
  public:
    // An absolute path is kept; a relative one names a resource of the application bundle (directory
    // part and file name), and is kept unchanged when the bundle has no such resource.
    static std::string fullPathFromRelativePath(const std::string& path);
};

// Decoded sound ready for an OpenAL buffer: interleaved little-endian PCM in one of the four formats
// AL_FORMAT_MONO8/MONO16/STEREO8/STEREO16, at an integer sample rate.
struct CHDecodedSound {
    std::vector<uint8_t> data;
    ALenum format = 0;
    ALsizei frequency = 0;
};

// "wav" (any letter case) and extension-less files go through the raw reader, everything else through
// the 16-bit converter. False when the file is missing, unreadable or of a refused kind.
bool decodeSoundFile(const std::string& path, CHDecodedSound& out);
// Uncompressed little-endian 8-bit unsigned or 16-bit signed PCM with one or two channels, as stored.
bool readLinearPcmFile(const std::string& path, CHDecodedSound& out);
// Any readable sound file with one or two channels, decoded to 16-bit signed PCM.
bool convertToPcm16(const std::string& path, CHDecodedSound& out);

// Why a sound or music file could not be used, said once per file: a missing file is looked for again
// at its next use (it may still come), a file that is there but cannot be decoded is not opened again
// (each try costs a whole decode, and some decoders leak on a malformed file). Not thread-safe: one per
// owner (the buffer manager, a long audio source).
class CHUnusableFiles {
  public:
    // Called after a failed load of `path` (the name the game gave; `fullPath` resolved). Logs the
    // first time; true when the file is there but undecodable, so it should not be tried again.
    bool noteFailure(const char* kind, const std::string& path, const std::string& fullPath);
    bool isUndecodable(const std::string& fullPath) const { return undecodable_.count(fullPath) != 0; }
    void forget(const std::string& fullPath);

  private:
    std::unordered_set<std::string> undecodable_;
    std::unordered_set<std::string> reportedMissing_;
};

// Hands the mixer output rate to the platform's rate extension when it has one; otherwise nothing.
void setMixerOutputRate(double rate);
