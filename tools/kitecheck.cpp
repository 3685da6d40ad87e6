// Makes a few engine objects and containers, drains a pool and prints what it saw. A quick sign of life of
// the engine's foundation, run by scripts/run.
#include <cstdio>

#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTGeometry.h"
#include "kite/base/KTPrettyPrinter.h"
#include "kite/base/KTSet.h"
#include "kite/base/KTString.h"
#include "kite/base/KTValues.h"
#include "kite/base/KTVersion.h"

using namespace kite;

int main() {
    KTAutoreleasePoolStack* stack = KTAutoreleasePoolStack::sharedPoolStack();
    stack->push();

    auto* dict = KTDictionary::create();
    dict->retain();
    dict->setObject(KTString::create(engineVersionString()), "version");
    dict->setObject(KTInteger::create(60), "fps");
    dict->setObject(KTBool::create(false), "display_fps");
    auto* list = KTArray::create();
    list->addObject(KTString::createWithFormat("%dx%d", 320, 568));
    list->addObject(KTDouble::create(2.0));
    dict->setObject(list, "design");
    auto* set = KTSet::create();
    set->addObject(list);

    uint32_t pooled = stack->getCurrentPool()->count();
    stack->pop();

    KTPrettyPrinter printer;
    dict->acceptVisitor(printer);
    std::printf("kite %s\n", engineVersionString());
    std::printf("objects drained from the pool: %u\n", pooled);
    std::printf("dictionary entries left: %u (array refs %u)\n", dict->count(), list->retainCount());
    std::printf("point inside design rect: %s\n",
                KTRect(0, 0, 320, 568).containsPoint(KTPoint(160, 284)) ? "yes" : "no");
    std::printf("%s\n", printer.getResult().c_str());
    dict->release();
    KTAutoreleasePoolStack::purge();
    return 0;
}
