#include "platform/media/AudioFile.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>

namespace plat {

namespace {

SNDFILE* openForReading(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    struct stat st;
    // Directories and devices would make the reader block or fail in odd ways.
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return nullptr;
    if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
        sf_close(file);
        return nullptr;
    }
    return file;
}

AudioStreamBasicDescription describe(SNDFILE* file, const SF_INFO& info) {
    AudioStreamBasicDescription d;
    d.sampleRate = info.samplerate;
    d.channelsPerFrame = static_cast<uint32_t>(info.channels);
    d.framesPerPacket = 1;
    uint32_t bits = 0;
    uint32_t flags = kAudioFormatFlagIsPacked;
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_U8:
            bits = 8;
            break;
        case SF_FORMAT_PCM_S8:
            bits = 8, flags |= kAudioFormatFlagIsSignedInteger;
            break;
        case SF_FORMAT_PCM_16:
            bits = 16, flags |= kAudioFormatFlagIsSignedInteger;
            break;
        case SF_FORMAT_PCM_24:
            bits = 24, flags |= kAudioFormatFlagIsSignedInteger;
            break;
        case SF_FORMAT_PCM_32:
            bits = 32, flags |= kAudioFormatFlagIsSignedInteger;
            break;
        case SF_FORMAT_FLOAT:
            bits = 32, flags |= kAudioFormatFlagIsFloat;
            break;
        case SF_FORMAT_DOUBLE:
            bits = 64, flags |= kAudioFormatFlagIsFloat;
            break;
        default:
            break;
    }
    if (bits == 0) {
        d.formatID = kAudioFormatEncoded;
        return d;
    }
    d.formatID = kAudioFormatLinearPCM;
    bool swapped = sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    bool hostBig = std::endian::native == std::endian::big;
    if (bits > 8 && swapped != hostBig) flags |= kAudioFormatFlagIsBigEndian;
    d.formatFlags = flags;
    d.bitsPerChannel = bits;
    d.bytesPerFrame = bits / 8 * d.channelsPerFrame;
    d.bytesPerPacket = d.bytesPerFrame;
    return d;
}

}  // namespace

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path) {
    SF_INFO info;
    SNDFILE* file = openForReading(path, info);
    if (!file) return nullptr;
    std::unique_ptr<AudioFile> result(new AudioFile);
    result->file_ = file;
    result->format_ = describe(file, info);
    if (result->format_.formatID == kAudioFormatLinearPCM) {
        // Stored samples cannot outnumber the bytes of the file, whatever its header says.
        struct stat st;
        uint64_t fileSize = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
        uint64_t bpf = result->format_.bytesPerFrame;
        uint64_t frames = std::min<uint64_t>(static_cast<uint64_t>(info.frames), fileSize / bpf);
        result->byteCount_ = frames * bpf;
    }
    return result;
}

AudioFile::~AudioFile() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

int64_t AudioFile::readBytes(uint64_t offset, void* buffer, uint64_t count) {
    if (format_.formatID != kAudioFormatLinearPCM || format_.bytesPerFrame == 0) return -1;
    if (offset >= byteCount_ || count == 0) return 0;
    auto* file = static_cast<SNDFILE*>(file_);
    if (sf_seek(file, static_cast<sf_count_t>(offset / format_.bytesPerFrame), SEEK_SET) < 0) return -1;
    count = std::min(count, byteCount_ - offset);
    uint64_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < count) {
        sf_count_t n = sf_read_raw(file, out + done, static_cast<sf_count_t>(count - done));
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<uint64_t>(n);
    }
    return static_cast<int64_t>(done);
}

std::unique_ptr<ExtAudioFile> ExtAudioFile::open(const std::string& path) {
    SF_INFO info;
    SNDFILE* file = openForReading(path, info);
    if (!file) return nullptr;
    std::unique_ptr<ExtAudioFile> result(new ExtAudioFile);
    result->file_ = file;
    result->fileFormat_ = describe(file, info);
    result->frames_ = info.frames == SF_COUNT_MAX ? 0 : info.frames;
    // Float files are read as full-scale integers, clipped rather than wrapped.
    sf_command(file, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return result;
}

ExtAudioFile::~ExtAudioFile() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

bool ExtAudioFile::setClientFormat(const AudioStreamBasicDescription& f) {
    bool ok = f.formatID == kAudioFormatLinearPCM && f.bitsPerChannel == 16 &&
              (f.formatFlags & kAudioFormatFlagIsFloat) == 0 &&
              (f.formatFlags & kAudioFormatFlagIsSignedInteger) != 0 &&
              f.channelsPerFrame == fileFormat_.channelsPerFrame && f.sampleRate == fileFormat_.sampleRate &&
              f.bytesPerFrame == 2 * f.channelsPerFrame && f.framesPerPacket == 1;
    clientSet_ = ok;
    return ok;
}

int64_t ExtAudioFile::read(int16_t* buffer, int64_t frames) {
    if (!clientSet_ || frames < 0) return -1;
    if (frames == 0) return 0;
    sf_count_t n = sf_readf_short(static_cast<SNDFILE*>(file_), buffer, frames);
    if (n < 0) return -1;
    // A decoder that stopped on damaged data reports it here rather than through the count.
    if (n == 0 && sf_error(static_cast<SNDFILE*>(file_)) != SF_ERR_NO_ERROR) return -1;
    return n;
}

bool ExtAudioFile::seek(int64_t frame) {
    return sf_seek(static_cast<SNDFILE*>(file_), frame, SEEK_SET) >= 0;
}

}  // namespace plat
