// The FASTQ alignment request end to end: simulated read pairs with known truth, mapped by the
// binary, checked with samtools and against the truth carried in the read names.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "requests/lambda_requests.h"
#include "test_support/gzip.h"
#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

using Records = std::vector<std::vector<std::string>>;

struct Dataset {
    std::string read1, read2;
};

Dataset simulate(const TemporaryDirectory& directory, const std::string& genome, const std::string& options) {
    Dataset data{directory.file("reads_1.fq"), directory.file("reads_2.fq")};
    EXPECT_EQ(simulateReads(genome, data.read1, data.read2, options), 0);
    return data;
}

CommandResult runRequest(const TemporaryDirectory& directory, const std::string& genome, const Dataset& data,
                         std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"--referenceGenomeFastaFileName", genome, "--read1FastqFileName", data.read1,
                                 "--read2FastqFileName", data.read2});
    return runKoru(extra, directory.path());
}

// A run that writes out.sam and must succeed, with the records it wrote.
struct Mapped {
    CommandResult result;
    Records sam;
};

Mapped mapToSam(const TemporaryDirectory& directory, const std::string& genome, const Dataset& data,
                std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--samOutputFileName", "out.sam"});
    Mapped mapped{runRequest(directory, genome, data, extra), {}};
    EXPECT_EQ(mapped.result.status, 0) << mapped.result.standardError;
    mapped.sam = samRecords(readFile(directory.file("out.sam")));
    return mapped;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The simulator's truth in a read name, ':'-separated: read 1's place is field 3, read 2's field 5.
std::vector<std::string> truthOf(const std::string& name) {
    std::vector<std::string> truth;
    std::istringstream parts(name);
    for (std::string part; std::getline(parts, part, ':');) truth.push_back(part);
    return truth;
}

// The share of reads placed within 5 bases of their simulated position (leftmost base of the
// part near the mate for a junction read), and checks that every pair appears exactly once. A
// junction read's supplementary line holds its other part, not its placement.
double placedShare(const Records& records, std::size_t pairs) {
    std::map<std::string, int> seen;
    std::size_t placed = 0, reads = 0;
    for (const auto& fields : records) {
        if ((std::stoi(fields[1]) & 0x800) != 0) continue;
        ++reads;
        ++seen[fields[0]];
        const long expected = std::stol(truthOf(fields[0])[(std::stoi(fields[1]) & 64) != 0 ? 3 : 5]);
        const long position = std::stol(fields[3]);
        if (position != 0 && std::labs(position - expected) <= 5) ++placed;
    }
    EXPECT_EQ(seen.size(), pairs);
    for (const auto& [name, count] : seen) EXPECT_EQ(count, 2) << name;
    return static_cast<double>(placed) / static_cast<double>(reads);
}

// Picard's validator, the strictest reader of SAM, with the reference so that NM is checked too:
// the findings of its summary ("ERROR:TYPE" or "WARNING:TYPE" and a count), none expected.
std::string picardFindings(const TemporaryDirectory& directory, const std::string& genome) {
    const std::string report = directory.file("picard.txt");
    shell("PicardCommandLine ValidateSamFile I='" + directory.file("out.sam") + "' R='" + genome +
          "' MODE=SUMMARY > '" + report + "' 2>&1");
    const std::string text = readFile(report);
    EXPECT_TRUE(contains(text, "No errors found")) << text;
    std::string findings;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if ((line.starts_with("ERROR:") || line.starts_with("WARNING:")) && contains(line, "\t") &&
            !contains(line, " "))
            findings += line + "\n";
    return findings;
}

// A sampled index lists fewer windows and looks up more keys a read: reads land as well as with
// every window listed.
TEST(FastqRequest, SampledIndexesPlaceReadsAsWellAsTheFullIndex) {
    ASSERT_TRUE(std::filesystem::exists(ecoliGenomeFile)) << "run scripts/fetch-ecoli.sh bench-output/data";
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, ecoliGenomeFile,
                 "--pairs 2000 --length 150 --insert 400 --deviation 50 --substitutions 0.01 "
                 "--indels 0.05 --seed 13");
    double full = 0;
    for (const char* step : {"1", "2", "4", "8"}) {
        SCOPED_TRACE(step);
        const double placed =
            placedShare(mapToSam(directory, ecoliGenomeFile, data, {"--indexSamplingStep", step}).sam, 2000);
        if (full == 0) full = placed;
        EXPECT_GE(placed, full - 0.003);
    }
    EXPECT_GE(full, 0.95);
}

// With a read group, paired-end and mate-pair runs alike. Mate-pair reads spanning a junction get a
// fragment alignment of their own in QMR, and in SAM a supplementary line that it and the read's
// line name in their SA tags; samtools counts the records as koru flagged them.
TEST(FastqRequest, SamWithReadGroupPassesPicardAndJunctionsAreSupplementaryLines) {
    TemporaryDirectory directory;
    Records sam;
    for (const bool matePair : {false, true}) {
        SCOPED_TRACE(matePair);
        const Dataset data = simulate(directory, ecoliGenomeFile,
                                      std::string("--pairs 1000 --length 150 --insert 300 --deviation 30 "
                                                  "--substitutions 0.01 --indels 0.05 --seed 21") +
                                          (matePair ? " --mate-pair" : ""));
        sam = mapToSam(directory, ecoliGenomeFile, data,
                       {"--qmrOutputFileName", "out.qmr", "--readGroupLine",
                        "@RG\\tID:lib1\\tSM:ecoli\\tPL:ILLUMINA", "--generateSupplementalMappings",
                        matePair ? "true" : "false"})
                  .sam;
        EXPECT_EQ(picardFindings(directory, ecoliGenomeFile), "");
    }
    placedShare(sam, 1000);
    EXPECT_TRUE(contains(readFile(directory.file("out.qmr")), " Bio\n"));
    std::size_t supplementary = 0, named = 0, proper = 0;
    for (const auto& fields : sam) {
        const int flag = std::stoi(fields[1]);
        supplementary += (flag & 0x800) != 0 ? 1 : 0;
        proper += (flag & 0x802) == 0x2 ? 1 : 0;
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
        EXPECT_TRUE(contains(flagstat, line)) << line << flagstat;
}

// Enough pairs for several input chunks, so that threads finish them out of order.
TEST(FastqRequest, OutputKeepsTheInputOrderWhateverTheThreadsOrCompression) {
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, lambdaGenomeFile, "--pairs 12000 --length 100 --substitutions 0.01 --seed 3");
    const Records one = mapToSam(directory, lambdaGenomeFile, data, {"-T", "1"}).sam;
    ASSERT_EQ(one.size(), 24000u);
    // Two threads reading compressed files write what one thread wrote from the plain ones.
    const Dataset compressed{directory.write("z_1.fq.gz", gzipCompress(readFile(data.read1))),
                             directory.write("z_2.fq.gz", gzipCompress(readFile(data.read2)))};
    EXPECT_EQ(mapToSam(directory, lambdaGenomeFile, compressed, {"-T", "2"}).sam, one);
    // Input order: the names of read 1's file, every fourth line.
    std::istringstream fastq(readFile(data.read1));
    std::string line;
    for (std::size_t record = 0; record < one.size() && std::getline(fastq, line); record += 2) {
        ASSERT_EQ(one[record][0], line.substr(1, line.find_first_of(" \t/") - 1)) << "record " << record;
        for (int skip = 0; skip < 3; ++skip) std::getline(fastq, line);
    }
}

TEST(FastqRequest, SamtoolsFixmateKeepsTheTemplateLengths) {
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, ecoliGenomeFile, "--pairs 500 --length 100 --insert 400 --seed 12");
    const Records ours =
        mapToSam(directory, ecoliGenomeFile, data, {"--isReadPairSequencingData", "true"}).sam;
    // koru writes a pair's two lines together, the order fixmate reads.
    ASSERT_EQ(shell("samtools fixmate -O sam '" + directory.file("out.sam") + "' '" +
                    directory.file("fixed.sam") + "' 2>/dev/null"),
              0);
    const Records fixed = samRecords(readFile(directory.file("fixed.sam")));
    ASSERT_EQ(ours.size(), fixed.size());
    std::size_t properPairs = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i][8], fixed[i][8]) << ours[i][0];
        EXPECT_EQ(ours[i][1], fixed[i][1]) << ours[i][0];
        properPairs += (std::stoi(ours[i][1]) & 0x2) != 0;
    }
    EXPECT_GT(properPairs, ours.size() * 9 / 10);
}

// Every quality is 'h', 40 above offset 64, and is written as 40 above 33.
TEST(FastqRequest, QualitiesOfOffset64AreWrittenAsPhred33AndOnesBelowItRefused) {
    TemporaryDirectory directory;
    const auto fastq = [&](const std::string& name, const std::string& bases, const std::string& qualities) {
        return directory.write(name, "@a\n" + bases + "\n+\n" + qualities + "\n");
    };
    const std::string quality(100, 'h');
    const Dataset data{fastq("q_1.fq", lambdaChromosome().substr(1000, 100), quality),
                       fastq("q_2.fq", reverseComplementOf(lambdaChromosome().substr(1300, 100)), quality)};
    const Records records = mapToSam(directory, lambdaGenomeFile, data, {"--phredQualityOffset", "64"}).sam;
    ASSERT_EQ(records.size(), 2u);
    for (const auto& fields : records) EXPECT_EQ(fields[10], std::string(100, 'I'));
    // '#' (35) lies below 64: refused, naming the file and the record.
    const Dataset low{fastq("low_1.fq", "ACGT", "II#I"), fastq("low_2.fq", "ACGT", "IIII")};
    const CommandResult refused = runRequest(
        directory, lambdaGenomeFile, low, {"--samOutputFileName", "low.sam", "--phredQualityOffset", "64"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.standardError, "\"" + low.read1 +
                                                    "\" is not in FASTQ form at record 1: a quality "
                                                    "character lies below the Phred offset 64"))
        << refused.standardError;
}

// Written to standard output here, as "-" asks, the run's report going to standard error. Refused
// read group lines are in the command-line tests.
TEST(FastqRequest, ReadGroupGoesToTheHeaderAndEveryRecord) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenomeFile, "--pairs 30 --length 100 --seed 14");
    const CommandResult result = runRequest(
        directory, lambdaGenomeFile, data,
        {"--samOutputFileName", "-", "--readGroupLine", "@RG\\tID:lib1\\tSM:sample one\\tPL:ILLUMINA"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    const std::string& sam = result.standardOutput;
    EXPECT_TRUE(sam.starts_with("@HD\tVN:1.0"));
    EXPECT_TRUE(contains(sam, "\n@RG\tID:lib1\tSM:sample one\tPL:ILLUMINA\n"));
    EXPECT_TRUE(contains(result.standardError, "Elapsed time for \"Total Execution Time\""));
    const Records records = samRecords(sam);
    ASSERT_EQ(records.size(), 60u);
    for (const auto& fields : records) EXPECT_EQ(fields.back(), "RG:Z:lib1") << fields[0];
    EXPECT_EQ(shell("samtools quickcheck '" + directory.write("out.sam", sam) + "'"), 0);
}

// The dataset with its reads (sequence and quality lines) changed by `edit`, which is given the
// record's number, whether the read is read 2 and whether the line is the sequence.
Dataset edited(const TemporaryDirectory& directory, const Dataset& data,
               const std::function<void(std::size_t, bool, bool, std::string&)>& edit) {
    Dataset out;
    for (const bool read2 : {false, true}) {
        std::istringstream lines(readFile(read2 ? data.read2 : data.read1));
        std::string text, line;
        for (std::size_t number = 0; std::getline(lines, line); ++number) {
            if (number % 2 == 1) edit(number / 4, read2, number % 4 == 1, line);
            text += line + "\n";
        }
        (read2 ? out.read2 : out.read1) = directory.write(read2 ? "edited_2.fq" : "edited_1.fq", text);
    }
    return out;
}

// Pairs 0 to 3 have reads 2 of all N, just over half, exactly half and none; pairs 4 to 33 reads 2
// cut to 31 bases (pair 4's to none, the first reported); pairs 34 to 39 both reads cut to 30.
TEST(FastqRequest, ReadsTooShortOrOfMostlyNAreNotMappedAndTheirMatesAre) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenomeFile, "--pairs 40 --length 150 --seed 8");
    const auto edit = [](std::size_t record, bool read2, bool sequence, std::string& line) {
        const std::size_t n[] = {150, 76, 75, 0};
        if (record >= 34)
            line.resize(30);
        else if (read2 && record >= 4)
            line.resize(record == 4 ? 0 : 31);
        else if (read2 && sequence)
            line.replace(0, n[record], n[record], 'N');
    };
    const Mapped mapped = mapToSam(directory, lambdaGenomeFile, edited(directory, data, edit),
                                   {"--isReadPairSequencingData", "true"});
    EXPECT_EQ(shell("samtools quickcheck '" + directory.file("out.sam") + "'"), 0);
    ASSERT_EQ(mapped.sam.size(), 80u);
    for (std::size_t i = 0; i < mapped.sam.size(); i += 2) {
        const auto &read1 = mapped.sam[i], &read2 = mapped.sam[i + 1];
        const int flag1 = std::stoi(read1[1]), flag2 = std::stoi(read2[1]);
        SCOPED_TRACE(read1[0]);
        if (i / 2 >= 34) {
            EXPECT_EQ(flag1, 77);
            EXPECT_EQ(flag2, 141);
            continue;
        }
        EXPECT_LE(std::abs(std::stol(read1[3]) - std::stol(truthOf(read1[0]).at(3))), 5);
        if (i / 2 == 2 || i / 2 == 3) {
            EXPECT_EQ((flag1 | flag2) & 0xC, 0) << "a read of at most half N is mapped";
            continue;
        }
        // Read 1 mapped with its mate unmapped; read 2 unmapped, placed at its mate.
        EXPECT_EQ(flag1 & (0x1 | 0x4 | 0x8 | 0x40), 0x1 | 0x8 | 0x40);
        EXPECT_EQ(flag2 & (0x1 | 0x4 | 0x8 | 0x80), 0x1 | 0x4 | 0x80);
        EXPECT_EQ(read2[2], read1[2]);
        EXPECT_EQ(read2[3], read1[3]);
    }
    const std::string warnings[] = {
        "read had 0 bases, which is not supported, the algorithm currently supports reads with 32 to 512 "
        "bases.",
        "Warning: 36 read pairs with a read of an unsupported length had that read reported unmapped; 30 of "
        "their other reads were mapped alone.",
        "Warning: 2 reads with more than 50% uncalled bases (N) were reported unmapped; their mates were "
        "mapped alone."};
    for (const std::string& warning : warnings)
        EXPECT_TRUE(contains(mapped.result.standardError, warning)) << mapped.result.standardError;
}

}  // namespace
}  // namespace koru::testing
