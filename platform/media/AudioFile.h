#pragma once
// Sound-file services: the raw reader (AudioFile: the stored sample bytes of uncompressed files) and the
// converting reader (ExtAudioFile: any readable file decoded to 16-bit integer PCM). Both recognise the
// file by its content (WAV, AIFF, CAF, FLAC, Ogg, MP3, ...), never by its name.
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// The stream description of a sound: 40 bytes, as the callers expect it.
struct AudioStreamBasicDescription {
    double sampleRate = 0;
    uint32_t formatID = 0;
    uint32_t formatFlags = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t framesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t channelsPerFrame = 0;
    uint32_t bitsPerChannel = 0;
    uint32_t reserved = 0;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

constexpr uint32_t kAudioFormatLinearPCM = 0x6C70636D;  // "lpcm"
// Any stored encoding that is not plain PCM (compressed, companded, ADPCM, ...).
constexpr uint32_t kAudioFormatEncoded = 0x656E6364;  // "encd"

constexpr uint32_t kAudioFormatFlagIsFloat = 1;
constexpr uint32_t kAudioFormatFlagIsBigEndian = 2;
constexpr uint32_t kAudioFormatFlagIsSignedInteger = 4;
constexpr uint32_t kAudioFormatFlagIsPacked = 8;

// The stored samples of a file, byte for byte.
class AudioFile {
  public:
    // Null when the file is missing or is not a sound file.
    static std::unique_ptr<AudioFile> open(const std::string& path);
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    const AudioStreamBasicDescription& dataFormat() const { return format_; }
    // Bytes of sample data; 0 for encoded formats, whose stored bytes are not samples.
    uint64_t audioDataByteCount() const { return byteCount_; }
    // Copies up to `count` stored bytes starting `offset` bytes into the sample data (a whole frame
    // boundary). Returns the bytes copied, or -1 on a read error.
    int64_t readBytes(uint64_t offset, void* buffer, uint64_t count);

  private:
    AudioFile() = default;
    void* file_ = nullptr;
    AudioStreamBasicDescription format_;
    uint64_t byteCount_ = 0;
};

// Any readable sound file, decoded to interleaved native-endian signed 16-bit samples.
class ExtAudioFile {
  public:
    static std::unique_ptr<ExtAudioFile> open(const std::string& path);
    ~ExtAudioFile();
    ExtAudioFile(const ExtAudioFile&) = delete;
    ExtAudioFile& operator=(const ExtAudioFile&) = delete;

    const AudioStreamBasicDescription& fileDataFormat() const { return fileFormat_; }
    // Only 16-bit signed packed integer PCM at the file's own rate and channel count is offered.
    bool setClientFormat(const AudioStreamBasicDescription& format);
    // The length the file announces; a damaged file may hold fewer frames.
    int64_t fileLengthFrames() const { return frames_; }
    // Decodes up to `frames` frames into `buffer`; returns the frames decoded (0 at the end) or -1.
    int64_t read(int16_t* buffer, int64_t frames);
    // Moves the decoding position to `frame`; false when the file cannot seek there.
    bool seek(int64_t frame);

  private:
    ExtAudioFile() = default;
    void* file_ = nullptr;
    AudioStreamBasicDescription fileFormat_;
    int64_t frames_ = 0;
    bool clientSet_ = false;
};

}  // namespace plat
