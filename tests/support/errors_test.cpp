#include "support/errors.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace koru {
namespace {

struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwRefusal(std::string_view message) {
    throw Refusal(std::string(message));
}

// Restores the hook an earlier test or the harness left, however the test ends.
struct ScopedErrorHook {
    explicit ScopedErrorHook(ErrorHook hook) : previous(setErrorHook(hook)) {}
    ~ScopedErrorHook() { setErrorHook(previous); }
    ErrorHook previous;
};

TEST(ErrorHook, SeesTheWholeMessageBeforeTheProcessWouldEnd) {
    const ScopedErrorHook hook(throwRefusal);
    try {
        exitWithErrorFormat("The file \"%s\" is %d bytes short.\n", "x.fa", 7);
        FAIL() << "the error returned";
    } catch (const Refusal& refusal) {
        EXPECT_STREQ(refusal.what(), "The file \"x.fa\" is 7 bytes short.\n");
    }
}

void returnWithoutThrowing(std::string_view) {}

// A hook that returns does not stop the error: it still ends the process with its message.
TEST(ErrorHookDeathTest, AHookThatReturnsLeavesTheErrorToEndTheRun) {
    EXPECT_EXIT(
        {
            setErrorHook(returnWithoutThrowing);
            exitWithError("ERROR: refused.\n");
        },
        ::testing::ExitedWithCode(1), "ERROR: refused\\.");
}

}  // namespace
}  // namespace koru
