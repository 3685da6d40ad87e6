#include "chime/CHPropertyModifier.h"

#include "chime/CHLongAudioSource.h"
#include "chime/CHSoundEngine.h"
#include "chime/CHSoundSource.h"

CHPropertyModifier::CHPropertyModifier(std::shared_ptr<void> target, int interpolationType, float startVal,
                                       float endVal)
    : interpolator_(std::make_unique<CHFloatInterpolator>(interpolationType, startVal, endVal)),
      startValue_(startVal),
      endValue_(endVal),
      target_(std::move(target)) {}

void CHPropertyModifier::modify(float t) {
    if (t >= 1.0f) {
        _setTargetProperty(endValue_);
        if (stopTargetWhenComplete_) _stopTarget();
    } else {
        _setTargetProperty(interpolator_->interpolate(t));
    }
}

void CHPropertyModifier::setStartValue(float value) {
    startValue_ = value;
    interpolator_->setStart(value);
}

void CHPropertyModifier::setEndValue(float value) {
    endValue_ = value;
    interpolator_->setEnd(value);
}

CHSoundSourceFader::CHSoundSourceFader(std::shared_ptr<CHSoundSource> target, int type, float s, float e)
    : CHPropertyModifier(std::move(target), type, s, e) {}
void CHSoundSourceFader::_setTargetProperty(float value) {
    if (auto* t = targetAs<CHSoundSource>()) t->setGain(value);
}
float CHSoundSourceFader::_getTargetProperty() {
    auto* t = targetAs<CHSoundSource>();
    return t ? t->gain() : 0.0f;
}
void CHSoundSourceFader::_stopTarget() {
    if (auto* t = targetAs<CHSoundSource>()) t->stop();
}
const std::type_info& CHSoundSourceFader::_allowableType() const {
    return typeid(CHSoundSource);
}

CHSoundSourcePanner::CHSoundSourcePanner(std::shared_ptr<CHSoundSource> target, int type, float s, float e)
    : CHPropertyModifier(std::move(target), type, s, e) {}
void CHSoundSourcePanner::_setTargetProperty(float value) {
    if (auto* t = targetAs<CHSoundSource>()) t->setPan(value);
}
float CHSoundSourcePanner::_getTargetProperty() {
    auto* t = targetAs<CHSoundSource>();
    return t ? t->pan() : 0.0f;
}
void CHSoundSourcePanner::_stopTarget() {
    if (auto* t = targetAs<CHSoundSource>()) t->stop();
}
const std::type_info& CHSoundSourcePanner::_allowableType() const {
    return typeid(CHSoundSource);
}

CHSoundSourcePitchBender::CHSoundSourcePitchBender(std::shared_ptr<CHSoundSource> target, int type, float s,
                                                   float e)
    : CHPropertyModifier(std::move(target), type, s, e) {}
void CHSoundSourcePitchBender::_setTargetProperty(float value) {
    if (auto* t = targetAs<CHSoundSource>()) t->setPitch(value);
}
float CHSoundSourcePitchBender::_getTargetProperty() {
    auto* t = targetAs<CHSoundSource>();
    return t ? t->pitch() : 0.0f;
}
void CHSoundSourcePitchBender::_stopTarget() {
    if (auto* t = targetAs<CHSoundSource>()) t->stop();
}
const std::type_info& CHSoundSourcePitchBender::_allowableType() const {
    return typeid(CHSoundSource);
}

CHSoundEngineFader::CHSoundEngineFader(std::shared_ptr<CHSoundEngine> target, int type, float s, float e)
    : CHPropertyModifier(std::move(target), type, s, e) {}
void CHSoundEngineFader::_setTargetProperty(float value) {
    if (auto* t = targetAs<CHSoundEngine>()) t->setMasterGain(value);
}
float CHSoundEngineFader::_getTargetProperty() {
    auto* t = targetAs<CHSoundEngine>();
    return t ? t->masterGain() : 0.0f;
}
void CHSoundEngineFader::_stopTarget() {
    if (auto* t = targetAs<CHSoundEngine>()) t->stopAllSounds();
}
const std::type_info& CHSoundEngineFader::_allowableType() const {
    return typeid(CHSoundEngine);
}

CHLongAudioSourceFader::CHLongAudioSourceFader(std::shared_ptr<CHLongAudioSource> target, int type, float s,
                                               float e)
    : CHPropertyModifier(std::move(target), type, s, e) {}
void CHLongAudioSourceFader::_setTargetProperty(float value) {
    if (auto* t = targetAs<CHLongAudioSource>()) t->setVolume(value);
}
float CHLongAudioSourceFader::_getTargetProperty() {
    auto* t = targetAs<CHLongAudioSource>();
    return t ? t->volume() : 0.0f;
}
void CHLongAudioSourceFader::_stopTarget() {
    if (auto* t = targetAs<CHLongAudioSource>()) t->pause();
}
const std::type_info& CHLongAudioSourceFader::_allowableType() const {
    return typeid(CHLongAudioSource);
}
