#include "chime/CHUtilities.h"

#include "platform/base/Log.h"

#include <AL/alc.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>

#include "platform/media/AudioFile.h"
#include "platform/storage/Bundle.h"

namespace {

// Sound effects are decoded whole into memory; nothing reasonable is larger than this.
constexpr uint64_t kMaxDecodedBytes = 256ull * 1024 * 1024;
constexpr int64_t kConvertChunkFrames = 16384;

ALenum alFormatFor(uint32_t channels, uint32_t bits) {
    if (channels == 1) return bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

bool usableRate(double rate) {
    return rate >= 1.0 && rate <= 1e6;
}

}  // namespace

std::string CHUtilities::fullPathFromRelativePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::filesystem::path p(path);
    std::string file = p.filename().string();
    if (file.empty()) return path;
    auto found = plat::Bundle::main().pathForResource(file, {}, p.parent_path().string());
    return found.empty() ? path : found.string();
}

bool CHUnusableFiles::noteFailure(const char* kind, const std::string& path, const std::string& fullPath) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fullPath, ec)) {
        if (reportedMissing_.insert(fullPath).second)
            plat::logError("Chime: %s file %s not found", kind, path.c_str());
        return false;
    }
    reportedMissing_.erase(fullPath);
    if (undecodable_.insert(fullPath).second)
        plat::logError("Chime: %s file %s cannot be decoded; it will not be tried again", kind,
                       fullPath.c_str());
    return true;
}

void CHUnusableFiles::forget(const std::string& fullPath) {
    undecodable_.erase(fullPath);
    reportedMissing_.erase(fullPath);
}

bool decodeSoundFile(const std::string& path, CHDecodedSound& out) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    if (ext.empty() || strcasecmp(ext.c_str(), "wav") == 0) return readLinearPcmFile(path, out);
    return convertToPcm16(path, out);
}

bool readLinearPcmFile(const std::string& path, CHDecodedSound& out) {
    auto file = plat::AudioFile::open(path);
    if (!file) return false;
    const auto& f = file->dataFormat();
    if (f.channelsPerFrame >= 3 || f.formatID != plat::kAudioFormatLinearPCM ||
        (f.formatFlags & plat::kAudioFormatFlagIsBigEndian) != 0)
        return false;
    if (f.bitsPerChannel != 8 && f.bitsPerChannel != 16) return false;
    // OpenAL takes 8-bit samples as unsigned and 16-bit ones as signed; anything else would play as noise.
    bool isSigned = (f.formatFlags & plat::kAudioFormatFlagIsSignedInteger) != 0;
    if ((f.formatFlags & plat::kAudioFormatFlagIsFloat) != 0 || isSigned != (f.bitsPerChannel == 16))
        return false;
    if (!usableRate(f.sampleRate)) return false;
    uint64_t count = file->audioDataByteCount();
    if (count > kMaxDecodedBytes) return false;
    std::vector<uint8_t> data;
    try {
        data.assign(count, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    int64_t read = file->readBytes(0, data.data(), count);
    if (read < 0) return false;
    data.resize(static_cast<size_t>(read));
    out.data = std::move(data);
    out.format = alFormatFor(f.channelsPerFrame, f.bitsPerChannel);
    out.frequency = static_cast<ALsizei>(f.sampleRate);
    return true;
}

bool convertToPcm16(const std::string& path, CHDecodedSound& out) {
    auto file = plat::ExtAudioFile::open(path);
    if (!file) return false;
    const auto& f = file->fileDataFormat();
    if (f.channelsPerFrame > 2 || !usableRate(f.sampleRate)) return false;
    plat::AudioStreamBasicDescription client;
    client.sampleRate = f.sampleRate;
    client.formatID = plat::kAudioFormatLinearPCM;
    client.formatFlags = plat::kAudioFormatFlagIsSignedInteger | plat::kAudioFormatFlagIsPacked;
    client.bitsPerChannel = 16;
    client.channelsPerFrame = f.channelsPerFrame;
    client.framesPerPacket = 1;
    client.bytesPerFrame = client.bytesPerPacket = 2 * f.channelsPerFrame;
    if (!file->setClientFormat(client)) return false;

    // The announced length only bounds the read: damaged files may claim far more than they hold, so the
    // block grows with what is really decoded.
    int64_t wanted = file->fileLengthFrames();
    uint64_t bpf = client.bytesPerFrame;
    if (static_cast<uint64_t>(wanted) > kMaxDecodedBytes / bpf) return false;
    std::vector<uint8_t> data;
    int64_t done = 0;
    try {
        while (done < wanted) {
            int64_t n = std::min(kConvertChunkFrames, wanted - done);
            data.resize(static_cast<size_t>((done + n) * bpf));
            int64_t got = file->read(reinterpret_cast<int16_t*>(data.data() + done * bpf), n);
            if (got < 0) return false;
            done += got;
            if (got < n) break;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    data.resize(static_cast<size_t>(done * bpf));
    out.data = std::move(data);
    out.format = f.channelsPerFrame == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    out.frequency = static_cast<ALsizei>(f.sampleRate);
    return true;
}

void setMixerOutputRate(double rate) {
    using RateProc = ALvoid (*)(const ALdouble);
    // Looked up once: the rate extension exists on some platforms only.
    static RateProc proc = reinterpret_cast<RateProc>(alcGetProcAddress(nullptr, "alcMacOSXMixerOutputRate"));
    if (proc) proc(rate);
}
