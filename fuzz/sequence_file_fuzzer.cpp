// Sequence record files (-d DIR): the input is one .seq file. Its records are mapped, as a
// sequence file request maps them, and converted to FASTA.

#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"
#include "requests/sequence_file_request.h"

using namespace koru;
using namespace koru::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    lambdaReference();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Reference& reference = lambdaReference();
    static const std::unique_ptr<ExecutionParameters> params = mappingParameters(*reference.genome);
    static const std::string path = scratchPath("reads_17.seq");
    static const std::string fastaPath = scratchPath("reads_17.fa");
    writeScratchFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    std::unique_ptr<SequenceFile> file;
    if (!accepted(
            [&] { file = createSequenceFile(path, getSequenceFileNumberFromPath(path), std::nullopt); }))
        return 0;
    KORU_FUZZ_CHECK(file != nullptr);
    KORU_FUZZ_CHECK(file->sequenceFileNumber == 17);
    // Every record's reads lie inside the file, at read A's length.
    const std::uint32_t length = sequenceFileReadLength(*file);
    for (std::uint32_t record = 0; record < file->numberOfRecords; ++record) {
        KORU_FUZZ_CHECK(sequenceFileReadA(*file, record).size() == length);
        KORU_FUZZ_CHECK(sequenceFileReadB(*file, record).size() == length);
    }
    const bool mapped = accepted([&] {
        mapSequenceFile(*file, *reference.indexes, *params);
        covertSequenceFileToFastaFile(path, file->sequenceFileNumber, fastaPath, false);
    });
    KORU_FUZZ_CHECK(mapped);
    return 0;
}
