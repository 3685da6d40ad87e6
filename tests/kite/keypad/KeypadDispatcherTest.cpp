#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/keypad/KTKeypadDispatcher.h"
#include "kite/keypad/KTKeypadHandler.h"

using namespace kite;

namespace {

class Keys : public KTObject, public KTKeypadDelegate {
  public:
    Keys(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
    void backKeyPressed() override {
        log_->push_back(name_ + ".back");
        if (onKey) std::exchange(onKey, nullptr)();
    }
    void menuKeyPressed() override { log_->push_back(name_ + ".menu"); }
    std::function<void()> onKey;

  private:
    std::vector<std::string>* log_;
    std::string name_;
};

// Not an engine object: it cannot be held.
class Loose : public KTKeypadDelegate {};

}  // namespace

TEST(KTKeypadDispatcher, RegistersInOrderAndDefersChangesMadeDuringADispatch) {
    KTAutoreleasePoolStack::sharedPoolStack()->push();
    std::vector<std::string> log;
    auto* dispatcher = new KTKeypadDispatcher();
    auto* a = new Keys(&log, "a");
    auto* b = new Keys(&log, "b");

    dispatcher->addDelegate(nullptr);
    Loose loose;
    dispatcher->addDelegate(&loose);
    EXPECT_EQ(dispatcher->getHandlers()->count(), 0u);

    dispatcher->addDelegate(a);
    dispatcher->addDelegate(b);
    dispatcher->addDelegate(a);
    EXPECT_EQ(dispatcher->getHandlers()->count(), 3u) << "a delegate added twice gets two handlers";
    EXPECT_TRUE(dispatcher->dispatchKeypadMSG(kTypeMenuClicked));
    EXPECT_EQ(log, (std::vector<std::string>{"a.menu", "b.menu", "a.menu"}));

    dispatcher->removeDelegate(a);
    log.clear();
    // b removes itself and adds a during the dispatch: both wait for its end.
    b->onKey = [&] {
        dispatcher->removeDelegate(b);
        dispatcher->addDelegate(a);
        EXPECT_EQ(dispatcher->getHandlers()->count(), 2u);
    };
    EXPECT_TRUE(dispatcher->dispatchKeypadMSG(kTypeBackClicked));
    EXPECT_EQ(log, (std::vector<std::string>{"b.back", "a.back"}));
    ASSERT_EQ(dispatcher->getHandlers()->count(), 2u);
    EXPECT_FALSE(dispatcher->dispatchKeypadMSG(static_cast<ktKeypadMSGType>(7)));

    dispatcher->release();
    KTAutoreleasePoolStack::sharedPoolStack()->pop();
    // The handlers held the last extra references.
    EXPECT_EQ(a->retainCount(), 1u);
    EXPECT_EQ(b->retainCount(), 1u);
    a->release();
    b->release();
}
