#include "support/errors.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace koru {
namespace {

[[noreturn]] void throwRefusal(std::string_view message) {
    throw std::runtime_error(std::string(message));
}

TEST(ErrorHook, SeesTheWholeMessageBeforeTheProcessWouldEnd) {
    const ErrorHook previous = setErrorHook(throwRefusal);
    std::string message;
    try {
        exitWithErrorFormat("The file \"%s\" is %d bytes short.\n", "x.fa", 7);
    } catch (const std::runtime_error& refusal) {
        message = refusal.what();
    }
    setErrorHook(previous);
    EXPECT_EQ(message, "The file \"x.fa\" is 7 bytes short.\n");
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
