#include "io/sequence_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "sequence/string_utilities.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/text_format.h"

namespace koru {

namespace {

constexpr std::uint32_t fastaLineWidth = 70;
constexpr std::uint64_t largestUnsigned32 = std::numeric_limits<std::uint32_t>::max();

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Read A and read B are the first two runs of letters of the first line; false when it has
// fewer than two.
bool scanReadColumns(std::string_view line, SequenceFile& file) {
    std::size_t i = 0;
    const auto skip = [&](bool letters) {
        while (i < line.size() && isLetter(line[i]) == letters) ++i;
    };
    skip(false);
    if (i == line.size()) return false;
    file.readAStartPosition = static_cast<std::uint32_t>(i);
    skip(true);
    file.readAEndPosition = static_cast<std::uint32_t>(i - 1);
    skip(false);
    if (i == line.size()) return false;
    file.readBStartPosition = static_cast<std::uint32_t>(i);
    skip(true);
    file.readBEndPosition = static_cast<std::uint32_t>(i - 1);
    return true;
}

// Bytes from the start of a record up to the end of its later read.
std::uint64_t bytesNeededByReads(const SequenceFile& file) {
    const std::uint64_t length = sequenceFileReadLength(file);
    return std::max<std::uint64_t>(file.readAEndPosition + 1, file.readBStartPosition + length);
}

// Where the end marker line starts, when the last line (a final newline aside) begins with it.
std::optional<std::size_t> findEndMarkerLine(std::string_view text, std::string_view marker) {
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n') --end;
    const std::size_t newline = end == 0 ? std::string_view::npos : text.substr(0, end).rfind('\n');
    const std::size_t start = newline == std::string_view::npos ? 0 : newline + 1;
    if (text.substr(start, end - start).starts_with(marker)) return start;
    return std::nullopt;
}

// Every line must have the first line's length, or the records after it would be read shifted
// (and a later record blamed); the first line of another length is named. A file's last line may
// lack its line feed; a request's lines end before its end marker line.
std::string checkRecordLines(std::string_view records, std::uint32_t recordLength) {
    std::uint32_t line = 1;
    for (std::size_t start = 0; start < records.size(); ++line) {
        const std::size_t lineFeed = std::min(records.find('\n', start), records.size());
        const std::size_t length = lineFeed - start;
        start = lineFeed + 1;
        if (length + 1 != recordLength)
            return stringPrintf("line %u has %zu characters, but the first line has %u", line, length,
                                recordLength - 1);
    }
    return {};
}

// A record whose reads would run past the end of the file; the record is numbered from 1.
std::string checkLastRecords(const SequenceFile& file, std::uint64_t size) {
    const std::uint64_t needed = bytesNeededByReads(file);
    const std::uint64_t firstShort = needed > size ? 0 : (size - needed) / file.recordLength + 1;
    if (firstShort >= file.numberOfRecords) return {};
    const std::uint64_t left = size - std::min(size, firstShort * file.recordLength);
    return stringPrintf(
        "record %lu is shorter than the layout of the first record: its reads need %lu bytes, but only %lu "
        "bytes are left in the file",
        static_cast<unsigned long>(firstShort + 1), static_cast<unsigned long>(needed),
        static_cast<unsigned long>(left));
}

// The layout, record count and record checks for the records held in text[0, end).
std::string readLayout(std::string_view text, std::size_t end, bool isRequest, SequenceFile& file) {
    const std::size_t newline = text.find('\n');
    const std::uint64_t firstLine = newline == std::string_view::npos ? text.size() : newline;
    if (firstLine >= largestUnsigned32) return "its first line is too long";
    file.recordLength = static_cast<std::uint32_t>(firstLine + 1);
    if (!scanReadColumns(text.substr(0, firstLine), file))
        return "its first line does not hold two runs of letters (read A and read B)";
    const std::uint64_t records = (end + file.recordLength - 1) / file.recordLength;
    if (records > largestUnsigned32) return "it holds more records than can be counted";
    file.numberOfRecords = static_cast<std::uint32_t>(records);
    std::string problem = checkRecordLines(text.substr(0, end), file.recordLength);
    if (!problem.empty()) return problem;
    if (!isRequest) return checkLastRecords(file, end);
    if (bytesNeededByReads(file) >= file.recordLength)
        return stringPrintf("its first line ends before read B has read A's length of %u bases",
                            sequenceFileReadLength(file));
    return {};
}

}  // namespace

std::uint32_t sequenceFileReadLength(const SequenceFile& sequenceFile) {
    if (sequenceFile.numberOfRecords == 0) return 0;
    return sequenceFile.readAEndPosition - sequenceFile.readAStartPosition + 1;
}

std::string_view sequenceFileReadA(const SequenceFile& sequenceFile, std::uint32_t record) {
    const std::uint64_t start =
        std::uint64_t{record} * sequenceFile.recordLength + sequenceFile.readAStartPosition;
    return sequenceFile.file->text().substr(start, sequenceFileReadLength(sequenceFile));
}

std::string_view sequenceFileReadB(const SequenceFile& sequenceFile, std::uint32_t record) {
    const std::uint64_t start =
        std::uint64_t{record} * sequenceFile.recordLength + sequenceFile.readBStartPosition;
    return sequenceFile.file->text().substr(start, sequenceFileReadLength(sequenceFile));
}

SequenceFileOpening openSequenceFile(std::unique_ptr<MemoryMappedFile> contents,
                                     std::uint32_t sequenceFileNumber,
                                     std::optional<std::string_view> endMarker) {
    SequenceFileOpening opening;
    const std::string_view text = contents->text();
    std::size_t end = text.size();
    if (endMarker) {
        const std::optional<std::size_t> marker = findEndMarkerLine(text, *endMarker);
        if (!marker) {
            opening.incomplete = true;
            return opening;
        }
        end = *marker;
    }
    auto file = std::make_unique<SequenceFile>();
    file->sequenceFileNumber = sequenceFileNumber;
    // An empty file, or a request of the end marker alone, has no records and no layout.
    if (end > 0) opening.problem = readLayout(text, end, endMarker.has_value(), *file);
    if (!opening.problem.empty()) return opening;
    file->file = std::move(contents);
    opening.sequenceFile = std::move(file);
    return opening;
}

std::unique_ptr<SequenceFile> createSequenceFile(const std::string& fileName,
                                                 std::uint32_t sequenceFileNumber,
                                                 std::optional<std::string_view> endMarker) {
    SequenceFileOpening opening =
        openSequenceFile(createMemoryMappedFile(fileName), sequenceFileNumber, endMarker);
    if (!opening.problem.empty())
        exitWithErrorFormat("ERROR: The sequence file \"%s\" is not in the sequence record format: %s.\n",
                            fileName.c_str(), opening.problem.c_str());
    return std::move(opening.sequenceFile);
}

void printSequenceFile(std::FILE* stream, const SequenceFile* sequenceFile) {
    if (sequenceFile == nullptr) {
        std::fputs("Provided sequence file was null\n", stream);
        return;
    }
    const SequenceFile& file = *sequenceFile;
    std::fprintf(stream, "Sequence File:\n\tSequence file number = %u\n", file.sequenceFileNumber);
    if (file.file) printMemoryMappedFile(stream, *file.file);
    std::fprintf(stream, "\tRecord Length = %u\n\tNumber of Records = %u\n", file.recordLength,
                 file.numberOfRecords);
    std::fprintf(stream, "\tRead A start position = %u, Read A end position = %u\n", file.readAStartPosition,
                 file.readAEndPosition);
    std::fprintf(stream, "\tRead B start position = %u, Read B end position = %u\n", file.readBStartPosition,
                 file.readBEndPosition);
}

std::string createFastaDescription(std::uint32_t sequenceFileNumber, std::uint32_t record, const char* read) {
    return stringPrintf(">seq_%u_ln_%u_rd_%s\n", sequenceFileNumber, record, read);
}

void writeSequenceFileToFastaFile(const SequenceFile& sequenceFile, std::FILE* stream) {
    const std::uint32_t length = sequenceFileReadLength(sequenceFile);
    std::string text;
    for (std::uint32_t record = 1; record <= sequenceFile.numberOfRecords; ++record) {
        text = createFastaDescription(sequenceFile.sequenceFileNumber, record, "A");
        splitStringOverMulitpleLines(text, sequenceFileReadA(sequenceFile, record - 1), length,
                                     fastaLineWidth);
        text += createFastaDescription(sequenceFile.sequenceFileNumber, record, "B");
        splitStringOverMulitpleLines(text, sequenceFileReadB(sequenceFile, record - 1), length,
                                     fastaLineWidth);
        if (std::fwrite(text.data(), 1, text.size(), stream) != text.size()) break;
    }
}

void covertSequenceFileToFastaFile(const std::string& fileName, std::uint32_t sequenceFileNumber,
                                   const std::string& outputFileName, bool append) {
    const std::unique_ptr<SequenceFile> sequenceFile =
        createSequenceFile(fileName, sequenceFileNumber, std::nullopt);
    if (outputFileName.empty()) exitWithError("ERROR: The FASTA file to write was given an empty name.\n");
    std::FILE* stream = std::fopen(outputFileName.c_str(), append ? "a" : "w");
    errorIfFileIsNull(stream, outputFileName);
    writeSequenceFileToFastaFile(*sequenceFile, stream);
    // A full disk must not leave a cut FASTA file behind a successful return.
    const bool failed = std::ferror(stream) != 0;
    if (std::fclose(stream) != 0 || failed)
        exitWithErrorFormat("ERROR: Could not write the FASTA file \"%s\": %s.\n", outputFileName.c_str(),
                            std::strerror(errno));
}

}  // namespace koru
