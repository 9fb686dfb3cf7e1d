// Items finished out of order reach the file in order; a later item's parts wait for their turn.

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

// A writer of a later item whose buffer fills waits until the earlier item is finished; an item
// finished before its turn is kept until then.
TEST_F(OrderedOutputFileTest, ItemsAndPartsOfLaterItemsWaitForTheEarlierItems) {
    std::string last = "?";
    ordered.finish(25, 26, last);
    EXPECT_EQ(last + written(), "") << "taken and kept";
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
    EXPECT_EQ(written(), "first later!?");
}

}  // namespace
}  // namespace koru
