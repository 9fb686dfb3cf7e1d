// The FASTQ request end to end: its SAM read by samtools and Picard, its report, the pair step's allocations.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <tuple>

#include "requests/lambda_requests.h"
#include "test_support/gzip.h"
#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

using ::testing::HasSubstr;
using Records = std::vector<std::vector<std::string>>;

struct Dataset {
    std::string read1, read2;
};

Dataset simulate(const TemporaryDirectory& directory, const std::string& genome, const std::string& options,
                 const std::string& name = "reads") {
    Dataset data{directory.file(name + "_1.fq"), directory.file(name + "_2.fq")};
    EXPECT_EQ(simulateReads(genome, data.read1, data.read2, options), 0);
    return data;
}

CommandResult runRequest(const TemporaryDirectory& directory, const std::string& genome, const Dataset& data,
                         std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"--referenceGenomeFastaFileName", genome, "--read1FastqFileName", data.read1,
                                 "--read2FastqFileName", data.read2});
    return runKoru(extra, directory.path());
}

// The records of a run that writes out.sam and must succeed.
Records mapToSam(const TemporaryDirectory& directory, const std::string& genome, const Dataset& data,
                 std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--samOutputFileName", "out.sam"});
    const CommandResult result = runRequest(directory, genome, data, extra);
    EXPECT_EQ(result.status, 0) << result.standardError;
    return samRecords(readFile(directory.file("out.sam")));
}

// The share of reads within 5 bases of their simulated place; supplementary lines hold a read's other part.
double placedShare(const Records& records, std::size_t pairs) {
    std::size_t placed = 0, reads = 0;
    for (const auto& fields : records) {
        const int flag = std::stoi(fields[1]);
        if ((flag & 0x800) != 0) continue;
        ++reads;
        // The simulator's truth, ':'-separated in the name: read 1's place is field 3, read 2's field 5.
        std::istringstream truth(fields[0]);
        std::string place;
        for (int field = 0; field <= ((flag & 64) != 0 ? 3 : 5); ++field) std::getline(truth, place, ':');
        placed += fields[3] != "0" && std::labs(std::stol(fields[3]) - std::stol(place)) <= 5;
    }
    EXPECT_EQ(reads, 2 * pairs);
    return static_cast<double>(placed) / static_cast<double>(reads);
}

// Picard's validator, given the reference so that NM is checked too, finds no error nor warning.
void expectPicardFindsNothing(const TemporaryDirectory& directory, const std::string& genome) {
    const std::string report = directory.file("picard.txt");
    shell("PicardCommandLine ValidateSamFile I='" + directory.file("out.sam") + "' R='" + genome +
          "' MODE=SUMMARY > '" + report + "' 2>&1");
    const std::string text = readFile(report);
    EXPECT_THAT(text, HasSubstr("No errors found"));
    EXPECT_FALSE(std::regex_search("\n" + text, std::regex("\n(ERROR|WARNING):[A-Z_]+\t"))) << text;
}

double cell(const std::string& html, const std::string& pattern) {
    std::smatch match;
    if (std::regex_search(html, match, std::regex(pattern))) return std::stod(match[1]);
    ADD_FAILURE() << "no " << pattern;
    return 0;
}

// Paired-end and mate-pair runs with a read group pass Picard; fixmate agrees with the paired-end
// template lengths, which sampled indexes place as well; junction reads get supplementary lines.
TEST(FastqRequest, SamPassesPicardAndSamtoolsAndSampledIndexesPlaceReadsAsWell) {
    ASSERT_TRUE(std::filesystem::exists(ecoliGenomeFile)) << "run scripts/fetch-ecoli.sh bench-output/data";
    TemporaryDirectory directory;
    Records sam;
    for (const bool matePair : {false, true}) {
        SCOPED_TRACE(matePair);
        const Dataset data = simulate(directory, ecoliGenomeFile,
                                      std::string("--pairs 1000 --length 150 --insert 300 --deviation 30 "
                                                  "--substitutions 0.01 --indels 0.05 --seed 21") +
                                          (matePair ? " --mate-pair" : ""));
        const std::string library =
            matePair ? "--generateSupplementalMappings" : "--isReadPairSequencingData";
        sam = mapToSam(directory, ecoliGenomeFile, data,
                       {"--qmrOutputFileName", "out.qmr", "--readGroupLine",
                        "@RG\\tID:lib1\\tSM:ecoli\\tPL:ILLUMINA", library, "true"});
        expectPicardFindsNothing(directory, ecoliGenomeFile);
        if (matePair) continue;
        // koru writes a pair's two lines together, the order fixmate reads.
        ASSERT_EQ(shell("samtools fixmate -O sam '" + directory.file("out.sam") + "' '" +
                        directory.file("fixed.sam") + "' 2>/dev/null"),
                  0);
        const Records fixed = samRecords(readFile(directory.file("fixed.sam")));
        ASSERT_EQ(sam.size(), fixed.size());
        std::size_t properPairs = 0;
        for (std::size_t i = 0; i < sam.size(); ++i) {
            EXPECT_EQ(std::tuple(sam[i][1], sam[i][8]), std::tuple(fixed[i][1], fixed[i][8])) << sam[i][0];
            properPairs += (std::stoi(sam[i][1]) & 0x2) != 0;
        }
        EXPECT_GT(properPairs, sam.size() * 9 / 10);
        const double full = placedShare(sam, 1000);
        EXPECT_GE(full, 0.95);
        for (const char* step : {"2", "4", "8"})
            EXPECT_GE(
                placedShare(mapToSam(directory, ecoliGenomeFile, data,
                                     {"--isReadPairSequencingData", "true", "--indexSamplingStep", step}),
                            1000),
                full - 0.003)
                << step;
    }
    EXPECT_THAT(readFile(directory.file("out.qmr")), HasSubstr(" Bio\n"));
    std::size_t supplementary = 0, named = 0, proper = 0;
    for (const auto& fields : sam) {
        const int flag = std::stoi(fields[1]);
        supplementary += (flag & 0x800) != 0;
        proper += (flag & 0x802) == 0x2;
        named += std::count_if(fields.begin(), fields.end(),
                               [](const std::string& f) { return f.starts_with("SA:Z:"); });
    }
    EXPECT_GT(supplementary, 0u);
    EXPECT_EQ(named, 2 * supplementary);
    shell("samtools flagstat '" + directory.file("out.sam") + "' > '" + directory.file("flagstat.txt") + "'");
    const std::string flagstat = readFile(directory.file("flagstat.txt"));
    for (const std::string& line :
         {std::string("2000 + 0 primary\n"), std::to_string(supplementary) + " + 0 supplementary\n",
          std::to_string(proper) + " + 0 properly paired"})
        EXPECT_THAT(flagstat, HasSubstr(line));
}

// Enough pairs for several input chunks, so that threads finish them out of order: two threads on
// compressed files write what one thread writes from the plain ones.
TEST(FastqRequest, OutputKeepsTheInputOrderWhateverTheThreadsOrCompression) {
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, lambdaGenomeFile, "--pairs 12000 --length 100 --substitutions 0.01 --seed 3");
    const Records one = mapToSam(directory, lambdaGenomeFile, data, {"-T", "1"});
    ASSERT_EQ(one.size(), 24000u);
    const Dataset compressed{directory.write("z_1.fq.gz", gzipCompress(readFile(data.read1))),
                             directory.write("z_2.fq.gz", gzipCompress(readFile(data.read2)))};
    EXPECT_EQ(mapToSam(directory, lambdaGenomeFile, compressed, {"-T", "2"}), one);
}

// "-" puts SAM on standard output and the report on standard error; offset 64 qualities become Phred + 33.
TEST(FastqRequest, SamOnStandardOutputWithReadGroupAndQualitiesOfOffset64) {
    TemporaryDirectory directory;
    const auto fastq = [&](const std::string& name, const std::string& bases) {
        return directory.write(name, "@a\n" + bases + "\n+\n" + std::string(100, 'h') + "\n");
    };
    const Dataset data{fastq("q_1.fq", lambdaChromosome().substr(1000, 100)),
                       fastq("q_2.fq", reverseComplementOf(lambdaChromosome().substr(1300, 100)))};
    const CommandResult result =
        runRequest(directory, lambdaGenomeFile, data,
                   {"--phredQualityOffset", "64", "--samOutputFileName", "-", "--readGroupLine",
                    "@RG\\tID:lib1\\tSM:sample one\\tPL:ILLUMINA"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    EXPECT_TRUE(result.standardOutput.starts_with("@HD\tVN:1.0"));
    EXPECT_THAT(result.standardOutput, HasSubstr("\n@RG\tID:lib1\tSM:sample one\tPL:ILLUMINA\n"));
    EXPECT_THAT(result.standardError, HasSubstr("Elapsed time for \"Total Execution Time\""));
    const Records records = samRecords(result.standardOutput);
    ASSERT_EQ(records.size(), 2u);
    for (const auto& fields : records)
        EXPECT_EQ(std::tuple(fields[10], fields.back()), std::tuple(std::string(100, 'I'), "RG:Z:lib1"));
}

// Pairs 0 to 3 have reads 2 of all N, just over half, exactly half and none; pairs 4 to 33 reads 2
// of 31 bases (pair 4's of none, the first reported); pairs 34 to 39 both reads of 30.
TEST(FastqRequest, ReadsTooShortOrOfMostlyNAreNotMappedAndTheirMatesAre) {
    TemporaryDirectory directory;
    const auto record = [](std::size_t pair, const std::string& bases) {
        return "@p" + std::to_string(pair) + "\n" + bases + "\n+\n" + std::string(bases.size(), 'I') + "\n";
    };
    std::string fastq1, fastq2, mapped;  // 'm' for each read expected mapped, 'u' for each unmapped
    for (std::size_t pair = 0; pair < 40; ++pair) {
        mapped += pair >= 34 ? "uu" : pair == 2 || pair == 3 ? "mm" : "mu";
        std::string read1 = lambdaChromosome().substr(1000 * pair + 100, 150),
                    read2 = reverseComplementOf(lambdaChromosome().substr(1000 * pair + 400, 150));
        const std::size_t n[] = {150, 76, 75, 0};
        if (pair < 4) read2.replace(0, n[pair], n[pair], 'N');
        if (pair >= 4) read2.resize(pair == 4 ? 0 : pair < 34 ? 31 : 30);
        if (pair >= 34) read1.resize(30);
        fastq1 += record(pair, read1);
        fastq2 += record(pair, read2);
    }
    const CommandResult result = runRequest(
        directory, lambdaGenomeFile, {directory.write("1.fq", fastq1), directory.write("2.fq", fastq2)},
        {"--samOutputFileName", "out.sam", "--isReadPairSequencingData", "true"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    EXPECT_EQ(shell("samtools quickcheck '" + directory.file("out.sam") + "'"), 0);
    std::string flags;
    for (const auto& fields : samRecords(readFile(directory.file("out.sam"))))
        flags += (std::stoi(fields[1]) & 0x4) != 0 ? 'u' : 'm';
    EXPECT_EQ(flags, mapped);
    const std::string warnings[] = {
        "read had 0 bases, which is not supported, the algorithm currently supports reads with 32 to 512 "
        "bases.",
        "Warning: 36 read pairs with a read of an unsupported length had that read reported unmapped; 30 of "
        "their other reads were mapped alone.",
        "Warning: 2 reads with more than 50% uncalled bases (N) were reported unmapped; their mates were "
        "mapped alone."};
    for (const std::string& warning : warnings) EXPECT_THAT(result.standardError, HasSubstr(warning));
}

// 1400 mate pairs (2 to 5 kbase, facing away) and 600 paired-end pairs of about 300 bases facing inward.
// A mate pair with the junction inside a read ("j" in its name) faces inward about half the time.
TEST(LibraryReport, FiguresMatchAMixedLibraryOfKnownTruth) {
    TemporaryDirectory directory;
    const Dataset mates = simulate(
                      directory, lambdaGenomeFile,
                      "--pairs 1400 --length 100 --insert 300 --deviation 30 --mate-pair --seed 5", "mate"),
                  pairs = simulate(directory, lambdaGenomeFile,
                                   "--pairs 600 --length 100 --insert 300 --deviation 30 --seed 6", "pe");
    const Dataset mixed{directory.write("mixed_1.fq", readFile(mates.read1) + readFile(pairs.read1)),
                        directory.write("mixed_2.fq", readFile(mates.read2) + readFile(pairs.read2))};
    const CommandResult reported =
        runRequest(directory, lambdaGenomeFile, mixed,
                   {"--samOutputFileName", "out.sam", "--reportFile", "report.html",
                    "--generateSupplementalMappings", "true", "--singleThreadAlignment", "true", "-v"});
    ASSERT_EQ(reported.status, 0) << reported.standardError;
    const std::string names = readFile(mates.read1), html = readFile(directory.file("report.html"));
    const std::regex junction("@sim:[^ \n]*j");
    const auto junctionPairs = static_cast<double>(
        std::distance(std::sregex_iterator(names.begin(), names.end(), junction), std::sregex_iterator()));
    EXPECT_EQ(cell(html, "data-row=\"pairs\"><th>[^<]*</th><td class=\"n\">(\\d+)"), 2000);
    EXPECT_GE(cell(html, "data-row=\"mapped\"><th>[^<]*</th><td class=\"n\">(\\d+)"), 1900);
    EXPECT_NEAR(cell(html, "data-class=\"FR\">.*?<td class=\"n\">(\\d+)"), 600 + junctionPairs / 2,
                junctionPairs / 10);
    EXPECT_NEAR(cell(html, "data-class=\"FR\">.*?<td class=\"n median\">(\\d+)"), 300, 10);
    EXPECT_NEAR(cell(html, "data-class=\"RF\">.*?<td class=\"n median\">(\\d+)"), 3500, 250);
    EXPECT_LE(cell(html, "data-class=\"FF-RR\">.*?<td class=\"n\">(\\d+)"), 40);
    EXPECT_GT(cell(html, "<p class=\"note\">(\\d+) reads of the reported pairs were split"), 200);
}

// Once a thread's buffers have grown, the pair step maps, aligns and writes SAM and QMR without a heap
// allocation: paired-end pairs, then mate pairs, which take the junction and alternate paths as well.
TEST(PairStepAllocationsTest, SteadyStateMakesNoHeapAllocation) {
    TemporaryDirectory directory;
    for (const std::string matePair : {"", "--mate-pair"}) {
        const Dataset data = simulate(directory, lambdaGenomeFile,
                                      "--pairs 4000 --length 150 --seed 5 --indels 0.05 " + matePair);
        shell(std::string(KORU_PAIR_ALLOCATIONS) + " '" + lambdaGenomeFile + "' '" + data.read1 + "' '" +
              data.read2 + "' " + matePair + " > '" + directory.file("report") + "'");
        const std::string report = readFile(directory.file("report"));
        EXPECT_NE(report.find("allocations per pair 0.00,"), std::string::npos) << matePair << report;
    }
}

}  // namespace
}  // namespace koru::testing
