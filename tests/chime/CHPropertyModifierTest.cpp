#include <gtest/gtest.h>

#include <cmath>

#include "chime/CHAudioInterruptTargetGroup.h"
#include "chime/CHFloatInterpolator.h"
#include "chime/CHLongAudioSource.h"
#include "chime/CHPropertyModifier.h"
#include "chime/CHSoundEngine.h"
#include "chime/CHSoundSource.h"

namespace {

TEST(CHFloatInterpolator, CurvesAndTheirEnds) {
    CHFloatInterpolator linear(kIT_Linear, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(linear.interpolate(0.25f), 0.25f);
    CHFloatInterpolator s(kIT_SCurve, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(s.interpolate(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(s.interpolate(0.25f), 0.15625f);

    CHFloatInterpolator rising(kIT_Exponential, 2.0f, 4.0f);
    EXPECT_EQ(rising.interpolate(0.0f), 2.0f);
    EXPECT_FLOAT_EQ(rising.interpolate(0.5f), 2.0f + 2.0f * (std::pow(2.0f, -5.0f) - 0.001f));
    // Just below the end it stays 0.001 of the distance short; at 1 it jumps to the end.
    EXPECT_NEAR(rising.interpolate(0.9999999f), 4.0f - 0.002f, 1e-5);
    EXPECT_EQ(rising.interpolate(1.0f), 4.0f);
    CHFloatInterpolator falling(kIT_Exponential, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(falling.interpolate(0.1f), 1.0f - (1.0f - std::pow(2.0f, -1.0f)));

    for (int type : {0, 1, 2, 7}) {
        CHFloatInterpolator any(type, 3.0f, 5.0f);
        EXPECT_EQ(any.interpolate(1.0f), 5.0f);
        EXPECT_EQ(any.interpolate(2.5f), 5.0f);
    }
    CHFloatInterpolator unknown(7, 3.0f, 5.0f);
    EXPECT_EQ(unknown.interpolate(0.5f), 0.0f);
}

TEST(CHPropertyModifier, DrivesTheEngineAndSourcesAndStopsWhenAsked) {
    auto engine = CHSoundEngine::create();
    ASSERT_TRUE(engine->functioning());
    CHSoundEngineFader fader(engine, kIT_Linear, 1.0f, 0.0f);
    fader.modify(0.25f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.75f);
    EXPECT_FLOAT_EQ(fader._getTargetProperty(), 0.75f);
    fader.setEndValue(0.5f);
    fader.modify(0.5f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.75f);
    fader.modify(1.0f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.5f);
    EXPECT_EQ(fader._allowableType(), typeid(CHSoundEngine));

    std::vector<uint8_t> data(16000, 0);
    ASSERT_TRUE(engine->loadBufferFromData(0, data.data(), AL_FORMAT_MONO16, 16000, 8000));
    auto source = engine->soundSourceForSound(0, 0);
    ASSERT_TRUE(source);
    source->setLooping(true);
    ASSERT_TRUE(source->play());
    CHSoundSourcePitchBender bender(source, kIT_SCurve, 1.0f, 2.0f);
    bender.modify(0.5f);
    EXPECT_FLOAT_EQ(source->pitch(), 1.5f);
    CHSoundSourcePanner panner(source, kIT_Linear, -1.0f, 1.0f);
    panner.modify(0.75f);
    EXPECT_FLOAT_EQ(source->pan(), 0.5f);
    CHSoundSourceFader gain(source, kIT_Linear, 1.0f, 0.0f);
    gain.setStopTargetWhenComplete(true);
    gain.modify(0.5f);
    EXPECT_TRUE(source->isPlaying());
    gain.modify(1.0f);
    EXPECT_EQ(source->gain(), 0.0f);
    EXPECT_FALSE(source->isPlaying());

    auto channel = CHLongAudioSource::create();
    CHLongAudioSourceFader volume(channel, kIT_Linear, 0.0f, 1.0f);
    volume.setInterpolationType(kIT_Exponential);
    EXPECT_EQ(volume.interpolationType(), kIT_Exponential);
    volume.modify(0.0f);
    EXPECT_EQ(channel->volume(), 0.0f);

    CHPropertyModifier plain(nullptr, kIT_Linear, 0.0f, 1.0f);
    plain.modify(1.0f);
    EXPECT_EQ(plain._getTargetProperty(), 0.0f);
    CHSoundSourceFader orphan(nullptr, kIT_Linear, 0.0f, 1.0f);
    orphan.setStopTargetWhenComplete(true);
    orphan.modify(1.0f);  // no target: nothing happens
}

struct Target : CHAudioInterruptProtocol {
    bool mute() const override { return muted; }
    void setMute(bool m) override { muted = m, ++calls; }
    bool enabled() const override { return on; }
    void setEnabled(bool e) override { on = e, ++calls; }
    bool muted = false, on = true;
    int calls = 0;
};

TEST(CHAudioInterruptTargetGroup, PassesChangesOnAndGivesNewTargetsItsValues) {
    CHAudioInterruptTargetGroup group;
    auto a = std::make_shared<Target>();
    auto b = std::make_shared<Target>();
    group.addAudioInterruptTarget(a);
    group.setMute(true);
    group.setMute(true);  // no change, nothing sent
    EXPECT_TRUE(group.mute());
    EXPECT_TRUE(a->muted);
    EXPECT_EQ(a->calls, 3);
    group.addAudioInterruptTarget(b);
    EXPECT_TRUE(b->muted);
    group.removeAudioInterruptTarget(std::make_shared<Target>());  // not held: nothing
    group.removeAudioInterruptTarget(a);
    group.setEnabled(false);
    EXPECT_TRUE(a->on);
    EXPECT_FALSE(b->on);

    // Groups nest, and a real sound source follows.
    auto engine = CHSoundEngine::create();
    std::vector<uint8_t> data(100, 0);
    ASSERT_TRUE(engine->loadBufferFromData(0, data.data(), AL_FORMAT_MONO8, 100, 8000));
    auto source = engine->soundSourceForSound(0, 0);
    auto inner = std::make_shared<CHAudioInterruptTargetGroup>();
    inner->addAudioInterruptTarget(source);
    group.addAudioInterruptTarget(inner);
    EXPECT_TRUE(source->mute());
    EXPECT_FALSE(source->enabled());
    EXPECT_FALSE(source->play());
}

}  // namespace
