#pragma once
// The engine side of an edit box, as far as the platform bridge needs it: the edit box with its script
// handler, its platform-specific implementation (maximum length, texts, end of editing) and the delegate
// told about editing. Nothing in the game creates an edit box.
#include <string>

namespace kite {

class KTEditBox;

class KTEditBoxDelegate {
  public:
    virtual ~KTEditBoxDelegate() = default;
    virtual void editBoxEditingDidBegin(KTEditBox* editBox) { (void)editBox; }
    virtual void editBoxEditingDidEnd(KTEditBox* editBox) { (void)editBox; }
    virtual void editBoxTextChanged(KTEditBox* editBox, const std::string& text) {
        (void)editBox;
        (void)text;
    }
    virtual void editBoxReturn(KTEditBox* editBox) = 0;
};

class KTEditBox {
  public:
    virtual ~KTEditBox() = default;
    // 0 when no script handles this edit box.
    int getScriptEditBoxHandler() const { return m_nScriptEditBoxHandler; }
    void registerScriptEditBoxHandler(int handler) { m_nScriptEditBoxHandler = handler; }

  private:
    int m_nScriptEditBoxHandler = 0;
};

class KTEditBoxImpl {
  public:
    explicit KTEditBoxImpl(KTEditBox* editBox) : m_pEditBox(editBox) {}
    virtual ~KTEditBoxImpl() = default;

    // Negative: no limit.
    virtual int getMaxLength() = 0;
    // Shows `text` as the box's text while it is not being edited.
    virtual void refreshInactiveText(const char* text) = 0;
    // UTF-8.
    virtual const char* getText() = 0;
    virtual void editBoxEditingDidEnd() = 0;

    KTEditBoxDelegate* getDelegate() const { return m_pDelegate; }
    void setDelegate(KTEditBoxDelegate* delegate) { m_pDelegate = delegate; }
    KTEditBox* getCCEditBox() const { return m_pEditBox; }

  protected:
    KTEditBoxDelegate* m_pDelegate = nullptr;
    KTEditBox* m_pEditBox;
};

}  // namespace kite
