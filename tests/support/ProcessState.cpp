#include "tests/support/ProcessState.h"

#include <algorithm>
#include <string>
#include <vector>

namespace testsupport {
namespace {

struct Step {
    ResetLayer layer;
    std::string name;
    std::function<void()> reset;
};

std::vector<Step>& steps() {
    static auto* list = new std::vector<Step>;
    return *list;
}

}  // namespace

bool registerReset(ResetLayer layer, const char* name, std::function<void()> reset) {
    steps().push_back({layer, name, std::move(reset)});
    // Registration order between files is unspecified; the layer alone decides the order of the run.
    std::stable_sort(steps().begin(), steps().end(),
                     [](const Step& a, const Step& b) { return a.layer > b.layer; });
    return true;
}

void resetProcessState() {
    for (const Step& step : steps()) step.reset();
}

}  // namespace testsupport
