#include "io/sam_output.h"

#include <gtest/gtest.h>

#include <optional>

#include "io/output_test_support.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

// A chromosome with only what SAM reads of it.
ChromosomeInformation chromosome(const char* name, std::uint64_t basePairs, std::uint64_t start,
                                 std::uint64_t end) {
    ChromosomeInformation c;
    c.name = name;
    c.basePairs = basePairs;
    c.startGenomePosition = start;
    c.endGenomePosition = end;
    return c;
}

using testing::placedAlignment;

constexpr std::uint32_t kForward = kForwardOrientation;
constexpr std::uint32_t kReverse = kReverseComplementOrientation;

// An alignment with the edits of its line: CIGAR, MD, NM and bases clipped from the start.
Alignment edited(Alignment a, const std::string& cigar, const std::string& md, std::uint32_t nm = 0,
                 std::uint32_t clipped = 0) {
    a.cigarString = cigar;
    a.mismatchString = md;
    a.editDistance = nm;
    a.numberOfBasesTrimmedFromStart = clipped;
    return a;
}

// The two lines of read pair "r1" (ACGTA/ABCDE, GGCAT/FGHIJ) by the placements of its reads.
TEST(SamOutputTest, LinesOfAPairByThePlacementsOfItsReads) {
    Alignment empty;
    initAlignment(empty);
    const Alignment mappedAlone = edited(placedAlignment("chr2", 1000, kForward, 30), "3S2M", "2", 0, 3);
    Alignment unreportable = placedAlignment("chr1", 1000, kForward, 30);
    unreportable.isReportable = 0;
    const std::string alone =
        "r1\t73\tchr2\t1004\t30\t3S2M\t=\t1004\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:2\n"
        "r1\t133\tchr2\t1004\t0\t*\t=\t1004\t0\tGGCAT\tFGHIJ\n";
    const std::string mateAlone =
        "r1\t101\tchr1\t1201\t0\t*\t=\t1201\t0\tACGTA\tABCDE\n"
        "r1\t153\tchr1\t1201\t40\t5M\t=\t1201\t0\tATGCC\tJIHGF\tNM:i:0\tMD:Z:5\n";
    const struct {
        const char* description;
        std::optional<Alignment> a, b;
        std::uint32_t type;
        std::string expected;
    } cases[] = {
        // The template runs from 1001 to 1205; only a concordant pair is proper (0x2) and sums MAPQ.
        {"concordant", placedAlignment("chr1", 1000, kForward, 30),
         edited(placedAlignment("chr1", 1200, kReverse, 40), "5M", "2A2", 1), concordantPairedAlignmentType,
         "r1\t99\tchr1\t1001\t70\t5M\t=\t1201\t205\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
         "r1\t147\tchr1\t1201\t70\t5M\t=\t1001\t-205\tATGCC\tJIHGF\tNM:i:1\tMD:Z:2A2\n"},
        {"discordant", placedAlignment("chr1", 1000, kForward, 30),
         edited(placedAlignment("chr1", 1200, kReverse, 40), "5M", "2A2", 1), discordantPairedAlignmentType,
         "r1\t97\tchr1\t1001\t30\t5M\t=\t1201\t205\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
         "r1\t145\tchr1\t1201\t40\t5M\t=\t1001\t-205\tATGCC\tJIHGF\tNM:i:1\tMD:Z:2A2\n"},
        // Read B, left of read A, covers 1003 to 1008 (2 bases clipped, 3 deleted); A 1011 to 1015.
        {"template over clips and deletions", placedAlignment("chr1", 1010, kReverse),
         edited(placedAlignment("chr1", 1000, kForward), "2S1M3D2M", "5", 0, 2),
         concordantPairedAlignmentType,
         "r1\t83\tchr1\t1011\t60\t5M\t=\t1003\t-13\tTACGT\tEDCBA\tNM:i:0\tMD:Z:5\n"
         "r1\t163\tchr1\t1003\t60\t2S1M3D2M\t=\t1011\t13\tGGCAT\tFGHIJ\tNM:i:0\tMD:Z:5\n"},
        {"on a tie read A is the leftmost", placedAlignment("chr1", 1000, kForward),
         placedAlignment("chr1", 1000, kReverse), concordantPairedAlignmentType,
         "r1\t99\tchr1\t1001\t60\t5M\t=\t1001\t5\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
         "r1\t147\tchr1\t1001\t60\t5M\t=\t1001\t-5\tATGCC\tJIHGF\tNM:i:0\tMD:Z:5\n"},
        // Both forward: concordant by place, but not properly paired; MAPQ stops at 254.
        {"same strand, capped", placedAlignment("chr1", 10, kForward, 200),
         placedAlignment("chr1", 20, kForward, 100), concordantPairedAlignmentType,
         "r1\t65\tchr1\t11\t254\t5M\t=\t21\t15\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
         "r1\t129\tchr1\t21\t254\t5M\t=\t11\t-15\tGGCAT\tFGHIJ\tNM:i:0\tMD:Z:5\n"},
        {"huge quality alone", placedAlignment("chr1", 10, kForward, 0x80000000u), std::nullopt,
         discordantPairedAlignmentType,
         "r1\t73\tchr1\t11\t254\t5M\t=\t11\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
         "r1\t133\tchr1\t11\t0\t*\t=\t11\t0\tGGCAT\tFGHIJ\n"},
        {"mate absent", mappedAlone, std::nullopt, concordantPairedAlignmentType, alone},
        {"mate empty", mappedAlone, empty, concordantPairedAlignmentType, alone},
        // Read A stays forward; read B keeps its own placement and orientation.
        {"not reportable", unreportable, placedAlignment("chr1", 1200, kReverse, 40),
         concordantPairedAlignmentType, mateAlone},
        {"read A absent", std::nullopt, placedAlignment("chr1", 1200, kReverse, 40),
         concordantPairedAlignmentType, mateAlone},
        {"different chromosomes", placedAlignment("chr1", 1000, kForward, 30),
         placedAlignment("chr3", 500, kReverse, 40), concordantPairedAlignmentType,
         "r1\t97\tchr1\t1001\t70\t5M\tchr3\t501\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
         "r1\t145\tchr3\t501\t70\t5M\tchr1\t1001\t0\tATGCC\tJIHGF\tNM:i:0\tMD:Z:5\n"},
    };
    const auto pair = testing::smallReadPair();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(createSAMOutputRecord(pair->readA, pair->readB, c.a ? &*c.a : nullptr,
                                        c.b ? &*c.b : nullptr, c.type),
                  c.expected);
    }
}

TEST(SamOutputTest, NamesAreCutAndQualitiesShiftedToPhred33) {
    auto pair = testing::smallReadPair("frag/1");
    pair->readB.name = "frag/2";
    pair->readA.qualitySequence = "hhhhh";  // Phred 40 at offset 64
    const Alignment a = placedAlignment("chr1", 1000, kForward);
    // The read group's ID ends every line, the unmapped read's too.
    EXPECT_EQ(createSAMOutputRecord(pair->readA, pair->readB, &a, nullptr, concordantPairedAlignmentType,
                                    SamRecordFormat{64, "grp"}),
              "frag\t73\tchr1\t1001\t30\t5M\t=\t1001\t0\tACGTA\tIIIII\tNM:i:0\tMD:Z:5\tRG:Z:grp\n"
              "frag\t133\tchr1\t1001\t0\t*\t=\t1001\t0\tGGCAT\t'()*+\tRG:Z:grp\n");
    // Names are cut at their first white space; cut to the same text, the chromosomes still differ.
    const auto named = testing::smallReadPair("r7 1:N:0:ACGT\tmore");
    const Alignment c = placedAlignment("chr1 Homo sapiens", 0, kForward, 30);
    const Alignment d = placedAlignment("chr1\tassembled", 9, kForward, 30);
    EXPECT_EQ(createSAMOutputRecord(named->readA, named->readB, &c, &d, concordantPairedAlignmentType),
              "r7\t65\tchr1\t1\t60\t5M\tchr1\t10\t0\tACGTA\tABCDE\tNM:i:0\tMD:Z:5\n"
              "r7\t129\tchr1\t10\t60\t5M\tchr1\t1\t0\tGGCAT\tFGHIJ\tNM:i:0\tMD:Z:5\n");
    EXPECT_EQ(samName("a\r\nb"), "a");
}

TEST(SamOutputTest, HeaderListsEveryChromosomeWithTheAssemblyName) {
    testing::TemporaryDirectory directory;
    ExecutionParameters params;
    params.genomeInformation = std::make_unique<GenomeInformation>();
    params.genomeInformation->file = "/data/genomes/hg38.fa";
    params.processInformation.commandLine = "koru -g x\ty\n--sam out.sam ";
    params.samOutputRequestParameters.samOutputFile = createLockedFile(directory.file("h.sam"), false, false);
    GenomeSequence genome;
    genome.chromosomes = {chromosome("chr1 first chromosome", 1000, 0, 0), chromosome("chrM", 16569, 0, 0)};
    writeSamFileHeader(params, genome);
    EXPECT_EQ(testing::readFile(directory.file("h.sam")),
              "@HD\tVN:1.0\tSO:unsorted\n"
              "@PG\tID:koru\tPN:koru\tVN:3.0.0\tCL:koru -g x y --sam out.sam\n"
              "@SQ\tSN:chr1\tAS:hg38.fa\tLN:1000\n"
              "@SQ\tSN:chrM\tAS:hg38.fa\tLN:16569\n");
}

// Read A (12 bases) holds its last 7 forward on chr1 at 1000, its first 5 in a reverse fragment on chr2
// at 300, one substitution in each part; read B lies reverse on chr1 at 1200.
struct JunctionPair {
    std::unique_ptr<ReadPair> reads = createReadPair(12, 2);
    Alignments a;
    Alignment b = edited(placedAlignment("chr1", 1200, kReverse, 40), "12M", "12");

    JunctionPair() {
        testing::setRead(reads->readA, "r1", "AACCGGTTACGT", "ABCDEFGHIJKL");
        testing::setRead(reads->readB, "r1", "GGGGGCCCCCAA", "abcdefghijkl");
        // As the whole-read alignment left it: two chance matches kept the junction unclipped.
        Alignment own = edited(placedAlignment("chr1", 1000, kForward, 30), "1S11M", "2A0G3G3", 3, 1);
        own.matchString = "CMMAGMMMGMMM";
        Alignment fragment = edited(placedAlignment("chr2", 300, kReverse, 3), "12M", "5");
        fragment.alignmentType = biotinJunctionAlignmentType;
        fragment.matchString = "ACGTACGMMTMM";
        a = testing::alignmentsOf({own, fragment}, 12);
        a.hasBiotinJunction = 1;
    }
    std::string record(const Alignment* mate = nullptr, const GenomeSequence* genome = nullptr) const {
        std::string out;
        appendSAMOutputRecord(out, reads->readA, reads->readB, &a.alignments[0], mate,
                              concordantPairedAlignmentType, {}, &a, nullptr, genome);
        return out;
    }
    // The lines without the reads' alignments, as before junction fragments were written.
    std::string plainRecord() const {
        return createSAMOutputRecord(reads->readA, reads->readB, &a.alignments[0], &b,
                                     concordantPairedAlignmentType);
    }
};

// Each part's line clips the other part, the fragment's line follows the pair's, and both name each other.
TEST(SamJunctionTest, FragmentIsASupplementaryLineAndBothPartsAreClipped) {
    JunctionPair pair;
    EXPECT_EQ(pair.record(&pair.b),
              "r1\t99\tchr1\t1006\t70\t5S7M\t=\t1201\t207\tAACCGGTTACGT\tABCDEFGHIJKL\tNM:i:1\tMD:Z:3G3"
              "\tSA:Z:chr2,308,-,7S5M,3,1;\n"
              "r1\t147\tchr1\t1201\t70\t12M\t=\t1006\t-207\tTTGGGGGCCCCC\tlkjihgfedcba\tNM:i:0\tMD:Z:12\n"
              "r1\t2161\tchr2\t308\t3\t7S5M\tchr1\t1201\t0\tACGTAACCGGTT\tLKJIHGFEDCBA\tNM:i:1\tMD:Z:2T2"
              "\tSA:Z:chr1,1006,+,5S7M,70,1;\n");
    // With the mate unmapped the fragment's line points at the read's, where the mate is placed.
    Alignment& fragment = pair.a.alignments[1];
    fragment = placedAlignment("chr1", 5000, kForward, 2);
    fragment.alignmentType = biotinJunctionAlignmentType;
    fragment.matchString = "MMTMMACGTACG";
    EXPECT_EQ(pair.record(),
              "r1\t73\tchr1\t1006\t30\t5S7M\t=\t1006\t0\tAACCGGTTACGT\tABCDEFGHIJKL\tNM:i:1\tMD:Z:3G3"
              "\tSA:Z:chr1,5001,+,5M7S,2,1;\n"
              "r1\t133\tchr1\t1006\t0\t*\t=\t1006\t0\tGGGGGCCCCCAA\tabcdefghijkl\n"
              "r1\t2121\tchr1\t5001\t2\t5M7S\t=\t1006\t0\tAACCGGTTACGT\tABCDEFGHIJKL\tNM:i:1\tMD:Z:2T2"
              "\tSA:Z:chr1,1006,+,5S7M,30,1;\n");
    // Forward against its reverse mate on one chromosome, the fragment is still not properly paired.
    const std::string withMate = pair.record(&pair.b);
    EXPECT_NE(withMate.find("\nr1\t2145\tchr1\t5001\t2\t5M7S\t=\t1201\t0\t"), std::string::npos) << withMate;
}

// A fragment not reportable as a whole read has no chromosome: the genome places it, within the chromosome.
TEST(SamJunctionTest, FragmentNotReportableAsAWholeReadIsPlacedThroughTheGenome) {
    JunctionPair pair;
    Alignment& fragment = pair.a.alignments[1];
    fragment.isReportable = 0;
    fragment.mappingQuality = 0;
    fragment.chromosomeName.clear();
    fragment.primaryPosition.genomePosition = 10300;
    // The fragment's part ends on chr2's last base.
    GenomeSequence genome;
    genome.chromosomes = {chromosome("chr1", 0, 0, 9999), chromosome("chr2 second", 312, 10000, 19999)};
    const std::string record = pair.record(&pair.b, &genome);
    EXPECT_NE(record.find("\tSA:Z:chr2,308,-,7S5M,0,1;\n"), std::string::npos) << record;
    EXPECT_NE(record.find("\nr1\t2161\tchr2\t308\t0\t7S5M\tchr1\t1201\t0\t"), std::string::npos) << record;
    genome.chromosomes[1].basePairs = 311;
    EXPECT_EQ(pair.record(&pair.b, &genome), pair.plainRecord());
    EXPECT_EQ(pair.record(&pair.b), pair.plainRecord()) << "no genome to place it";
}

// Without a usable fragment the lines are those of a read without one; an alternate is only listed.
TEST(SamJunctionTest, ReadsThatAreNotSplitKeepTheirLines) {
    const std::string plain = JunctionPair().plainRecord();
    EXPECT_NE(plain.find("\tchr1\t1002\t70\t1S11M\t=\t1201\t211\t"), std::string::npos) << plain;
    std::string listed = plain;
    listed.insert(listed.find("\n"), "\tXA:Z:chr2,-301,12M,0;");
    const std::pair<void (*)(JunctionPair&), const std::string&> variants[] = {
        {[](JunctionPair& p) { p.a.hasBiotinJunction = 0; }, plain},
        {[](JunctionPair& p) { p.a.alignments[1].isEmpty = 1; }, plain},
        {[](JunctionPair& p) { p.a.alignments[1].alignmentType = alternateAlignmentType; }, listed},
        {[](JunctionPair& p) { p.a.alignments[1].primaryPosition.indelDescriptor.present = 1; }, plain},
        {[](JunctionPair& p) { p.a.alignments[0].primaryPosition.indelDescriptor.present = 1; }, plain},
        {[](JunctionPair& p) { p.a.alignments[0].matchString.clear(); }, plain},
    };
    for (const auto& [change, expected] : variants) {
        JunctionPair changed;
        change(changed);
        EXPECT_EQ(changed.record(&changed.b), expected);
    }
}

}  // namespace
}  // namespace koru
