#include "ads/adapters/ZividedirInterfaceView.h"

#include "platform/base/ClassRegistry.h"
#include "platform/ui/ImageView.h"

std::optional<std::string> ZividedirAdapterSettings::text(std::string_view key) const {
    const plat::Value* value = values.find(key);
    if (!value) return std::nullopt;
    if (const auto* s = value->stringIf()) return *s;
    return std::nullopt;
}

void ZividedirViewClass::registerClass(const std::string& name, Maker maker) {
    plat::ClassRegistry::shared().registerProvider<ZividedirViewClass>(
        name, std::make_shared<ZividedirViewClass>(std::move(maker)));
}

std::shared_ptr<ZividedirViewClass> ZividedirViewClass::named(std::string_view name) {
    return plat::ClassRegistry::shared().provider<ZividedirViewClass>(name);
}

std::string ZividedirViewClass::nameOf(const plat::View& view) {
    if (const auto* adapter = dynamic_cast<const ZividedirInterfaceView*>(&view)) return adapter->className();
    return "(null)";
}

void ZividedirInterfaceView::postAdClicked() {
    if (auto delegate = delegate_.lock()) delegate->zividedirViewAdTapped(zividedirView_);
}

std::shared_ptr<plat::ImageView> ZividedirInterfaceView::snapshotImageView() {
    auto view = std::make_shared<plat::ImageView>(plat::Rect{0, 0, frame().width, frame().height});
    view->setImage(snapshot(1));
    return view;
}
