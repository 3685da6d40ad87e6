#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTSet.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/touch/KTTouch.h"
#include "kite/touch/KTTouchDelegateProtocol.h"

using namespace kite;

namespace {
std::pair<float, float> xy(const KTPoint& p) {
    return {p.x, p.y};
}
}  // namespace

namespace {

// A GL view with a chosen scale and viewport and no surface.
class SlotView : public KTEGLViewProtocol {
  public:
    SlotView(float scale, float viewportX, float viewportY) {
        m_fScaleX = m_fScaleY = scale;
        m_obViewPort = KTRect(viewportX, viewportY, 0, 0);
    }
    void end() override {}
    bool isOpenGLReady() override { return true; }
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
};

struct Delivery {
    std::string phase;
    std::vector<int> ids;
    std::vector<KTPoint> points;
};

class SetRecorder : public EGLTouchDelegate {
  public:
    void touchesBegan(KTSet* s, KTEvent*) override { record("began", s); }
    void touchesMoved(KTSet* s, KTEvent*) override { record("moved", s); }
    void touchesEnded(KTSet* s, KTEvent*) override { record("ended", s); }
    void touchesCancelled(KTSet* s, KTEvent*) override { record("cancelled", s); }
    std::vector<Delivery> deliveries;

  private:
    void record(const char* phase, KTSet* set) {
        Delivery d{phase, {}, {}};
        for (KTObject* obj : *set) {
            auto* touch = static_cast<KTTouch*>(obj);
            d.ids.push_back(touch->getID());
            d.points.push_back(touch->getLocationInView());
        }
        std::sort(d.ids.begin(), d.ids.end());
        deliveries.push_back(d);
    }
};

class GLViewTouches : public ::testing::Test {
  protected:
    GLViewTouches() : view(2, 0, -88) { view.setTouchDelegate(&recorder); }
    void begin(std::vector<intptr_t> ids) { call(&KTEGLViewProtocol::handleTouchesBegin, ids); }
    void move(std::vector<intptr_t> ids) { call(&KTEGLViewProtocol::handleTouchesMove, ids); }
    void end(std::vector<intptr_t> ids) { call(&KTEGLViewProtocol::handleTouchesEnd, ids); }
    void cancel(std::vector<intptr_t> ids) { call(&KTEGLViewProtocol::handleTouchesCancel, ids); }

    // Every finger at x = 10 × identity, y = 100 pixels.
    void call(void (KTEGLViewProtocol::*handle)(int, const intptr_t[], const float[], const float[]),
              const std::vector<intptr_t>& ids) {
        std::vector<float> xs, ys;
        for (intptr_t id : ids) {
            xs.push_back(10.0f * static_cast<float>(id));
            ys.push_back(100);
        }
        (view.*handle)(static_cast<int>(ids.size()), ids.data(), xs.data(), ys.data());
    }

    SlotView view;
    SetRecorder recorder;
};

}  // namespace

TEST_F(GLViewTouches, PixelsBecomeDesignPointsThroughScaleAndViewport) {
    begin({7});
    ASSERT_EQ(recorder.deliveries.size(), 1u);
    EXPECT_EQ(recorder.deliveries[0].ids, std::vector<int>{0});
    // (70 − 0) / 2, (100 − (−88)) / 2
    EXPECT_EQ(xy(recorder.deliveries[0].points[0]), xy(KTPoint(35, 94)));
    end({7});
}

TEST_F(GLViewTouches, SixFingersFillFiveSlotsAndTheSixthIsNeverDelivered) {
    begin({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(recorder.deliveries.size(), 1u);
    EXPECT_EQ(recorder.deliveries[0].ids, (std::vector<int>{0, 1, 2, 3, 4}));
    move({6});
    EXPECT_EQ(recorder.deliveries.size(), 1u) << "a move of an untracked finger delivers nothing";
    end({6});
    ASSERT_EQ(recorder.deliveries.size(), 2u);
    EXPECT_EQ(recorder.deliveries[1].phase, "ended");
    EXPECT_TRUE(recorder.deliveries[1].ids.empty()) << "the ended set is delivered even when empty";
    end({1, 2, 3});
    cancel({4, 5});
    EXPECT_EQ(recorder.deliveries[3].phase, "cancelled");
    EXPECT_EQ(recorder.deliveries[3].ids, (std::vector<int>{3, 4}));
}

TEST_F(GLViewTouches, FreedSlotsAreReusedLowestFirstAndRepeatedBeginsIgnored) {
    begin({1});
    begin({2});
    begin({2});
    EXPECT_EQ(recorder.deliveries.size(), 2u) << "a finger already tracked is not began twice";
    end({1});
    begin({3});
    ASSERT_EQ(recorder.deliveries.size(), 4u);
    EXPECT_EQ(recorder.deliveries[3].ids, std::vector<int>{0});
    move({3, 2, 99});
    EXPECT_EQ(recorder.deliveries[4].ids, (std::vector<int>{0, 1}));
    end({2, 3});
    // Bad arrays are refused without touching memory.
    view.handleTouchesBegin(3, nullptr, nullptr, nullptr);
    view.handleTouchesBegin(-1, nullptr, nullptr, nullptr);
    EXPECT_EQ(recorder.deliveries.size(), 6u);
}
