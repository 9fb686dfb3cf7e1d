#pragma once
// The lambda genome indexed in memory, pairs cut from it at known places, and request parameters.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "candidates/candidate_test_support.h"
#include "config/execution_parameters.h"
#include "index/count_arrays.h"
#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {

inline const std::string& lambdaChromosome() {
    static const std::string chromosome = [] {
        std::string bases;
        std::istringstream lines(readFile(lambdaGenomeFile));
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line[0] != '>') bases += line;
        return bases;
    }();
    return chromosome;
}

struct LambdaIndex {
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> counts;
    std::unique_ptr<BinaryIndexes> indexes;
};

// Built once for all tests: the index is read-only once built.
inline const LambdaIndex& lambdaIndex() {
    static const LambdaIndex index = [] {
        LambdaIndex built;
        built.genome = fastaGenome(readFile(lambdaGenomeFile), "lambda_phage.fa");
        built.counts = buildCountArrays(*built.genome, CountLimits{}, nullptr);
        built.indexes = buildBinaryIndexes(*built.counts, *built.genome, nullptr);
        return built;
    }();
    return index;
}

inline constexpr std::uint32_t cutReadLength = 100, cutReadBOffset = 300;

// The 0-based place of read A of a pair; read B is the reverse complement 300 bases further on.
inline std::uint32_t cutPosition(std::uint32_t fileNumber, std::uint32_t record) {
    return (fileNumber * 7919 + record * 1237 + 11) % 48000;
}

inline std::pair<std::string, std::string> cutPair(std::uint32_t fileNumber, std::uint32_t record) {
    const std::uint32_t a = cutPosition(fileNumber, record);
    return {lambdaChromosome().substr(a, cutReadLength),
            reverseComplementOf(lambdaChromosome().substr(a + cutReadBOffset, cutReadLength))};
}

// "<record> <read A> <read B>\n" lines: digits, then the two reads, as a sequencer's export writes them.
inline std::string cutRecords(std::uint32_t fileNumber, std::uint32_t records) {
    std::string text;
    for (std::uint32_t record = 0; record < records; ++record) {
        const auto [a, b] = cutPair(fileNumber, record);
        text += std::to_string(10000 + record % 10000).substr(1) + " " + a + " " + b + "\n";
    }
    return text;
}

// File 0's pair with three bases of each read made uncalled marks (letters in record 0, which sets the
// layout).
inline std::pair<std::string, std::string> markedPair(std::uint32_t record) {
    static const std::string marks = "RYKMSWBDHVrykmswbdhv.X-*n";
    auto [a, b] = cutPair(0, record);
    for (std::uint32_t k = 0; k < 3; ++k) {
        a[(record * 7 + k * 31) % a.size()] = marks[(3 * record + k) % marks.size()];
        b[(record * 7 + 1 + k * 31) % b.size()] = marks[(3 * record + k + 1) % marks.size()];
    }
    return {a, b};
}

inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The columns of a version 3 QMR line that the request tests look at.
struct QmrLine {
    long chromosomeA = 0, chromosomeB = 0, positionA = 0, positionB = 0, file = 0, line = 0;
};

// The records of a QMR text, without its "#" and column header lines and a result's final "END".
inline std::vector<QmrLine> qmrLines(const std::string& text) {
    std::vector<QmrLine> lines;
    std::istringstream input(text);
    for (std::string line; std::getline(input, line);) {
        if (line.empty() || line[0] == '#' || line[0] == '"' || line == "END") continue;
        std::istringstream columns(line);
        QmrLine& parsed = lines.emplace_back();
        long skip = 0;
        columns >> parsed.chromosomeA >> parsed.chromosomeB >> parsed.positionA >> parsed.positionB;
        for (int i = 0; i < 7; ++i) columns >> skip;
        columns >> parsed.file >> parsed.line;
    }
    return lines;
}

// QMR places are 0-based and negative on the reverse strand.
inline void expectCutPlaces(const QmrLine& line) {
    const auto a = static_cast<long>(
        cutPosition(static_cast<std::uint32_t>(line.file), static_cast<std::uint32_t>(line.line - 1)));
    EXPECT_EQ(std::vector<long>({line.chromosomeA, line.chromosomeB, line.positionA, line.positionB}),
              std::vector<long>({1, 1, a, -(a + static_cast<long>(cutReadBOffset))}))
        << "file " << line.file << " line " << line.line;
}

// Parameters of an in-process request with its report, QMR and SAM files in a directory.
struct RequestParameters {
    TemporaryDirectory directory;
    ExecutionParameters params;

    RequestParameters() {
        params.standardOutputFile = createLockedFile(directory.file("report.txt"), false, false);
        params.genomeInformation =
            std::make_unique<GenomeInformation>(*lambdaIndex().genome->genomeInformation);
    }
    void requestQmr() {
        params.qmrOutputRequestParameters.isQmrOutputRequest = true;
        params.qmrOutputRequestParameters.qmrOutputFile =
            createLockedFile(directory.file("out.qmr"), false, false);
    }
    void requestSam() {
        params.samOutputRequestParameters.isSamOutputRequest = true;
        params.samOutputRequestParameters.samOutputFile =
            createLockedFile(directory.file("out.sam"), false, false);
    }
    // The text of one of the run's files once everything written to it has reached it.
    std::string contents(std::unique_ptr<LockedFile>& file) {
        file->flushFile();
        return readFile(file->fileName());
    }
    std::string report() { return contents(params.standardOutputFile); }
    std::string qmr() { return contents(params.qmrOutputRequestParameters.qmrOutputFile); }
    std::string sam() { return contents(params.samOutputRequestParameters.samOutputFile); }
};

}  // namespace koru::testing
