#include "mapping/read_pair_alignment.h"

#include "alignment/mapping_quality.h"
#include "candidates/candidate_generation.h"

namespace koru {

namespace {

void alignAlignments(const MappingParameters& params, Read& read, Alignments& alignments,
                     const GenomeSequence& genome, AlignmentScratch& scratch) {
    for (std::uint32_t i = alignments.numberOfPopulatedAlignments; i-- > 0;) {
        Alignment& alignment = alignments.alignments[i];
        performAlignment(params, read, alignment, genome, scratch);
        addQualityScoreToAlignment(params, read, alignment, genome, scratch);
        addChromosomeInformationToAlignment(alignment, genome, true);
    }
}

}  // namespace

PairedAlignments& alignReadPair(const MappingParameters& params, ReadPair& pair, const BinaryIndexes& indexes,
                                ReadPairMappingStatistics& statistics, MappingWorkspace& workspace) {
    calculateAndSetBasesToShiftBetweenKeyGenerationForReadPair(params, pair);
    PairedAlignments& alignments = mapReadPair(params, pair, indexes, statistics, workspace);
    choosePrimaryAndSecondaryAlignment(params, alignments);
    PairedAlignment* primary = alignments.primary();
    if (primary != nullptr) {
        const GenomeSequence& genome = *indexes.genomeSequence;
        alignAlignments(params, pair.readB, primary->readBAlignments, genome, workspace.alignment);
        alignAlignments(params, pair.readA, primary->readAAlignments, genome, workspace.alignment);
    }
    if (statistics.library) collectLibraryStatistics(*statistics.library, alignments, pair);
    return alignments;
}

}  // namespace koru
