#include "io/sam_output.h"

#include <gtest/gtest.h>

#include "io/output_test_support.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::pairedAlignmentOf;
using testing::pairedAlignmentsOf;
using testing::placedAlignment;

constexpr std::uint32_t kForward = kForwardOrientation;
constexpr std::uint32_t kReverse = kReverseComplementOrientation;

std::string recordOf(const Alignment* a, const Alignment* b, std::uint32_t type) {
    const auto pair = testing::smallReadPair();
    return createSAMOutputRecord(pair->readA, pair->readB, a, b, type);
}

// The template runs from 1001 to 1205: 205 bases, positive on the leftmost read. Only the
// concordant pair is properly paired (0x2).
TEST(SamOutputTest, ConcordantPairSumsTheQualitiesAndDiscordantKeepsEach) {
    const Alignment a = placedAlignment("chr1", 1000, kForward, 30);
    Alignment b = placedAlignment("chr1", 1200, kReverse, 40);
    b.mismatchString = "2A2";
    b.editDistance = 1;
    EXPECT_EQ(recordOf(&a, &b, concordantPairedAlignmentType),
              "r1\t99\tchr1\t1001\t70\t5M\t=\t1201\t205\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
              "r1\t147\tchr1\t1201\t70\t5M\t=\t1001\t-205\tATGCC\tJIHGF\tNM:i:1\tMD:Z:2A2\n");
    EXPECT_EQ(recordOf(&a, &b, discordantPairedAlignmentType),
              "r1\t97\tchr1\t1001\t30\t5M\t=\t1201\t205\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
              "r1\t145\tchr1\t1201\t40\t5M\t=\t1001\t-205\tATGCC\tJIHGF\tNM:i:1\tMD:Z:2A2\n");
}

TEST(SamOutputTest, TemplateLengthCoversClipsAndDeletionsFromTheLeftmostBase) {
    // Read B lies left of read A, with its first 2 bases clipped and a 3-base deletion: it covers
    // 1003 to 1008; read A covers 1011 to 1015.
    const Alignment a = placedAlignment("chr1", 1010, kReverse);
    Alignment b = placedAlignment("chr1", 1000, kForward);
    b.numberOfBasesTrimmedFromStart = 2;
    b.cigarString = "2S1M3D2M";
    const std::string record = recordOf(&a, &b, concordantPairedAlignmentType);
    EXPECT_NE(record.find("\tchr1\t1011\t60\t5M\t=\t1003\t-13\t"), std::string::npos) << record;
    EXPECT_NE(record.find("\tchr1\t1003\t60\t2S1M3D2M\t=\t1011\t13\t"), std::string::npos) << record;
    // On a tie read A is the leftmost.
    const Alignment forward = placedAlignment("chr1", 1000, kForward);
    const Alignment reverse = placedAlignment("chr1", 1000, kReverse);
    const std::string tie = recordOf(&forward, &reverse, concordantPairedAlignmentType);
    EXPECT_NE(tie.find("\t=\t1001\t5\tACGTA"), std::string::npos) << tie;
    EXPECT_NE(tie.find("\t=\t1001\t-5\t"), std::string::npos) << tie;
}

TEST(SamOutputTest, OlderMateSuffixesAreDroppedAndQualitiesShiftedToPhred33) {
    auto pair = testing::smallReadPair("frag/1");
    pair->readB.name = "frag/2";
    pair->readA.qualitySequence = "hhhhh";  // Phred 40 at offset 64
    const Alignment a = placedAlignment("chr1", 1000, kForward);
    const std::string record = createSAMOutputRecord(
        pair->readA, pair->readB, &a, nullptr, concordantPairedAlignmentType, SamRecordFormat{64, "grp"});
    EXPECT_EQ(record.rfind("frag\t73\t", 0), 0u) << record;
    EXPECT_NE(record.find("\nfrag\t133\t"), std::string::npos) << record;
    EXPECT_NE(record.find("\tACGTA\tIIIII\t"), std::string::npos) << record;
    // The read group's ID ends every line, the unmapped read's too.
    EXPECT_NE(record.find("MD:Z:5\tRG:Z:grp\nfrag\t"), std::string::npos) << record;
    EXPECT_EQ(record.substr(record.size() - 10), "\tRG:Z:grp\n");
}

TEST(SamOutputTest, MappingQualityStopsAt254) {
    const Alignment a = placedAlignment("chr1", 10, kForward, 200);
    const Alignment b = placedAlignment("chr1", 20, kForward, 100);
    const std::string concordant = recordOf(&a, &b, concordantPairedAlignmentType);
    // Both forward: concordant by place, but not properly paired.
    EXPECT_NE(concordant.find("r1\t65\tchr1\t11\t254\t"), std::string::npos) << concordant;
    EXPECT_NE(concordant.find("r1\t129\tchr1\t21\t254\t"), std::string::npos) << concordant;
    const Alignment uncapped = placedAlignment("chr1", 10, kForward, 0x80000000u);
    const std::string alone = recordOf(&uncapped, nullptr, discordantPairedAlignmentType);
    EXPECT_EQ(alone.substr(0, alone.find('\n')),
              "r1\t73\tchr1\t11\t254\t5M\t=\t11\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5");
}

TEST(SamOutputTest, UnmappedMateIsPlacedAtTheMappedRead) {
    Alignment a = placedAlignment("chr2", 1000, kForward, 30);
    a.numberOfBasesTrimmedFromStart = 3;
    a.cigarString = "3S2M";
    a.mismatchString = "2";
    EXPECT_EQ(recordOf(&a, nullptr, concordantPairedAlignmentType),
              "r1\t73\tchr2\t1004\t30\t3S2M\t=\t1004\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:2\n"
              "r1\t133\tchr2\t1004\t0\t*\t=\t1004\t0\tGGCAT\tFGHIJ\n");
    Alignment empty;
    initAlignment(empty);
    EXPECT_EQ(recordOf(&a, &empty, concordantPairedAlignmentType),
              recordOf(&a, nullptr, concordantPairedAlignmentType));
}

TEST(SamOutputTest, NotReportableAlignmentIsWrittenAsUnmapped) {
    Alignment a = placedAlignment("chr1", 1000, kForward, 30);
    a.isReportable = 0;
    const Alignment b = placedAlignment("chr1", 1200, kReverse, 40);
    // Read A stays forward; read B keeps its own placement and orientation.
    EXPECT_EQ(recordOf(&a, &b, concordantPairedAlignmentType),
              "r1\t101\tchr1\t1201\t0\t*\t=\t1201\t0\tACGTA\tABCDE\n"
              "r1\t153\tchr1\t1201\t40\t5M\t=\t1201\t0\tATGCC\tJIHGF\tNM:i:0\tMD:Z:5\n");
    EXPECT_EQ(recordOf(&a, &b, concordantPairedAlignmentType),
              recordOf(nullptr, &b, concordantPairedAlignmentType));
}

TEST(SamOutputTest, MatesOnDifferentChromosomes) {
    const Alignment a = placedAlignment("chr1", 1000, kForward, 30);
    const Alignment b = placedAlignment("chr3", 500, kReverse, 40);
    EXPECT_EQ(recordOf(&a, &b, concordantPairedAlignmentType),
              "r1\t97\tchr1\t1001\t70\t5M\tchr3\t501\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
              "r1\t145\tchr3\t501\t70\t5M\tchr1\t1001\t0\tATGCC\tJIHGF\tNM:i:0\tMD:Z:5\n");
}

TEST(SamOutputTest, NamesAreCutAtTheirFirstWhiteSpace) {
    const auto pair = testing::smallReadPair("r7 1:N:0:ACGT\tmore");
    const Alignment a = placedAlignment("chr1 Homo sapiens", 0, kForward, 30);
    const Alignment b = placedAlignment("chr1\tassembled", 9, kForward, 30);
    // Cut to the same text, the stored names still differ: different chromosomes.
    EXPECT_EQ(createSAMOutputRecord(pair->readA, pair->readB, &a, &b, concordantPairedAlignmentType),
              "r7\t65\tchr1\t1\t60\t5M\tchr1\t10\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
              "r7\t129\tchr1\t10\t60\t5M\tchr1\t1\t0\tGGCAT\tFGHIJ\tNM:i:0\tMD:Z:5\n");
    EXPECT_EQ(samName("a\r\nb"), "a");
    EXPECT_EQ(samName("plain"), "plain");
}

// The records the writer puts in the SAM file for the paired alignments.
std::string samLines(std::initializer_list<PairedAlignment> list) {
    testing::TemporaryDirectory directory;
    const auto pair = testing::smallReadPair();
    auto file = createLockedFile(directory.file("out.sam"), false, false);
    {
        BufferedFileWriter writer(*file, 0);
        writePairedAlignmentsToSamFile(ExecutionParameters{}, pairedAlignmentsOf(*pair, list), writer,
                                       GenomeSequence{});
    }
    return testing::readFile(directory.file("out.sam"));
}

TEST(SamOutputTest, PairWithoutPrimaryIsTwoUnmappedReads) {
    EXPECT_EQ(samLines({}),
              "r1\t77\t*\t0\t0\t*\t*\t0\t0\tACGTA\tABCDE\n"
              "r1\t141\t*\t0\t0\t*\t*\t0\t0\tGGCAT\tFGHIJ\n");
}

// Each read's first alignment is its line; its alternates are listed in XA.
TEST(SamOutputTest, FirstAlignmentsAreWrittenAndAlternatesListed) {
    Alignment alternate = placedAlignment("chr9", 7, kForward, 1);
    alternate.alignmentType = alternateAlignmentType;
    const PairedAlignment discordant =
        pairedAlignmentOf(testing::alignmentsOf({placedAlignment("chr1", 1000, kForward, 30), alternate}, 5),
                          testing::alignmentsOf({placedAlignment("chr2", 50, kForward, 40)}, 5), 190,
                          discordantPairedAlignmentType);
    EXPECT_EQ(samLines({discordant}),
              "r1\t65\tchr1\t1001\t30\t5M\tchr2\t51\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\tXA:Z:chr9,+8,5M,0;\n"
              "r1\t129\tchr2\t51\t40\t5M\tchr1\t1001\t0\tGGCAT\tFGHIJ\tNM:i:0\tMD:Z:5\n");
}

GenomeSequence twoChromosomeGenome() {
    GenomeSequence genome;
    genome.chromosomes.resize(2);
    genome.chromosomes[0].name = "chr1 first chromosome";
    genome.chromosomes[0].basePairs = 1000;
    genome.chromosomes[1].name = "chrM";
    genome.chromosomes[1].basePairs = 16569;
    return genome;
}

std::string samHeaderFor(const std::string& genomeFile, const std::string& commandLine) {
    testing::TemporaryDirectory directory;
    ExecutionParameters params;
    params.genomeInformation = std::make_unique<GenomeInformation>();
    params.genomeInformation->file = genomeFile;
    params.processInformation.commandLine = commandLine;
    params.samOutputRequestParameters.samOutputFile = createLockedFile(directory.file("h.sam"), false, false);
    writeSamFileHeader(params, twoChromosomeGenome());
    return testing::readFile(directory.file("h.sam"));
}

TEST(SamOutputTest, HeaderListsEveryChromosomeWithTheAssemblyName) {
    EXPECT_EQ(samHeaderFor("/data/genomes/hg38.fa", "koru -g x\ty\n--sam out.sam "),
              "@HD\tVN:1.0\tSO:unsorted\n"
              "@PG\tID:koru\tPN:koru\tVN:3.0.0\tCL:koru -g x y --sam out.sam\n"
              "@SQ\tSN:chr1\tAS:hg38.fa\tLN:1000\n"
              "@SQ\tSN:chrM\tAS:hg38.fa\tLN:16569\n");
    const std::string header = samHeaderFor("local.fa", "koru ");
    EXPECT_NE(header.find("\tCL:koru\n"), std::string::npos) << header;
    EXPECT_NE(header.find("@SQ\tSN:chrM\tAS:local.fa\tLN:16569\n"), std::string::npos) << header;
}

}  // namespace
}  // namespace koru
