// The FASTQ alignment request end to end: simulated read pairs with known truth, mapped by the
// binary, checked with samtools and against the truth carried in the read names.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "test_support/gzip.h"
#include "test_support/run_binary.h"
#include "test_support/sam_text.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

const std::string& ecoliGenome = ecoliGenomeFile;
const std::string& lambdaGenome = lambdaGenomeFile;

struct Dataset {
    std::string read1, read2;
};

Dataset simulate(const TemporaryDirectory& directory, const std::string& genome, const std::string& options,
                 const std::string& tag = "reads") {
    Dataset data{directory.file(tag + "_1.fq"), directory.file(tag + "_2.fq")};
    EXPECT_EQ(simulateReads(genome, data.read1, data.read2, options), 0);
    return data;
}

CommandResult runRequest(const TemporaryDirectory& directory, const std::string& genome, const Dataset& data,
                         std::vector<std::string> extra) {
    std::vector<std::string> arguments{"--referenceGenomeFastaFileName", genome,
                                       "--read1FastqFileName",           data.read1,
                                       "--read2FastqFileName",           data.read2};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return runKoru(arguments, directory.path());
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
double placedShare(const std::vector<std::vector<std::string>>& records, std::size_t pairs) {
    std::map<std::string, int> seen;
    std::size_t placed = 0, reads = 0;
    for (const auto& fields : records) {
        if ((std::stoi(fields[1]) & 0x800) != 0) continue;
        ++reads;
        ++seen[fields[0]];
        const std::vector<std::string> truth = truthOf(fields[0]);
        const bool first = (std::stoi(fields[1]) & 64) != 0;
        const long expected = std::stol(truth[first ? 3 : 5]);
        const long position = std::stol(fields[3]);
        if (position != 0 && std::labs(position - expected) <= 5) ++placed;
    }
    EXPECT_EQ(seen.size(), pairs);
    for (const auto& [name, count] : seen) EXPECT_EQ(count, 2) << name;
    return static_cast<double>(placed) / static_cast<double>(reads);
}

void expectValidSam(const std::string& path) {
    EXPECT_EQ(shell("samtools quickcheck -u '" + path + "'"), 0);
    EXPECT_EQ(shell("samtools view '" + path + "' > /dev/null 2>&1"), 0);
}

// Picard's validator, the strictest reader of SAM, with the reference so that NM is checked too:
// the findings of its summary ("ERROR:TYPE" or "WARNING:TYPE" and a count), none expected.
std::string picardFindings(const TemporaryDirectory& directory, const std::string& sam,
                           const std::string& genome) {
    const std::string report = directory.file("picard.txt");
    shell("PicardCommandLine ValidateSamFile I='" + sam + "' R='" + genome + "' MODE=SUMMARY > '" + report +
          "' 2>&1");
    const std::string text = readFile(report);
    EXPECT_NE(text.find("No errors found"), std::string::npos) << text;
    std::string findings;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if ((line.starts_with("ERROR:") || line.starts_with("WARNING:")) &&
            line.find('\t') != std::string::npos && line.find(' ') == std::string::npos)
            findings += line + "\n";
    return findings;
}

// 150-base reads are held to the same share in the sampled index test, at step 1.
TEST(FastqRequest, PairedEndReadsOnEcoliLandWhereTheyCameFrom) {
    ASSERT_TRUE(std::filesystem::exists(ecoliGenome)) << "run scripts/fetch-ecoli.sh bench-output/data";
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, ecoliGenome,
                 "--pairs 1500 --length 100 --insert 400 --deviation 50 --substitutions 0.01 "
                 "--indels 0.05 --seed 11");
    const CommandResult result = runRequest(
        directory, ecoliGenome, data, {"--samOutputFileName", "out.sam", "--qmrOutputFileName", "out.qmr"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    expectValidSam(directory.file("out.sam"));
    EXPECT_GE(placedShare(samRecords(readFile(directory.file("out.sam"))), 1500), 0.95);
}

// A sampled index lists fewer windows and looks up more keys a read: reads land as well as with
// every window listed.
TEST(FastqRequest, SampledIndexesPlaceReadsAsWellAsTheFullIndex) {
    ASSERT_TRUE(std::filesystem::exists(ecoliGenome));
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, ecoliGenome,
                 "--pairs 2000 --length 150 --insert 400 --deviation 50 --substitutions 0.01 "
                 "--indels 0.05 --seed 13");
    double full = 0;
    for (const char* step : {"1", "2", "4", "8"}) {
        SCOPED_TRACE(step);
        const CommandResult result = runRequest(
            directory, ecoliGenome, data, {"--samOutputFileName", "out.sam", "--indexSamplingStep", step});
        ASSERT_EQ(result.status, 0) << result.standardError;
        const double placed = placedShare(samRecords(readFile(directory.file("out.sam"))), 2000);
        if (full == 0) full = placed;
        EXPECT_GE(placed, full - 0.003);
    }
    EXPECT_GE(full, 0.95);
}

// With a read group, paired-end and mate-pair runs alike. Mate-pair reads spanning a junction get a
// fragment alignment of their own in QMR, and in SAM a supplementary line that it and the read's
// line name in their SA tags; samtools counts the records as koru flagged them.
TEST(FastqRequest, SamWithReadGroupPassesPicardAndJunctionsAreSupplementaryLines) {
    ASSERT_TRUE(std::filesystem::exists(ecoliGenome));
    TemporaryDirectory directory;
    for (const bool matePair : {false, true}) {
        SCOPED_TRACE(matePair);
        const Dataset data = simulate(directory, ecoliGenome,
                                      std::string("--pairs 1000 --length 150 --insert 300 --deviation 30 "
                                                  "--substitutions 0.01 --indels 0.05 --seed 21") +
                                          (matePair ? " --mate-pair" : ""));
        const CommandResult result =
            runRequest(directory, ecoliGenome, data,
                       {"--samOutputFileName", "out.sam", "--qmrOutputFileName", "out.qmr", "--readGroupLine",
                        "@RG\\tID:lib1\\tSM:ecoli\\tPL:ILLUMINA", "--generateSupplementalMappings",
                        matePair ? "true" : "false"});
        ASSERT_EQ(result.status, 0) << result.standardError;
        EXPECT_EQ(picardFindings(directory, directory.file("out.sam"), ecoliGenome), "");
    }
    const auto sam = samRecords(readFile(directory.file("out.sam")));
    placedShare(sam, 1000);
    EXPECT_NE(readFile(directory.file("out.qmr")).find(" Bio\n"), std::string::npos);
    std::size_t supplementary = 0, named = 0, proper = 0;
    for (const auto& fields : sam) {
        const int flag = std::stoi(fields[1]);
        supplementary += (flag & 0x800) != 0 ? 1 : 0;
        proper += (flag & 0x802) == 0x2 ? 1 : 0;
        named += std::count_if(fields.begin(), fields.end(),
                               [](const std::string& f) { return f.rfind("SA:Z:", 0) == 0; });
    }
    EXPECT_GT(supplementary, 0u);
    EXPECT_EQ(named, 2 * supplementary);
    shell("samtools flagstat '" + directory.file("out.sam") + "' > '" + directory.file("flagstat.txt") + "'");
    const std::string flagstat = readFile(directory.file("flagstat.txt"));
    for (const std::string& line :
         {std::string("2000 + 0 primary\n"), std::to_string(supplementary) + " + 0 supplementary\n",
          std::to_string(proper) + " + 0 properly paired"})
        EXPECT_NE(flagstat.find(line), std::string::npos) << line << flagstat;
}

// SAM records of a run, sorted, so that runs with different thread counts compare.
std::vector<std::string> records(const std::string& sam) {
    std::vector<std::string> lines;
    std::istringstream input(sam);
    for (std::string line; std::getline(input, line);)
        if (!line.empty() && line[0] != '@') lines.push_back(line);
    return lines;
}

// Enough pairs for several input chunks, so that threads finish them out of order.
TEST(FastqRequest, OutputKeepsTheInputOrderWhateverTheThreadsOrCompression) {
    TemporaryDirectory directory;
    const Dataset data =
        simulate(directory, lambdaGenome, "--pairs 12000 --length 100 --substitutions 0.01 --seed 3");
    runRequest(directory, lambdaGenome, data, {"--samOutputFileName", "one.sam", "-T", "1"});
    runRequest(directory, lambdaGenome, data, {"--samOutputFileName", "two.sam", "-T", "2"});
    const Dataset compressed{directory.write("z_1.fq.gz", gzipCompress(readFile(data.read1))),
                             directory.write("z_2.fq.gz", gzipCompress(readFile(data.read2)))};
    runRequest(directory, lambdaGenome, compressed, {"--samOutputFileName", "gz.sam", "-T", "2"});
    const auto one = records(readFile(directory.file("one.sam")));
    ASSERT_EQ(one.size(), 24000u);
    EXPECT_EQ(records(readFile(directory.file("two.sam"))), one);
    EXPECT_EQ(records(readFile(directory.file("gz.sam"))), one);
    // Input order: the names of read 1's file, line by line.
    std::istringstream fastq(readFile(data.read1));
    std::size_t record = 0;
    for (std::string line; std::getline(fastq, line) && record < one.size();
         std::getline(fastq, line), std::getline(fastq, line), std::getline(fastq, line), record += 2) {
        const std::string name = line.substr(1, line.find_first_of(" \t/") - 1);
        ASSERT_EQ(one[record].substr(0, one[record].find('\t')), name) << "record " << record;
    }
}

// With one thread the output keeps the input's order, so the QMR lines of the first pairs can be
// checked against their truth: chromosome 1, 0-based positions, negative on the reverse strand.
TEST(FastqRequest, QmrLinesOfKnownPairs) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 20 --substitutions 0 --seed 9");
    ASSERT_EQ(runRequest(directory, lambdaGenome, data,
                         {"--qmrOutputFileName", "out.qmr", "--singleThreadAlignment", "true"})
                  .status,
              0);
    std::istringstream qmr(readFile(directory.file("out.qmr"))), reads(readFile(data.read1));
    std::string line, header, skip;
    int checked = 0;
    while (std::getline(qmr, line) && checked < 5) {
        if (line.empty() || line[0] == '#' || line[0] == '"') continue;
        std::getline(reads, header);
        for (int i = 0; i < 3; ++i) std::getline(reads, skip);
        const std::vector<std::string> truth = truthOf(header.substr(1, header.find(' ') - 1));
        const long positionA = (std::stol(truth[3]) - 1) * (truth[4] == "+" ? 1 : -1);
        const long positionB = (std::stol(truth[5]) - 1) * (truth[6] == "+" ? 1 : -1);
        std::istringstream columns(line);
        long chrA, chrB, posA, posB, binA, binB, homA, homB, score, wholeA, wholeB, file, fileLine;
        std::string type;
        columns >> chrA >> chrB >> posA >> posB >> binA >> binB >> homA >> homB >> score >> wholeA >>
            wholeB >> file >> fileLine >> type;
        EXPECT_EQ(chrA, 1);
        EXPECT_EQ(chrB, 1);
        EXPECT_EQ(posA, positionA) << line;
        EXPECT_EQ(posB, positionB) << line;
        EXPECT_EQ(binA, 7) << "an exact read is good in all three word groups";
        EXPECT_EQ(wholeA + wholeB, 0);
        EXPECT_EQ(score, 200);
        EXPECT_EQ(type, "1");
        EXPECT_EQ(line.size() + 1, 87u) << "version 3 records are 87 characters";
        ++checked;
    }
    EXPECT_EQ(checked, 5);
}

TEST(FastqRequest, EmptyInputGivesHeadersOnly) {
    TemporaryDirectory directory;
    const Dataset data{directory.write("1.fq", ""), directory.write("2.fq", "")};
    const CommandResult result = runRequest(
        directory, lambdaGenome, data, {"--samOutputFileName", "out.sam", "--qmrOutputFileName", "out.qmr"});
    EXPECT_EQ(result.status, 0);
    const std::string sam = readFile(directory.file("out.sam"));
    EXPECT_EQ(sam.rfind("@HD\tVN:1.0\tSO:unsorted\n@PG\tID:koru\tPN:koru\tVN:3.0.0\tCL:", 0), 0u);
    EXPECT_TRUE(samRecords(sam).empty());
    EXPECT_NE(sam.find("@SQ\tSN:gi|9626243|ref|NC_001416.1|\tAS:lambda_phage.fa\tLN:48502\n"),
              std::string::npos);
    EXPECT_EQ(readFile(directory.file("out.qmr")).rfind("#Command Line: ", 0), 0u);
}

TEST(FastqRequest, FilesOfDifferentLengthsAreRefused) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 10 --seed 2");
    // The first 5 of the 10 records of file 2.
    const std::string file2 = readFile(data.read2);
    std::size_t cut = 0;
    for (int line = 0; line < 20; ++line) cut = file2.find('\n', cut) + 1;
    const Dataset shorter{data.read1, directory.write("short.fq", file2.substr(0, cut))};
    const CommandResult result =
        runRequest(directory, lambdaGenome, shorter, {"--samOutputFileName", "out.sam"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.standardError.find("do not hold the same number of records: \"" + shorter.read2 +
                                        "\" ends after 5 records while \"" + data.read1 + "\" holds more."),
              std::string::npos)
        << result.standardError;
}

TEST(FastqRequest, UnsupportedReadLengthsAreReportedUnmapped) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 20 --length 30 --insert 200 --seed 6");
    const CommandResult result =
        runRequest(directory, lambdaGenome, data, {"--samOutputFileName", "out.sam"});
    EXPECT_EQ(result.status, 0);
    const auto records = samRecords(readFile(directory.file("out.sam")));
    ASSERT_EQ(records.size(), 40u);
    for (const auto& fields : records) EXPECT_TRUE(fields[1] == "77" || fields[1] == "141") << fields[1];
    EXPECT_NE(result.standardError.find("read had 30 bases, which is not supported, the algorithm currently "
                                        "supports reads with 32 to 512 bases."),
              std::string::npos);
    EXPECT_NE(
        result.standardError.find("Warning: 20 read pairs with a read of an unsupported length had that "
                                  "read reported unmapped; 0 of their other reads were mapped alone."),
        std::string::npos);
}

TEST(FastqRequest, SamtoolsFixmateKeepsTheTemplateLengths) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, ecoliGenome, "--pairs 500 --length 100 --insert 400 --seed 12");
    const CommandResult result =
        runRequest(directory, ecoliGenome, data,
                   {"--samOutputFileName", "out.sam", "--isReadPairSequencingData", "true"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    // koru writes a pair's two lines together, the order fixmate reads.
    ASSERT_EQ(shell("samtools fixmate -O sam '" + directory.file("out.sam") + "' '" +
                    directory.file("fixed.sam") + "' 2>/dev/null"),
              0);
    const auto ours = samRecords(readFile(directory.file("out.sam")));
    const auto fixed = samRecords(readFile(directory.file("fixed.sam")));
    ASSERT_EQ(ours.size(), fixed.size());
    std::size_t properPairs = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i][8], fixed[i][8]) << ours[i][0];
        EXPECT_EQ(ours[i][1], fixed[i][1]) << ours[i][0];
        properPairs += (std::stoi(ours[i][1]) & 0x2) != 0;
    }
    EXPECT_GT(properPairs, ours.size() * 9 / 10);
}

TEST(FastqRequest, QualitiesOfOffset64AreWrittenAsPhred33AndOnesBelowItRefused) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 20 --length 100 --seed 13");
    const CommandResult result = runRequest(directory, lambdaGenome, data,
                                            {"--samOutputFileName", "out.sam", "--phredQualityOffset", "64"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    std::istringstream lines(readFile(data.read1));
    std::string line, name, quality;
    for (int i = 0; i < 4 && std::getline(lines, line); ++i) (i == 0 ? name : quality) = line;
    name = name.substr(1, name.find(' ') - 1);
    const auto records = samRecords(readFile(directory.file("out.sam")));
    const auto first = std::find_if(records.begin(), records.end(), [&name](const auto& fields) {
        return fields[0] == name && (std::stoi(fields[1]) & 0x40) != 0;
    });
    ASSERT_NE(first, records.end());
    // Each quality character moves down by 31.
    std::string shifted = quality;
    for (char& c : shifted) c = static_cast<char>(c - 31);
    std::string written = (*first)[10];
    if (std::stoi((*first)[1]) & 0x10) std::reverse(written.begin(), written.end());
    EXPECT_EQ(written, shifted);
    // '#' (35) lies below 64: refused, naming the file and the record.
    const Dataset low{directory.write("low_1.fq", "@a\nACGT\n+\nII#I\n"),
                      directory.write("low_2.fq", "@a\nACGT\n+\nIIII\n")};
    const CommandResult refused = runRequest(
        directory, lambdaGenome, low, {"--samOutputFileName", "low.sam", "--phredQualityOffset", "64"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.standardError.find("\"" + low.read1 +
                                         "\" is not in FASTQ form at record 1: a quality "
                                         "character lies below the Phred offset 64"),
              std::string::npos)
        << refused.standardError;
}

// Written to standard output here, as "-" asks, the run's report going to standard error.
TEST(FastqRequest, ReadGroupGoesToTheHeaderAndEveryRecord) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 30 --length 100 --seed 14");
    const CommandResult result = runRequest(
        directory, lambdaGenome, data,
        {"--samOutputFileName", "-", "--readGroupLine", "@RG\\tID:lib1\\tSM:sample one\\tPL:ILLUMINA"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    const std::string sam = result.standardOutput;
    EXPECT_EQ(sam.rfind("@HD\tVN:1.0", 0), 0u);
    EXPECT_NE(sam.find("\n@RG\tID:lib1\tSM:sample one\tPL:ILLUMINA\n"), std::string::npos);
    EXPECT_NE(result.standardError.find("Elapsed time for \"Total Execution Time\""), std::string::npos);
    const auto records = samRecords(sam);
    ASSERT_EQ(records.size(), 60u);
    for (const auto& fields : records) EXPECT_EQ(fields.back(), "RG:Z:lib1") << fields[0];
    EXPECT_EQ(shell("samtools quickcheck '" + directory.write("out.sam", sam) + "'"), 0);
    // Refused before anything is written.
    for (const auto& [line, why] : std::vector<std::pair<std::string, std::string>>{
             {"ID:lib1\\tSM:x", "it must start with @RG and a tab"},
             {"@RG\\tSM:x", "it has no ID field"},
             {"@RG\\tID:a\\tID:b", "it has more than one ID"},
             {"@RG\\tID:a\\tSM", "every field must be a two-letter tag, a colon and a value"}}) {
        const CommandResult refused = runRequest(
            directory, lambdaGenome, data, {"--samOutputFileName", "refused.sam", "--readGroupLine", line});
        EXPECT_EQ(refused.status, 1) << line;
        EXPECT_NE(refused.standardError.find(
                      "passed to the \"readGroupLine\" parameter is not a read group line: " + why + "."),
                  std::string::npos)
            << refused.standardError;
        EXPECT_FALSE(std::filesystem::exists(directory.file("refused.sam"))) << line;
    }
}

// The FASTQ text with the reads (sequence and quality lines) changed by `edit`, which is given the
// record's number and whether the line is the sequence.
std::string editedReads(const std::string& fastq,
                        const std::function<void(std::size_t, bool, std::string&)>& edit) {
    std::istringstream lines(fastq);
    std::string out, line;
    for (std::size_t number = 0; std::getline(lines, line); ++number) {
        if (number % 2 == 1) edit(number / 4, number % 4 == 1, line);
        out += line + "\n";
    }
    return out;
}

TEST(FastqRequest, AReadTooShortToMapLeavesItsMateMappedAlone) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 30 --length 150 --seed 8");
    // Every read 2 cut to 31 bases, the first to none.
    const auto cut = [](std::size_t record, bool, std::string& line) { line.resize(record == 0 ? 0 : 31); };
    const Dataset trimmed{data.read1,
                          directory.write("trimmed_2.fq", editedReads(readFile(data.read2), cut))};
    const CommandResult result =
        runRequest(directory, lambdaGenome, trimmed,
                   {"--samOutputFileName", "out.sam", "--isReadPairSequencingData", "true"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    EXPECT_EQ(shell("samtools quickcheck '" + directory.file("out.sam") + "'"), 0);
    const auto records = samRecords(readFile(directory.file("out.sam")));
    ASSERT_EQ(records.size(), 60u);
    for (std::size_t i = 0; i < records.size(); i += 2) {
        const auto& mapped = records[i];
        const auto& unmapped = records[i + 1];
        const int flag = std::stoi(mapped[1]), mateFlag = std::stoi(unmapped[1]);
        // Read 1 mapped with its mate unmapped; read 2 unmapped, placed at its mate.
        EXPECT_EQ(flag & (0x1 | 0x4 | 0x8 | 0x40), 0x1 | 0x8 | 0x40) << mapped[0];
        EXPECT_EQ(mateFlag & (0x1 | 0x4 | 0x8 | 0x80), 0x1 | 0x4 | 0x80) << unmapped[0];
        EXPECT_EQ(unmapped[2], mapped[2]);
        EXPECT_EQ(unmapped[3], mapped[3]);
        EXPECT_LE(std::abs(std::stol(mapped[3]) - std::stol(truthOf(mapped[0]).at(3))), 5) << mapped[0];
    }
    EXPECT_NE(
        result.standardError.find("Warning: 30 read pairs with a read of an unsupported length had that "
                                  "read reported unmapped; 30 of their other reads were mapped alone."),
        std::string::npos)
        << result.standardError;
}

TEST(FastqRequest, ReadsOfMostlyNAreNotMappedAndTheirMatesAre) {
    TemporaryDirectory directory;
    const Dataset data = simulate(directory, lambdaGenome, "--pairs 4 --length 150 --seed 9");
    // Reads 2 of all N, just over half, exactly half, none.
    const auto uncalledBases = [](std::size_t record, bool sequence, std::string& line) {
        const std::size_t n[] = {150, 76, 75, 0};
        if (sequence) line.replace(0, n[record], n[record], 'N');
    };
    const Dataset uncalled{data.read1,
                           directory.write("n_2.fq", editedReads(readFile(data.read2), uncalledBases))};
    const CommandResult result =
        runRequest(directory, lambdaGenome, uncalled,
                   {"--samOutputFileName", "out.sam", "--isReadPairSequencingData", "true"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    const auto records = samRecords(readFile(directory.file("out.sam")));
    ASSERT_EQ(records.size(), 8u);
    for (std::size_t pair = 0; pair < 4; ++pair) {
        const int flag1 = std::stoi(records[2 * pair][1]), flag2 = std::stoi(records[2 * pair + 1][1]);
        const bool dropped = pair < 2;
        EXPECT_EQ(flag1 & 0x4, 0) << pair;
        EXPECT_EQ(flag2 & 0x4, dropped ? 0x4 : 0) << pair;
        EXPECT_EQ(flag1 & 0x8, dropped ? 0x8 : 0) << pair;
    }
    EXPECT_NE(
        result.standardError.find("Warning: 2 reads with more than 50% uncalled bases (N) were reported "
                                  "unmapped; their mates were mapped alone."),
        std::string::npos)
        << result.standardError;
    const CommandResult refused =
        runRequest(directory, lambdaGenome, uncalled,
                   {"--samOutputFileName", "out.sam", "--maximumShareOfUncalledBases", "2"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(
        refused.standardError.find("The value \"2\" passed to the \"maximumShareOfUncalledBases\" parameter "
                                   "is not a share"),
        std::string::npos)
        << refused.standardError;
}

}  // namespace
}  // namespace koru::testing
