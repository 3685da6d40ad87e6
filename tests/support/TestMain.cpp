// The main of every gtest program: after each test the process-wide state goes back to its start-up value.
#include <gtest/gtest.h>

#include "tests/support/ProcessState.h"

namespace {

class ResetAfterEachTest : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { testsupport::resetProcessState(); }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetAfterEachTest);
    return RUN_ALL_TESTS();
}
