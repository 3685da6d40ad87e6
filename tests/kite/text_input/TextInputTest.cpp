#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/layers/KTLayer.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "kite/text_input/CustomUITextField.h"
#include "kite/text_input/EAGLViewTextInput.h"
#include "kite/text_input/EditBoxImplIOS.h"
#include "kite/text_input/KTIMEDispatcher.h"
#include "kite/text_input/KTPlatformKeyInput.h"

using namespace kite;

namespace {

class Typist : public KTIMEDelegate {
  public:
    explicit Typist(std::vector<std::string>* log, std::string name = "t")
        : log_(log), name_(std::move(name)) {}
    void insertText(const char* text, int length) override {
        log_->push_back(name_ + ".insert:" + std::string(text, static_cast<size_t>(length)) + "/" +
                        std::to_string(length));
    }
    void deleteBackward() override { log_->push_back(name_ + ".delete"); }
    void keyboardWillShow(KeyboardNotificationInfo&) override { log_->push_back(name_ + ".willShow"); }
    void keyboardDidShow(KeyboardNotificationInfo& info) override {
        log_->push_back(name_ + ".didShow");
        lastInfo = info;
    }
    void keyboardWillHide(KeyboardNotificationInfo&) override { log_->push_back(name_ + ".willHide"); }
    void keyboardDidHide(KeyboardNotificationInfo&) override { log_->push_back(name_ + ".didHide"); }
    KeyboardNotificationInfo lastInfo;

  private:
    std::vector<std::string>* log_;
    std::string name_;
};

class BackLayer : public KTLayer {
  public:
    static BackLayer* create() {
        auto* layer = new BackLayer();
        layer->init();
        return ktAutorelease(layer);
    }
    void backKeyPressed() override { ++backs; }
    void menuKeyPressed() override { ++menus; }
    int backs = 0, menus = 0;
};

class App : public KTApplication {
  public:
    bool applicationDidFinishLaunching() override {
        KTDirector* director = KTDirector::sharedDirector();
        KTEGLView* glView = KTEGLView::sharedOpenGLView();
        director->setOpenGLView(glView);
        glView->setDesignResolutionSize(320, 568, kResolutionExactFit);
        KTScene* scene = KTScene::create();
        layer = BackLayer::create();
        layer->setKeypadEnabled(true);
        scene->addChild(layer);
        director->runWithScene(scene);
        return true;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    BackLayer* layer = nullptr;
};

class EditBox : public KTEditBox, public KTEditBoxImpl, public KTEditBoxDelegate {
  public:
    explicit EditBox(std::vector<std::string>* log) : KTEditBoxImpl(this), log_(log) { setDelegate(this); }
    int getMaxLength() override { return maxLength; }
    void refreshInactiveText(const char* text) override { log_->push_back(std::string("refresh:") + text); }
    const char* getText() override {
        text = bridge ? bridge->textField()->text() : "";
        return text.c_str();
    }
    void editBoxEditingDidEnd() override { log_->push_back("implEnded"); }
    void editBoxEditingDidBegin(KTEditBox*) override { log_->push_back("began"); }
    void editBoxEditingDidEnd(KTEditBox*) override { log_->push_back("ended"); }
    void editBoxTextChanged(KTEditBox*, const std::string& t) override { log_->push_back("changed:" + t); }
    void editBoxReturn(KTEditBox*) override { log_->push_back("return"); }

    int maxLength = -1;
    std::string text;
    EditBoxImplIOS* bridge = nullptr;

  private:
    std::vector<std::string>* log_;
};

// A headless app with the real GL surface view, shared GL view and director.
class TextInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        ASSERT_TRUE(driver.launch(app));
        driver.runFrames(2);
        view = EAGLView::sharedEGLView();
        ASSERT_TRUE(view);
    }
    EAGLViewTextInput& input() { return EAGLViewTextInput::shared(); }
    void key(unsigned long keysym, const std::string& text = "") { view->keyInput({true, keysym, text}); }

    KTHeadlessDriver driver;
    App app;
    std::shared_ptr<EAGLView> view;
    std::vector<std::string> log;
};

}  // namespace

TEST(KTIMEDispatcher, TextGoesToTheKeyboardDelegateAndNoticesToEveryone) {
    std::vector<std::string> log;
    KTIMEDispatcher* dispatcher = KTIMEDispatcher::sharedDispatcher();
    {
        Typist first(&log, "a");
        Typist second(&log, "b");
        dispatcher->dispatchInsertText("abc", 3);
        EXPECT_TRUE(log.empty()) << "nobody has the keyboard";
        ASSERT_TRUE(dispatcher->attachDelegateWithIME(&second));
        dispatcher->dispatchInsertText("abc", 3);
        dispatcher->dispatchInsertText("", 0);
        dispatcher->dispatchInsertText(nullptr, 4);
        dispatcher->dispatchDeleteBackward();
        KeyboardNotificationInfo info;
        dispatcher->dispatchKeyboardWillHide(info);
        EXPECT_EQ(log, (std::vector<std::string>{"b.insert:abc/3", "b.delete", "a.willHide", "b.willHide"}));
    }
    // Destroyed delegates left the list and the keyboard.
    EXPECT_EQ(dispatcher->getKeyboardDelegate(), nullptr);
    log.clear();
    dispatcher->dispatchDeleteBackward();
    KeyboardNotificationInfo info;
    dispatcher->dispatchKeyboardDidHide(info);
    EXPECT_TRUE(log.empty());
}

TEST_F(TextInputTest, TypedKeysReachTheAttachedDelegateOnceTheKeyboardIsUp) {
    Typist typist(&log);
    key('x', "x");  // typed while nobody has the keyboard: dropped at the next frame
    driver.runFrames(1);
    ASSERT_TRUE(typist.attachWithIME());
    EXPECT_TRUE(view->isFirstResponder());
    key('a', "a");
    key('b', "b");
    key(0xe9, "\xc3\xa9");
    key(KTPlatformKeyInput::kKeyBackSpace, "\b");
    key(KTPlatformKeyInput::kKeyReturn, "\r");
    view->keyInput({false, 'c', ""});
    driver.runFrames(1);
    EXPECT_EQ(log, (std::vector<std::string>{"t.willShow", "t.didShow", "t.insert:a/1", "t.insert:b/1",
                                             "t.insert:\xc3\xa9/2", "t.delete", "t.insert:\n/1"}));
    EXPECT_TRUE(input().isKeyboardShown());
    EXPECT_TRUE(view->isKeyboardShown());
    // The simulated keyboard rises 216 points from the bottom: its design rectangle, and the caret
    // 12 points above it with no height.
    EXPECT_FLOAT_EQ(typist.lastInfo.end.size.height, 216);
    EXPECT_FLOAT_EQ(typist.lastInfo.end.origin.y, 0);
    EXPECT_FLOAT_EQ(input().caretRect().origin.y, 568 - 216 - 12);
    EXPECT_FLOAT_EQ(input().caretRect().size.height, 0);

    log.clear();
    ASSERT_TRUE(typist.detachWithIME());
    driver.runFrames(1);
    EXPECT_EQ(log, (std::vector<std::string>{"t.willHide", "t.didHide"}));
    EXPECT_FALSE(view->isKeyboardShown());
    EXPECT_FLOAT_EQ(input().caretRect().size.width, 0);
    EXPECT_FLOAT_EQ(input().caretRect().origin.y, 0);
}

TEST_F(TextInputTest, EscapeAndMenuKeysReachAKeypadLayer) {
    key(KTPlatformKeyInput::kKeyEscape, "\x1b");
    key(KTPlatformKeyInput::kKeyMenu);
    key(KTPlatformKeyInput::kKeyEscape, "\x1b");
    driver.runFrames(1);
    EXPECT_EQ(app.layer->backs, 2);
    EXPECT_EQ(app.layer->menus, 1);
}

TEST_F(TextInputTest, CompositionIsDeliveredOnceWhenUnmarked) {
    Typist typist(&log);
    typist.attachWithIME();
    input().setMarkedText("かな");
    input().setMarkedText("かな");
    input().unmarkText();
    input().unmarkText();
    input().setMarkedText("x");
    input().insertText("y");
    input().unmarkText();
    EXPECT_EQ(log, (std::vector<std::string>{"t.insert:かな/6", "t.insert:y/1"}));
    typist.detachWithIME();
}

TEST_F(TextInputTest, ViewMovesAboveTheKeyboardOnlyForPositiveDistances) {
    const KTRect original = input().originalRect();
    input().doAnimationWhenKeyboardMoveWithDuration(0.3f, -40);
    EXPECT_FLOAT_EQ(input().animatedFrame().origin.y, original.origin.y);
    // 40 points × scale 2, halved on a content scale of 2.
    input().doAnimationWhenKeyboardMoveWithDuration(0.3f, 40);
    EXPECT_FLOAT_EQ(input().animatedFrame().origin.y, original.origin.y - 40);
}

TEST_F(TextInputTest, EditBoxFieldTakesTypingReportsEditingAndClosesOnATouch) {
    EditBox box(&log);
    auto bridge = EditBoxImplIOS::initWithFrame(KTRect(10, 20, 200, 30), &box);
    ASSERT_TRUE(bridge);
    box.bridge = bridge.get();
    CustomUITextField* field = bridge->textField();
    EXPECT_FLOAT_EQ(field->fontSize, 20);
    // GL view scale 2 on a content scale of 2: 5 points on each side.
    const KTRect inner = field->textRectForBounds(KTRect(0, 0, 200, 30));
    EXPECT_FLOAT_EQ(inner.origin.x, 5);
    EXPECT_FLOAT_EQ(inner.size.width, 190);
    EXPECT_FLOAT_EQ(inner.size.height, 20);

    bridge->openKeyboard();
    EXPECT_TRUE(bridge->isEditState());
    box.maxLength = 3;
    key('h', "h");
    key('i', "i");
    key(KTPlatformKeyInput::kKeyBackSpace, "\b");
    key('o', "o");
    key('!', "!");
    key('?', "?");  // over the limit of three
    driver.runFrames(1);
    EXPECT_EQ(field->text(), "ho!");
    EXPECT_TRUE(view->isKeyboardShown());

    // With the keyboard shown a touch does not reach the engine; it ends the field's editing.
    view->touchesBegan({{1, KTPoint(5, 5)}});
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(bridge->isEditState());
    EXPECT_EQ(log, (std::vector<std::string>{"began", "changed:h", "changed:hi", "changed:h", "changed:ho",
                                             "changed:ho!", "refresh:ho!", "ended", "return", "implEnded"}));
    bridge->closeKeyboard();
    driver.runFrames(1);
    EXPECT_FALSE(view->isKeyboardShown());
}

TEST(EditBoxImplIOS, LengthLimitCountsUtf16Units) {
    std::vector<std::string> log;
    EditBox box(&log);
    auto bridge = EditBoxImplIOS::initWithFrame(KTRect(0, 0, 100, 30), &box);
    CustomUITextField* field = bridge->textField();
    field->setText("0123456789");
    box.maxLength = 10;
    EXPECT_TRUE(bridge->textFieldShouldChangeCharacters(field, 0, 2, "ab"));
    EXPECT_FALSE(bridge->textFieldShouldChangeCharacters(field, 0, 2, "abc"));
    EXPECT_FALSE(bridge->textFieldShouldChangeCharacters(field, 10, 0, "\xf0\x9f\x98\x80"));  // two units
    EXPECT_TRUE(bridge->textFieldShouldChangeCharacters(field, 8, 2, "\xf0\x9f\x98\x80"));
    box.maxLength = -1;
    EXPECT_TRUE(bridge->textFieldShouldChangeCharacters(field, 0, 0, std::string(500, 'x')));
    EXPECT_FALSE(bridge->textFieldShouldReturn(field));
}
