// Whole-file reading of gzip-compressed files: recognised by content, every member decompressed,
// corrupt data refused.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/memory_mapped_file.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::gzipCompress;
using testing::TemporaryDirectory;

std::string sampleText(std::size_t lines) {
    std::string text;
    for (std::size_t line = 0; line < lines; ++line)
        text += "ACGTACGGTTCA line " + std::to_string(line) + "\n";
    return text;
}

// Recognised by the first bytes, not by the name. The last member of a concatenated file is small,
// so the size in its trailer says little about the whole: the buffer has to grow past it.
TEST(GzipFile, EveryMemberIsReadAndTheContentsAreTheDecompressedData) {
    TemporaryDirectory directory;
    const std::string first = sampleText(200000), second = "the end\n";
    const auto file = createMemoryMappedFile(
        directory.write("joined.fa", gzipCompress(first) + gzipCompress("") + gzipCompress(second)));
    EXPECT_EQ(file->size, static_cast<std::int64_t>(first.size() + second.size()));
    EXPECT_TRUE(file->text() == first + second);
    EXPECT_EQ(file->contents[first.size() + second.size()], '\0');
    EXPECT_EQ(createMemoryMappedFile(directory.write("plain.gz", ">a\nACGT\n"))->text(), ">a\nACGT\n");
    EXPECT_EQ(createMemoryMappedFile(directory.write("empty.gz", gzipCompress("")))->size, 0);
    EXPECT_EQ(createMemoryMappedFile(directory.write("one.gz", gzipCompress("\x1f")))->text(), "\x1f");
}

TEST(GzipFile, CorruptDataEndsTheRun) {
    // Death tests run again in a child process: each writes its own file there.
    const auto readCorrupted = [](const std::function<void(std::string&)>& corrupt) {
        TemporaryDirectory directory;
        std::string bytes = gzipCompress(sampleText(100));
        corrupt(bytes);
        createMemoryMappedFile(directory.write("bad.gz", bytes));
    };
    const struct {
        std::function<void(std::string&)> corrupt;
        const char* message;
    } cases[] = {
        {[](std::string& b) { b.resize(b.size() / 2); },
         "^ERROR: The gzip file \".*/bad.gz\" could not be decompressed: it ends in the middle of the "
         "compressed stream.\n$"},
        // A trailer without its last byte.
        {[](std::string& b) { b.resize(b.size() - 1); }, "it ends in the middle of the compressed stream"},
        {[](std::string& b) { b[b.size() - 6] ^= 1; }, "could not be decompressed: incorrect data check.\n$"},
        {[](std::string& b) { b += "trailing"; },
         "could not be decompressed: it has data after the end of the compressed stream.\n$"},
        {[](std::string& b) { b = "\x1f\x8b not really"; }, "could not be decompressed: .+\\.\n$"},
        {[](std::string& b) { b[12] = static_cast<char>(0xFF); }, "could not be decompressed: .+\\.\n$"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(readCorrupted(c.corrupt), ::testing::ExitedWithCode(1), c.message);
}

}  // namespace
}  // namespace koru
