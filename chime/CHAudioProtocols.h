#pragma once
// The small interfaces shared across the audio engine, its notification names and reserved sound ids.
#include <AL/al.h>

// Sound ids that are not OpenAL sources: no buffer could be had or playback was refused, and no source
// could be had or the start failed.
inline constexpr ALuint CH_SOUND_ID_NO_BUFFER = 0xFEEDBAB;
inline constexpr ALuint CH_SOUND_ID_NO_SOURCE = 0xFEEDFAC;

inline constexpr const char* kCHN_AudioManagerInitialised = "kCHN_AudioManagerInitialised";
inline constexpr const char* kCHN_BadAlContext = "kCHN_BadAlContext";
inline constexpr const char* kCHN_AsynchLoadComplete = "kCHN_AsynchLoadComplete";

class CHAudioInterruptProtocol {
  public:
    virtual ~CHAudioInterruptProtocol() = default;
    virtual bool mute() const = 0;
    virtual void setMute(bool mute) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

class CHAudioTransportProtocol {
  public:
    virtual ~CHAudioTransportProtocol() = default;
    virtual bool play() = 0;
    virtual bool pause() = 0;
    virtual bool stop() = 0;
    virtual bool rewind() = 0;
};
