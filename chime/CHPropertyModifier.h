#pragma once
// Moves one property of a target from a start to an end value as a caller feeds in the elapsed fraction;
// the subclasses name the property: a sound source's gain, pan or pitch, the engine's master gain, a long
// source's volume.
#include <memory>
#include <typeinfo>

#include "chime/CHFloatInterpolator.h"

class CHSoundSource;
class CHSoundEngine;
class CHLongAudioSource;

class CHPropertyModifier {
  public:
    // The target is retained.
    CHPropertyModifier(std::shared_ptr<void> target, int interpolationType, float startVal, float endVal);
    virtual ~CHPropertyModifier() = default;

    // t >= 1 sets the end value (and stops the target when asked to); below 1 the interpolated value.
    void modify(float t);

    float startValue() const { return startValue_; }
    void setStartValue(float value);
    float endValue() const { return endValue_; }
    void setEndValue(float value);
    int interpolationType() const { return interpolator_->interpolationType(); }
    void setInterpolationType(int type) { interpolator_->setInterpolationType(type); }
    bool stopTargetWhenComplete() const { return stopTargetWhenComplete_; }
    void setStopTargetWhenComplete(bool stop) { stopTargetWhenComplete_ = stop; }

    virtual void _setTargetProperty(float) {}
    virtual float _getTargetProperty() { return 0.0f; }
    virtual void _stopTarget() {}
    virtual const std::type_info& _allowableType() const { return typeid(void); }

  protected:
    template <class T>
    T* targetAs() const {
        return static_cast<T*>(target_.get());
    }

  private:
    std::unique_ptr<CHFloatInterpolator> interpolator_;
    float startValue_;
    float endValue_;
    std::shared_ptr<void> target_;
    bool stopTargetWhenComplete_ = false;
};

class CHSoundSourceFader : public CHPropertyModifier {
  public:
    CHSoundSourceFader(std::shared_ptr<CHSoundSource> target, int type, float startVal, float endVal);
    void _setTargetProperty(float value) override;
    float _getTargetProperty() override;
    void _stopTarget() override;
    const std::type_info& _allowableType() const override;
};

class CHSoundSourcePanner : public CHPropertyModifier {
  public:
    CHSoundSourcePanner(std::shared_ptr<CHSoundSource> target, int type, float startVal, float endVal);
    void _setTargetProperty(float value) override;
    float _getTargetProperty() override;
    void _stopTarget() override;
    const std::type_info& _allowableType() const override;
};

class CHSoundSourcePitchBender : public CHPropertyModifier {
  public:
    CHSoundSourcePitchBender(std::shared_ptr<CHSoundSource> target, int type, float startVal, float endVal);
    void _setTargetProperty(float value) override;
    float _getTargetProperty() override;
    void _stopTarget() override;
    const std::type_info& _allowableType() const override;
};

class CHSoundEngineFader : public CHPropertyModifier {
  public:
    CHSoundEngineFader(std::shared_ptr<CHSoundEngine> target, int type, float startVal, float endVal);
    void _setTargetProperty(float value) override;
    float _getTargetProperty() override;
    void _stopTarget() override;
    const std::type_info& _allowableType() const override;
};

class CHLongAudioSourceFader : public CHPropertyModifier {
  public:
    CHLongAudioSourceFader(std::shared_ptr<CHLongAudioSource> target, int type, float startVal, float endVal);
    void _setTargetProperty(float value) override;
    float _getTargetProperty() override;
    void _stopTarget() override;
    const std::type_info& _allowableType() const override;
};
