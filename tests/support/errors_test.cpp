#include "support/errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace koru {
namespace {

void printToStandardError(std::string_view message) {
    std::fprintf(stderr, "hook saw: %.*s", static_cast<int>(message.size()), message.data());
}

// The hook sees the whole formatted message; one that returns instead of throwing does not stop
// the error, which still ends the process with its message.
TEST(ErrorHookDeathTest, SeesTheWholeMessageAndIfItReturnsTheErrorEndsTheRun) {
    EXPECT_EXIT(
        {
            setErrorHook(printToStandardError);
            exitWithErrorFormat("The file \"%s\" is %d bytes short.\n", "x.fa", 7);
        },
        ::testing::ExitedWithCode(1),
        "^hook saw: The file \"x.fa\" is 7 bytes short.\nThe file \"x.fa\" is 7 bytes short.\n$");
}

}  // namespace
}  // namespace koru
