#pragma once
// Read pairs and alignments built by hand for the SAM and QMR output tests.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alignment/alignment.h"
#include "io/buffered_file_writer.h"
#include "mapping/paired_alignments.h"
#include "sequence/read_pair.h"
#include "support/locked_file.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {

inline void setRead(Read& read, const std::string& name, const std::string& sequence,
                    const std::string& quality) {
    read.name = name;
    read.nameLength = static_cast<std::uint32_t>(name.size());
    read.sequence = sequence;
    read.qualitySequence = quality;
    read.length = static_cast<std::uint32_t>(sequence.size());
}

// Read A "ACGTA"/"ABCDE", read B "GGCAT"/"FGHIJ", both named `name`.
inline std::unique_ptr<ReadPair> smallReadPair(const std::string& name = "r1") {
    auto pair = createReadPair(5, static_cast<std::uint32_t>(name.size()));
    setRead(pair->readA, name, "ACGTA", "ABCDE");
    setRead(pair->readB, name, "GGCAT", "FGHIJ");
    return pair;
}

// A reportable alignment at a 0-based chromosome position.
inline Alignment placedAlignment(const std::string& chromosome, std::uint32_t position,
                                 std::uint32_t orientation, std::uint32_t mappingQuality = 30) {
    Alignment alignment;
    initAlignment(alignment);
    alignment.chromosomeNumber = 1;
    alignment.chromosomeName = chromosome;
    alignment.chromosomePosition = position;
    alignment.primaryPosition.orientation = orientation;
    alignment.primaryPosition.isEmpty = 0;
    alignment.mappingQuality = mappingQuality;
    alignment.cigarString = "5M";
    alignment.mismatchString = "5";
    alignment.alignmentType = primaryAlignmentType;
    alignment.isEmpty = 0;
    return alignment;
}

inline Alignments alignmentsOf(std::initializer_list<Alignment> list, std::uint32_t readLength) {
    Alignments alignments = createAlignments(static_cast<std::uint32_t>(list.size()), readLength);
    alignments.alignments.assign(list.begin(), list.end());
    alignments.numberOfPopulatedAlignments = static_cast<std::uint32_t>(list.size());
    return alignments;
}

inline PairedAlignment pairedAlignmentOf(Alignments a, Alignments b, std::uint32_t score,
                                         std::uint32_t type) {
    PairedAlignment paired;
    paired.readAAlignments = std::move(a);
    paired.readBAlignments = std::move(b);
    paired.alignmentScore = score;
    paired.noCandidateFlag = 0;
    paired.type = type;
    return paired;
}

// The alignments with the primary and secondary chosen, as the pair step leaves them.
inline PairedAlignments pairedAlignmentsOf(const ReadPair& pair, const std::vector<PairedAlignment>& list,
                                           const ExecutionParameters& params = {}) {
    PairedAlignments alignments;
    alignments.readPair = &pair;
    alignments.pairedAlignments = list;
    alignments.allocatedSlots = static_cast<std::uint32_t>(list.size());
    alignments.numberOfPopulatedPairedAlignments = static_cast<std::uint32_t>(list.size());
    choosePrimaryAndSecondaryAlignment(params, alignments);
    return alignments;
}

// What `write` puts through an unbuffered writer into a new file.
inline std::string writtenText(const std::function<void(BufferedFileWriter&)>& write) {
    TemporaryDirectory directory;
    auto file = createLockedFile(directory.file("out"), false, false);
    {
        BufferedFileWriter writer(*file, 0);
        write(writer);
    }
    return readFile(directory.file("out"));
}

}  // namespace koru::testing
