#pragma once
// A push button of the custom type: a picture, a title and a title colour per control state (a state
// without its own falls back to the normal one), drawn centred side by side.
#include <map>
#include <memory>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"

namespace plat {

class Button : public Control {
  public:
    enum class Type { Custom = 0 };

    explicit Button(Rect frame = {});
    static std::shared_ptr<Button> buttonWithType(Type type);
    Type buttonType() const { return Type::Custom; }

    void setImage(std::shared_ptr<Image> image, unsigned state);
    std::shared_ptr<Image> image(unsigned state) const;
    void setTitle(const std::string& title, unsigned state);
    std::string title(unsigned state) const;
    void setTitleColor(const Color& color, unsigned state);
    Color titleColor(unsigned state) const;

    std::shared_ptr<Image> currentImage() const { return image(state()); }
    std::string currentTitle() const { return title(state()); }
    Color currentTitleColor() const { return titleColor(state()); }

    // The label that lays out and draws the title (font, shadow); it is not a subview.
    Label& titleLabel() { return titleLabel_; }
    // A highlighted button without a highlighted picture draws its picture darker.
    bool adjustsImageWhenHighlighted() const { return adjustsImage_; }
    void setAdjustsImageWhenHighlighted(bool on) { adjustsImage_ = on; }

    Size sizeThatFits(Size size) const override;
    void drawRect(cairo_t* cr, const Rect& rect) override;

  private:
    template <typename T>
    static const T* lookup(const std::map<unsigned, T>& values, unsigned state);

    std::map<unsigned, std::shared_ptr<Image>> images_;
    std::map<unsigned, std::string> titles_;
    std::map<unsigned, Color> titleColors_;
    Label titleLabel_;
    bool adjustsImage_ = true;
};

}  // namespace plat
