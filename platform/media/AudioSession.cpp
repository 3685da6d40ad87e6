#include "platform/media/AudioSession.h"

#include <AL/alext.h>
#include <dlfcn.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/media/AudioPlayer.h"

namespace plat {

namespace {

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

// Before the first call into OpenAL, which probes the cards through ALSA: a machine without a sound card
// would otherwise print a page of complaints at every start. A user who set the log level to anything but 0
// sees everything, ALSA's lines too.
void quietSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (const char* level = std::getenv("ALSOFT_LOGLEVEL"); level && std::string_view(level) != "0")
            return;
        // The library OpenAL loads for its ALSA backend, reached the same way so that the program gains no
        // link to it; kept loaded, since the handler lives in it.
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!alsa) return;
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler")))
            set(ignoreAlsaError);
    });
}

namespace {

struct FrameMixState {
    std::mutex mutex;
    std::string path;
    SNDFILE* file = nullptr;
    int rate = 0;
    int fps = 0;
    int64_t frame = 0;
    int64_t written = 0;
    bool failed = false;
    ALCdevice* device = nullptr;
    LPALCRENDERSAMPLESSOFT render = nullptr;
    // OpenAL renders floats, which are rounded here: its own 16-bit output would add dither noise, and
    // silence would not be silence.
    std::vector<float> rendered;
    // Samples gather here and reach the file about once a second.
    std::vector<int16_t> block;
    size_t blockFrames = 0;
    size_t frameMax = 0;
};

FrameMixState& frameMix() {
    static Lasting<FrameMixState> state;
    return *state;
}

void flushLocked(FrameMixState& m) {
    if (m.blockFrames == 0) return;
    const auto frames = static_cast<sf_count_t>(m.blockFrames);
    m.blockFrames = 0;
    if (m.failed || sf_writef_short(m.file, m.block.data(), frames) == frames) return;
    m.failed = true;
    logWarning("the mix file %s could not be written (%s); the game plays on silent", m.path.c_str(),
               sf_strerror(m.file));
}

template <class F>
F alcProc(const char* name) {
    return reinterpret_cast<F>(alcGetProcAddress(nullptr, name));
}

ALCdevice* openLoopbackLocked(FrameMixState& m) {
    if (m.device || !alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return nullptr;
    auto open = alcProc<LPALCLOOPBACKOPENDEVICESOFT>("alcLoopbackOpenDeviceSOFT");
    auto supported = alcProc<LPALCISRENDERFORMATSUPPORTEDSOFT>("alcIsRenderFormatSupportedSOFT");
    auto render = alcProc<LPALCRENDERSAMPLESSOFT>("alcRenderSamplesSOFT");
    if (!open || !supported || !render) return nullptr;
    ALCdevice* device = open(nullptr);
    if (!device) return nullptr;
    if (!supported(device, m.rate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT)) {
        alcCloseDevice(device);
        return nullptr;
    }
    m.device = device;
    m.render = render;
    return device;
}

}  // namespace

ALCdevice* openDefaultAudioDevice() {
    quietSoundLibraries();
    ALCdevice* device = nullptr;
    {
        FrameMixState& m = frameMix();
        std::lock_guard lock(m.mutex);
        device = m.file ? openLoopbackLocked(m) : alcOpenDevice(nullptr);
    }
    static std::atomic<bool> told{false};
    if (!device && !told.exchange(true)) logWarning("no sound device; playing silent");
    return device;
}

ALCcontext* createAudioContext(ALCdevice* device) {
    FrameMixState& m = frameMix();
    std::unique_lock lock(m.mutex);
    if (!device || device != m.device) {
        lock.unlock();
        return alcCreateContext(device, nullptr);
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 m.rate,
                                 0};
    return alcCreateContext(device, attributes);
}

void closeAudioDevice(ALCdevice* device) {
    if (!device) return;
    {
        FrameMixState& m = frameMix();
        std::lock_guard lock(m.mutex);
        if (device == m.device) m.device = nullptr;
    }
    alcCloseDevice(device);
}

bool AudioFrameMix::begin(const std::string& path, int rate, int framesPerSecond, int64_t firstFrame,
                          std::string* why) {
    auto fail = [why](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    if (rate < 8000 || rate > 192000 || framesPerSecond < 1 || firstFrame < 0) return fail("bad format");
    FrameMixState& m = frameMix();
    std::lock_guard lock(m.mutex);
    if (m.file) return fail("a mix is already being made");
    // Where the mix of the frames before this run's first ends.
    const int64_t expected = firstFrame * rate / framesPerSecond;
    SNDFILE* file = nullptr;
    sf_count_t have = 0;
    if (firstFrame > 0) {
        SF_INFO info{};
        file = sf_open(path.c_str(), SFM_RDWR, &info);
        if (file && (info.samplerate != rate || info.channels != 2 ||
                     info.format != (SF_FORMAT_WAV | SF_FORMAT_PCM_16) || info.frames > expected ||
                     sf_seek(file, 0, SEEK_END | SFM_WRITE) < 0)) {
            sf_close(file);
            file = nullptr;
        }
        if (file) have = info.frames;
    }
    if (!file) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!file) return fail(sf_strerror(nullptr));
    }
    m.path = path;
    m.file = file;
    m.rate = rate;
    m.fps = framesPerSecond;
    m.frame = firstFrame;
    m.written = 0;
    m.failed = false;
    m.frameMax = static_cast<size_t>((rate + framesPerSecond - 1) / framesPerSecond);
    m.block.assign((static_cast<size_t>(rate) + m.frameMax) * 2, 0);
    m.rendered.assign(m.frameMax * 2, 0.0f);
    m.blockFrames = 0;
    // The frames the file misses (a run before that stopped short, or a file begun afresh) are silence.
    for (int64_t gap = expected - have; gap > 0;) {
        const int64_t n = std::min<int64_t>(gap, static_cast<int64_t>(m.block.size() / 2));
        std::fill_n(m.block.begin(), n * 2, int16_t{0});
        m.blockFrames = static_cast<size_t>(n);
        flushLocked(m);
        gap -= n;
    }
    m.written = expected;
    AudioPlayer::setStreamedByCaller(true);
    return true;
}

bool AudioFrameMix::isOpen() {
    FrameMixState& m = frameMix();
    std::lock_guard lock(m.mutex);
    return m.file != nullptr;
}

void AudioFrameMix::renderFrame() {
    // The players queue what the coming samples need first, on this thread, so that the music too falls
    // on the same samples in every run.
    AudioPlayer::streamAll();
    FrameMixState& m = frameMix();
    std::lock_guard lock(m.mutex);
    if (!m.file) return;
    const int64_t count = (m.frame + 1) * m.rate / m.fps - m.frame * m.rate / m.fps;
    ++m.frame;
    int16_t* at = m.block.data() + m.blockFrames * 2;
    if (m.device) {
        m.render(m.device, m.rendered.data(), static_cast<ALCsizei>(count));
        for (int64_t i = 0; i < count * 2; ++i)
            at[i] =
                static_cast<int16_t>(std::lrint(std::clamp(m.rendered[i] * 32768.0f, -32768.0f, 32767.0f)));
    } else {
        std::fill_n(at, count * 2, int16_t{0});
    }
    m.blockFrames += static_cast<size_t>(count);
    m.written += count;
    if ((m.blockFrames + m.frameMax) * 2 > m.block.size()) flushLocked(m);
}

void AudioFrameMix::end() {
    FrameMixState& m = frameMix();
    std::lock_guard lock(m.mutex);
    if (!m.file) return;
    flushLocked(m);
    if (sf_close(m.file) != 0 && !m.failed)
        logWarning("the mix file %s could not be completed", m.path.c_str());
    m.file = nullptr;
    m.block = {};
    m.rendered = {};
    m.blockFrames = 0;
    AudioPlayer::setStreamedByCaller(false);
}

int64_t AudioFrameMix::samplesWritten() {
    FrameMixState& m = frameMix();
    std::lock_guard lock(m.mutex);
    return m.written;
}

AudioSession& AudioSession::sharedInstance() {
    static Lasting<AudioSession> session;
    return *session;
}

void AudioSession::setDelegate(std::weak_ptr<AudioSessionDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<AudioSessionDelegate> AudioSession::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

bool AudioSession::setCategory(const std::string& category) {
    for (const char* known : {AVAudioSessionCategoryAmbient, AVAudioSessionCategorySoloAmbient,
                              AVAudioSessionCategoryPlayback, AVAudioSessionCategoryPlayAndRecord}) {
        if (category == known) {
            std::lock_guard lock(mutex_);
            category_ = category;
            return true;
        }
    }
    return false;
}

std::string AudioSession::category() const {
    std::lock_guard lock(mutex_);
    return category_;
}

bool AudioSession::setActive(bool active) {
    std::lock_guard lock(mutex_);
    if (active) {
        ++activationAttempts_;
        if (failActivations_ > 0) {
            --failActivations_;
            return false;
        }
    }
    active_ = active;
    return true;
}

bool AudioSession::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

bool AudioSession::otherAudioIsPlaying() const {
    std::lock_guard lock(mutex_);
    return otherAudio_;
}

std::string AudioSession::audioRoute() const {
    quietSoundLibraries();
    const ALCchar* name = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
    return name ? std::string(name) : std::string();
}

void AudioSession::beginInterruption() {
    {
        std::lock_guard lock(mutex_);
        if (interrupted_) return;
        interrupted_ = true;
        active_ = false;
    }
    if (auto d = delegate()) d->beginInterruption();
    AudioPlayer::beginInterruptionOfAll();
}

void AudioSession::endInterruption() {
    {
        std::lock_guard lock(mutex_);
        if (!interrupted_) return;
        interrupted_ = false;
    }
    if (auto d = delegate()) d->endInterruption();
    AudioPlayer::endInterruptionOfAll();
}

bool AudioSession::isInterrupted() const {
    std::lock_guard lock(mutex_);
    return interrupted_;
}

void AudioSession::setOtherAudioIsPlaying(bool playing) {
    std::lock_guard lock(mutex_);
    otherAudio_ = playing;
}

void AudioSession::failNextActivations(int count) {
    std::lock_guard lock(mutex_);
    failActivations_ = count;
}

int AudioSession::activationAttempts() const {
    std::lock_guard lock(mutex_);
    return activationAttempts_;
}

void AudioSession::reset() {
    std::lock_guard lock(mutex_);
    delegate_.reset();
    category_ = AVAudioSessionCategorySoloAmbient;
    active_ = interrupted_ = otherAudio_ = false;
    failActivations_ = activationAttempts_ = 0;
}

}  // namespace plat
