#include "tagmanager/values/ZAVBoolean.h"

#include <strings.h>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Lasting.h"

ZAVBoolean::ZAVBoolean(bool value) : ZAVObject(Kind::Boolean), value_(value) {}

std::shared_ptr<ZAVBoolean> ZAVBoolean::booleanWithBool(bool value) {
    return std::make_shared<ZAVBoolean>(value);
}

const std::shared_ptr<const ZAVBoolean>& ZAVBoolean::yes() {
    static const plat::Lasting<std::shared_ptr<const ZAVBoolean>> shared(std::make_shared<ZAVBoolean>(true));
    return *shared;
}

const std::shared_ptr<const ZAVBoolean>& ZAVBoolean::no() {
    static const plat::Lasting<std::shared_ptr<const ZAVBoolean>> shared(std::make_shared<ZAVBoolean>(false));
    return *shared;
}

std::shared_ptr<ZAVBoolean> ZAVBoolean::booleanWithString(const std::string& text) {
    if (text.size() == 4 && strncasecmp(text.c_str(), "true", 4) == 0) return booleanWithBool(true);
    if (text.size() == 5 && strncasecmp(text.c_str(), "false", 5) == 0) return booleanWithBool(false);
    return nullptr;
}

void ZAVBoolean::registerCoding() {
    plat::ClassRegistry::shared().registerFactory<plat::Coding>(
        "ZAVBoolean", [] { return std::make_shared<ZAVBoolean>(false); });
}

void ZAVBoolean::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encode("value", boolValue());
}

bool ZAVBoolean::initWithCoder(plat::KeyedUnarchiver& coder) {
    setBoolValue(coder.decodeBool("value"));
    return true;
}

std::shared_ptr<const ZAVDistinctZero> ZAVDistinctZero::distinctZero() {
    return std::make_shared<ZAVDistinctZero>();
}
