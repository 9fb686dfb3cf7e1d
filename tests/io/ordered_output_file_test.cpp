// Output in input order: items finished out of order reach the file in order, and a writer's
// parts of an item go out only in its turn.

#include "io/ordered_output_file.h"

#include <gtest/gtest.h>

#include <thread>

#include "io/buffered_file_writer.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

class OrderedOutputFileTest : public ::testing::Test {
  protected:
    std::string written() {
        file->flushFile();
        return testing::readFile(directory.file("out.txt"));
    }

    testing::TemporaryDirectory directory;
    std::unique_ptr<LockedFile> file = createLockedFile(directory.file("out.txt"), false, false);
    OrderedOutputFile ordered{*file, 10};
};

TEST_F(OrderedOutputFileTest, ItemsFinishedOutOfOrderAreWrittenInOrder) {
    std::string text = "c";
    ordered.finish(30, 31, text);  // kept: items 10 and 20 come first
    EXPECT_TRUE(text.empty());
    text = "b";
    ordered.finish(20, 30, text);
    EXPECT_EQ(written(), "");
    text = "a";
    ordered.finish(10, 20, text);  // its turn: it and the kept items after it go out
    EXPECT_EQ(written(), "abc");
    text = "d";
    ordered.writePart(31, text);
    EXPECT_EQ(written(), "abcd");
}

// A writer of a later item whose buffer fills waits until the earlier item is finished.
TEST_F(OrderedOutputFileTest, PartsOfALaterItemWaitForTheEarlierItem) {
    BufferedFileWriter later(ordered, 4);
    later.beginItem(20);
    std::thread laterThread([&] {
        later.write("later");  // longer than its buffer: written as a part, in its turn
        later.write("!");
        later.finishItem(25);
    });
    BufferedFileWriter first(ordered, 64);
    first.beginItem(10);
    first.write("first ");
    first.finishItem(20);
    laterThread.join();
    EXPECT_EQ(written(), "first later!");
}

}  // namespace
}  // namespace koru
