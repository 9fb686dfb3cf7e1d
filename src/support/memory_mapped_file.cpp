#include "support/memory_mapped_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "support/errors.h"
#include "support/files.h"

namespace koru {

std::unique_ptr<MemoryMappedFile> createMemoryMappedFile(const std::string& fileName) {
    errorIfFileDoesNotExistOrNotAccessible(fileName, R_OK, "The file name passed to createMemoryMappedFile");
    std::FILE* handle = std::fopen(fileName.c_str(), "rb");
    errorIfFileIsNull(handle, fileName);
    auto file = std::make_unique<MemoryMappedFile>();
    file->fileName = fileName;
    file->size = getFileSize(handle);
    const auto size = static_cast<std::size_t>(file->size);
    file->contents.reset(static_cast<char*>(mallocExitIfNull(size + 1)));
    const std::size_t read = std::fread(file->contents.get(), 1, size, handle);
    const int readError = std::ferror(handle) ? errno : 0;
    std::fclose(handle);
    // A short read would silently cut the input; the run must not go on with half a file.
    if (read != size)
        exitWithErrorFormat("Could not read the file \"%s\": %s.\n", fileName.c_str(),
                            readError != 0 ? std::strerror(readError) : "it ended early");
    file->contents[size] = '\0';
    return file;
}

std::uint64_t getNumberOfLines(const MemoryMappedFile& file) {
    const std::string_view text = file.text();
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

void printMemoryMappedFile(std::FILE* stream, const MemoryMappedFile& file) {
    const int shown = static_cast<int>(std::min<std::int64_t>(file.size, 1024));
    std::fprintf(
        stream,
        "File:\n\tFully qualified path = %s\n\tlength of file = %ld\n\tFile contents truncated to %d "
        "characters= %.*s\n",
        file.fileName.c_str(), static_cast<long>(file.size), 1024, shown, file.contents.get());
}

}  // namespace koru
