#include "fuzz_support.h"

#include <fcntl.h>
#include <omp.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "genome/fasta_reference.h"
#include "io/output_files.h"
#include "requests/sequence_file_request.h"
#include "sequence/nucleotide_encoding.h"
#include "support/errors.h"

namespace koru::fuzz {

namespace {

[[noreturn]] void throwRefusal(std::string_view message) {
    throw Refused{std::string(message)};
}

void removeScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDirectory(), ignored);
}

std::unique_ptr<LockedFile> devNull() {
    return std::make_unique<LockedFile>(std::fopen("/dev/null", "w"), "/dev/null", "w", false);
}

}  // namespace

void noteRefusal(const Refused& refusal) {
    static const bool verbose = std::getenv("KORU_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "refused: %s\n", refusal.message.c_str());
}

void prepareFuzzing() {
    setErrorHook(throwRefusal);
    // Inputs are small: a second thread would only spin between the parallel loops.
    omp_set_num_threads(1);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    scratchDirectory();
}

const std::string& scratchDirectory() {
    static const std::string directory = [] {
        // Memory-backed where there is such a file system: targets write a file per input.
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string path = std::string(base) + "/koru-fuzz-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) std::abort();
        return path;
    }();
    static const bool removedAtExit = [] { return std::atexit(removeScratchDirectory) == 0; }();
    (void)removedAtExit;
    return directory;
}

std::string scratchPath(std::string_view name) {
    return scratchDirectory() + "/" + std::string(name);
}

void writeScratchFile(const std::string& path, std::string_view contents) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    KORU_FUZZ_CHECK(file != nullptr);
    KORU_FUZZ_CHECK(std::fwrite(contents.data(), 1, contents.size(), file) == contents.size());
    KORU_FUZZ_CHECK(std::fclose(file) == 0);
}

void rewriteScratchFile(const std::string& path, std::string_view previous, std::string_view contents) {
    if (previous.empty()) {
        writeScratchFile(path, contents);
        return;
    }
    const int file = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    KORU_FUZZ_CHECK(file >= 0);
    constexpr std::size_t block = 4096;
    for (std::size_t at = 0; at < contents.size(); at += block) {
        const std::string_view wanted = contents.substr(at, block);
        if (at < previous.size() && previous.substr(at, block) == wanted) continue;
        KORU_FUZZ_CHECK(::pwrite(file, wanted.data(), wanted.size(), static_cast<off_t>(at)) ==
                        static_cast<ssize_t>(wanted.size()));
    }
    KORU_FUZZ_CHECK(::ftruncate(file, static_cast<off_t>(contents.size())) == 0);
    KORU_FUZZ_CHECK(::close(file) == 0);
}

std::string readWholeFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::string gzipCompressed(std::string_view text, int members) {
    std::string out;
    // A small window and little memory: any valid stream will do, and setting up the default
    // ones would cost more than the rest of most inputs.
    const auto compressMember = [&out](std::string_view part) {
        z_stream stream{};
        KORU_FUZZ_CHECK(
            deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 9 + 16, 1, Z_DEFAULT_STRATEGY) == Z_OK);
        std::string member(deflateBound(&stream, part.size()) + 64, '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        stream.avail_in = static_cast<uInt>(part.size());
        stream.next_out = reinterpret_cast<Bytef*>(member.data());
        stream.avail_out = static_cast<uInt>(member.size());
        KORU_FUZZ_CHECK(deflate(&stream, Z_FINISH) == Z_STREAM_END);
        member.resize(stream.total_out);
        deflateEnd(&stream);
        out += member;
    };
    if (members == 2) {
        compressMember(text.substr(0, text.size() / 2));
        compressMember(text.substr(text.size() / 2));
    } else {
        compressMember(text);
    }
    return out;
}

std::pair<std::string_view, std::string_view> splitAtNul(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = text.find('\0');
    if (nul == std::string_view::npos) return {text, {}};
    return {text.substr(0, nul), text.substr(nul + 1)};
}

const Reference& lambdaReference() {
    static const Reference reference = [] {
        Reference built;
        std::istringstream lines(readWholeFile(KORU_SOURCE_DIR "/data/lambda_phage.fa"));
        std::string bases;
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line[0] != '>') bases += line;
        KORU_FUZZ_CHECK(bases.size() > 40000);
        built.chromosomes = {bases.substr(0, 20000), bases.substr(20000, 15000), bases.substr(35000)};
        std::string fasta;
        for (std::size_t i = 0; i < built.chromosomes.size(); ++i)
            fasta += ">lambda" + std::to_string(i + 1) + "\n" + built.chromosomes[i] + "\n";
        built.genome = std::make_unique<GenomeSequence>();
        built.genome->genomeInformation = std::make_unique<GenomeInformation>();
        built.genome->genomeInformation->file = "lambda_phage.fa";
        built.genome->genomeInformation->formatType = fastaGenomeFormatType;
        processFastaFormatGenomeFile(*built.genome, *createInMemoryFile("lambda_phage.fa", fasta));
        built.counts = buildCountArrays(*built.genome, CountLimits{}, nullptr);
        built.indexes = buildBinaryIndexes(*built.counts, *built.genome, nullptr);
        return built;
    }();
    return reference;
}

std::string lambdaSequenceRecords(std::uint32_t records) {
    const Reference& reference = lambdaReference();
    std::string text;
    for (std::uint32_t record = 0; record < records; ++record) {
        const std::string& chromosome = reference.chromosomes[record % reference.chromosomes.size()];
        const std::size_t a = (record * 1237 + 11) % (chromosome.size() - 400);
        std::string readB;
        reverseComplementAsciiEncodedSequence(std::string_view(chromosome).substr(a + 300, 100), readB);
        text += std::to_string(1000 + record) + " " + chromosome.substr(a, 100) + " " + readB + "\n";
    }
    return text;
}

std::unique_ptr<ExecutionParameters> mappingParameters(const GenomeSequence& genome) {
    auto params = std::make_unique<ExecutionParameters>();
    params->maximumNumberOfThreads = 1;
    params->singleThreadAlignment = true;
    params->standardOutputFile = devNull();
    params->traceFile = devNull();
    if (genome.genomeInformation)
        params->genomeInformation = std::make_unique<GenomeInformation>(*genome.genomeInformation);
    params->samOutputRequestParameters.isSamOutputRequest = true;
    params->samOutputRequestParameters.samOutputFile = devNull();
    params->qmrOutputRequestParameters.isQmrOutputRequest = true;
    params->qmrOutputRequestParameters.qmrOutputFile = devNull();
    return params;
}

void mapSequenceFile(const SequenceFile& file, const BinaryIndexes& indexes,
                     const ExecutionParameters& params) {
    writeHeaderToOutputFile(params, *indexes.genomeSequence);
    alignSequencesFromSeqeunceFile(file, indexes, params);
}

void checkGenome(const GenomeSequence& genome) {
    KORU_FUZZ_CHECK(!genome.chromosomes.empty());
    KORU_FUZZ_CHECK(genome.utilizedBinaryEncodedArraySize <= genome.allocatedBinaryEncodedArraySize);
    KORU_FUZZ_CHECK(genome.paddedSequenceLength <= 32 * genome.allocatedBinaryEncodedArraySize);
    KORU_FUZZ_CHECK(genome.paddedSequenceLength <= maximumGenomePositions);
    KORU_FUZZ_CHECK(genome.sequenceLength <= genome.paddedSequenceLength);
    std::uint64_t previousEnd = 0;
    for (std::size_t i = 0; i < genome.chromosomes.size(); ++i) {
        const ChromosomeInformation& c = genome.chromosomes[i];
        KORU_FUZZ_CHECK(i == 0 || c.startGenomePosition > previousEnd);
        KORU_FUZZ_CHECK(c.startGenomePosition <= c.endGenomePosition);
        KORU_FUZZ_CHECK(c.endGenomePosition < genome.paddedSequenceLength);
        KORU_FUZZ_CHECK(c.endBinaryEncodedArrayPosition < genome.allocatedBinaryEncodedArraySize);
        KORU_FUZZ_CHECK(c.startGenomePosition + c.basePairs <= c.endGenomePosition + 1);
        KORU_FUZZ_CHECK(getChromosomeInformationForGenomePosition(c.startGenomePosition, genome) == &c);
        KORU_FUZZ_CHECK(getChromosomeInformationForGenomePosition(c.endGenomePosition, genome) == &c);
        const ChromosomeInformation* numbered =
            getChromosomeSequenceInformationForChromosome(c.chromosomeNumber, genome);
        KORU_FUZZ_CHECK(numbered != nullptr && numbered->chromosomeNumber == c.chromosomeNumber);
        previousEnd = c.endGenomePosition;
    }
    // Every position's text, the way alignment reads it.
    if (hasReferenceText(genome)) {
        std::string text;
        for (std::uint64_t position = 0; position < genome.paddedSequenceLength; position += 4096) {
            referenceText(genome, position, 4096, text);
            KORU_FUZZ_CHECK(text.size() ==
                            std::min<std::uint64_t>(4096, genome.paddedSequenceLength - position));
        }
    }
}

}  // namespace koru::fuzz
