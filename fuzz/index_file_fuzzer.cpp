// Index files (--indexFile). Loading checks a checksum over the whole file, so that mutated files
// would almost all stop there; the target recomputes it, so that the loader meets files whose
// checksum matches but whose sizes, offsets and positions lie, as a crafted file's would.
//
// An input that starts with "KORU-IDX" is the file itself. Any other input is a list of edits to
// a valid index file of a small genome, written at start-up, addressed by section so that the
// fuzzer reaches the directories, residuals, position lists, chromosome table and planes at
// once: each edit is a section byte, a 16-bit element index, an operation byte and its operand.
// The first byte's top bit keeps the checksum as the edits leave it. A file that loads is checked
// against what mapping relies on, and read pairs are mapped with it.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "genome/fasta_reference.h"
#include "index/index_file.h"
#include "index/index_file_io.h"

namespace {

using namespace koru;
using namespace koru::fuzz;

// A region of the baseline file that edits address, in elements of `unit` bytes.
struct Section {
    std::size_t offset = 0;
    std::size_t unit = 1;
};

struct Baseline {
    std::string file;
    std::vector<Section> sections;
    std::unique_ptr<SequenceFile> reads;
};

std::size_t locate(const std::string& file, const void* bytes, std::size_t size) {
    const void* found = memmem(file.data(), file.size(), bytes, size);
    KORU_FUZZ_CHECK(found != nullptr);
    return static_cast<std::size_t>(static_cast<const char*>(found) - file.data());
}

// Two chromosomes from the lambda phage with a 100-base piece repeated eight times, indexed with
// low limits so that the repeat's keys are unlisted (a mark and a count), and a short third one.
const Baseline& baseline() {
    static const Baseline made = [] {
        const Reference& lambda = lambdaReference();
        const std::string& bases = lambda.chromosomes[0];
        std::string first = bases.substr(0, 2500);
        for (int copy = 0; copy < 8; ++copy) first += bases.substr(2500, 100);
        const std::string fasta = ">koru-fuzz-chromosome-1\n" + first + "\n>koru-fuzz-chromosome-2\n" +
                                  bases.substr(5000, 2000) + "\n>c3\n" + bases.substr(9000, 100) + "\n";
        GenomeSequence genome;
        genome.genomeInformation = std::make_unique<GenomeInformation>();
        genome.genomeInformation->file = "baseline.fa";
        genome.genomeInformation->formatType = fastaGenomeFormatType;
        processFastaFormatGenomeFile(genome, *createInMemoryFile("baseline.fa", fasta));
        const auto counts = buildCountArrays(genome, CountLimits{3, 5}, nullptr);
        const auto indexes = buildBinaryIndexes(*counts, genome, nullptr);
        const std::string path = scratchPath("baseline.kix");
        writeIndexFile(path, *indexes, nullptr);

        Baseline result;
        result.file = readWholeFile(path);
        result.sections.push_back({0, 1});
        for (const KeyTable& table : counts->keyTables)
            result.sections.push_back(
                {locate(result.file, table.directory.get(), 4 * table.directorySize()), 4});
        for (const KeyTable& table : counts->keyTables)
            result.sections.push_back(
                {locate(result.file, table.residuals.get(), table.numberOfEntries * table.residualBytes()),
                 2});
        for (const KeyTable& table : counts->keyTables)
            result.sections.push_back(
                {locate(result.file, table.positions.get(), 4 * table.numberOfEntries), 4});
        const char* name = "koru-fuzz-chromosome-1";
        result.sections.push_back({locate(result.file, name, std::strlen(name)) - 256, 1});
        result.sections.push_back(
            {locate(result.file, genome.planeWords.get(), 8 * genome.utilizedBinaryEncodedArraySize), 4});

        std::string records;
        for (std::size_t a : {100, 900, 1700})
            records += "1 " + first.substr(a, 100) + " " + first.substr(a + 300, 100) + "\n";
        records += "2 " + first.substr(2450, 100) + " " + first.substr(2600, 100) + "\n";
        SequenceFileOpening opening =
            openSequenceFile(createInMemoryFile("pairs.seq", records), 1, std::nullopt);
        KORU_FUZZ_CHECK(opening.sequenceFile != nullptr);
        result.reads = std::move(opening.sequenceFile);
        return result;
    }();
    return made;
}

// Makes the file the baseline with the edits of the input applied.
void editBaseline(const std::uint8_t* data, std::size_t size, std::string& file) {
    const Baseline& base = baseline();
    file.assign(base.file);
    for (std::size_t at = 0; at + 4 <= size;) {
        const Section& section = base.sections[data[at] % base.sections.size()];
        const std::size_t element = data[at + 1] | std::size_t{data[at + 2]} << 8;
        const std::size_t offset = section.offset + element * section.unit;
        const std::uint8_t operation = data[at + 3] % 4;
        at += 4;
        if (offset >= file.size()) continue;
        switch (operation) {
            case 0: {  // a little-endian 32-bit value
                std::uint32_t value = 0;
                std::memcpy(&value, data + at, std::min<std::size_t>(4, size - at));
                at += 4;
                std::memcpy(file.data() + offset, &value, std::min<std::size_t>(4, file.size() - offset));
                break;
            }
            case 1: {  // a small change to the 32-bit value there
                std::uint32_t value = 0;
                const std::size_t bytes = std::min<std::size_t>(4, file.size() - offset);
                std::memcpy(&value, file.data() + offset, bytes);
                value += static_cast<std::uint32_t>(static_cast<std::int8_t>(at < size ? data[at] : 1));
                ++at;
                std::memcpy(file.data() + offset, &value, bytes);
                break;
            }
            case 2: {  // bytes copied from the input
                const std::size_t count = std::min({std::size_t{at < size ? data[at] : 0u},
                                                    size - std::min(size, at + 1), file.size() - offset});
                if (at < size) std::memcpy(file.data() + offset, data + at + 1, count);
                at += 1 + count;
                break;
            }
            default:  // the file cut there
                file.resize(offset);
                break;
        }
    }
}

// The header as a writer would have finished it for these contents.
void resealHeader(std::string& file) {
    if (file.size() < indexFileHeaderBytes) return;
    IndexFileHeader header;
    std::memcpy(&header, file.data(), sizeof header);
    header.fileBytes = file.size();
    const auto* content = reinterpret_cast<const unsigned char*>(file.data()) + indexFileHeaderBytes;
    header.checksum =
        indexFileChecksumWithHeader(indexFileChecksum(content, file.size() - indexFileHeaderBytes), header);
    std::memcpy(file.data(), &header, sizeof header);
}

// What lookups and mapping take from the tables without looking again.
void checkKeyTables(const CountArrays& arrays, const GenomeSequence& genome) {
    for (const KeyTable& table : arrays.keyTables) {
        const std::size_t buckets = table.directorySize() - 1;
        for (std::size_t bucket = 0; bucket < buckets; ++bucket)
            KORU_FUZZ_CHECK(table.directory[bucket] <= table.directory[bucket + 1]);
        KORU_FUZZ_CHECK(table.directory[buckets] == table.numberOfEntries);
        for (std::uint64_t entry = 0; entry < table.numberOfEntries; ++entry) {
            const std::uint32_t position = table.positions[entry];
            if (position == tooManyPositionsMark) {
                ++entry;  // its count
                continue;
            }
            KORU_FUZZ_CHECK(position < genome.paddedSequenceLength);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    baseline();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool wholeFile = input.starts_with(std::string_view(indexFileMagic, sizeof indexFileMagic));
    // Both kept between inputs: a copy of the baseline, and the file as the last input left it,
    // rewritten only where this input differs.
    static std::string file, onDisk;
    if (wholeFile) {
        file.assign(input);
    } else {
        editBaseline(data, size, file);
    }
    if (wholeFile || size == 0 || (data[0] & 0x80) == 0) resealHeader(file);
    static const std::string path = scratchPath("edited.kix");
    rewriteScratchFile(path, onDisk, file);
    onDisk.swap(file);

    MappingIndex index;
    if (!accepted([&] { index = deserializeBinaryIndexesFromFile(path, nullptr); })) return 0;
    checkGenome(*index.genome);
    checkKeyTables(*index.countArrays, *index.genome);
    const std::unique_ptr<ExecutionParameters> params = mappingParameters(*index.genome);
    params->maximumNumberOfPositionsAKeyCanHaveInAnIndex = index.countArrays->limits.indexingLimit;
    params->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex =
        index.countArrays->limits.evaluationLimit;
    KORU_FUZZ_CHECK(accepted([&] { mapSequenceFile(*baseline().reads, *index.indexes, *params); }));
    return 0;
}
