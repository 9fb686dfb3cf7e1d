#include "io/sam_output.h"

#include <algorithm>
#include <cinttypes>

#include "config/command_line.h"
#include "sequence/nucleotide_encoding.h"
#include "support/locked_file.h"
#include "support/text_format.h"

namespace koru {

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A tab or line feed in an argument would end the @PG line or split its fields.
std::string samCommandLine(std::string commandLine) {
    // Every recorded word is followed by a space; the last one is not part of the command.
    if (!commandLine.empty() && commandLine.back() == ' ') commandLine.pop_back();
    std::replace_if(commandLine.begin(), commandLine.end(), isWhiteSpace, ' ');
    return commandLine;
}

std::string_view assemblyName(std::string_view file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string_view::npos ? file : file.substr(slash + 1);
}

const GenomeInformation* genomeInformationOf(const ExecutionParameters& params,
                                             const GenomeSequence& genome) {
    // The genome's copy holds the chromosome count the reading found.
    return genome.genomeInformation ? genome.genomeInformation.get() : params.genomeInformation.get();
}

// Null for anything SAM reports as unmapped.
const Alignment* mappedOrNull(const Alignment* alignment) {
    if (alignment == nullptr || alignment->isEmpty != 0 || alignment->isReportable == 0) return nullptr;
    return alignment;
}

bool isReverse(const Alignment& alignment) {
    return alignment.primaryPosition.orientation == kReverseComplementOrientation;
}

// 1-based position of the first base that is not soft-clipped.
std::uint64_t samPosition(const Alignment& alignment) {
    return std::uint64_t{alignment.chromosomePosition} + alignment.numberOfBasesTrimmedFromStart + 1;
}

bool onSameChromosome(const Alignment* own, const Alignment* mate) {
    return own != nullptr && mate != nullptr && own->chromosomeName == mate->chromosomeName;
}

// Properly paired: the concordant pair, both reads on one chromosome and on opposite strands. A
// discordant pair, and a same-strand one (evidence of an inversion), is paired but not properly.
bool isProperPair(const Alignment* own, const Alignment* mate, std::uint32_t type) {
    return type == concordantPairedAlignmentType && onSameChromosome(own, mate) &&
           isReverse(*own) != isReverse(*mate);
}

std::uint32_t samFlag(const Alignment* own, const Alignment* mate, bool isReadA, std::uint32_t type) {
    std::uint32_t flag = 1;
    if (isProperPair(own, mate, type)) flag |= 2;
    if (own == nullptr) flag |= 4;
    if (mate == nullptr) flag |= 8;
    if (own != nullptr && isReverse(*own)) flag |= 16;
    if (mate != nullptr && isReverse(*mate)) flag |= 32;
    flag |= isReadA ? 64 : 128;
    return flag;
}

// A concordant pair is placed as a unit, so both lines carry the pair's combined quality.
std::uint32_t samMappingQuality(const Alignment* own, const Alignment* mate, std::uint32_t type) {
    if (own == nullptr) return 0;
    std::uint64_t quality = own->mappingQuality;
    if (mate != nullptr && type == concordantPairedAlignmentType) quality += mate->mappingQuality;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(quality, maximumSamMappingQuality));
}

// Reference bases the alignment covers: its CIGAR's M, D, N, = and X lengths.
std::uint64_t referenceSpan(const Alignment& alignment) {
    std::uint64_t span = 0, length = 0;
    for (const char c : alignment.cigarString) {
        if (c >= '0' && c <= '9') {
            length = 10 * length + static_cast<std::uint64_t>(c - '0');
            continue;
        }
        if (c == 'M' || c == 'D' || c == 'N' || c == '=' || c == 'X') span += length;
        length = 0;
    }
    return span;
}

// The observed template length: from the pair's leftmost mapped base to its rightmost, positive on
// the leftmost read (read A on a tie) and negative on the other; 0 across chromosomes or with a
// read unmapped.
std::int64_t templateLength(const Alignment* own, const Alignment* mate, bool isReadA) {
    if (!onSameChromosome(own, mate)) return 0;
    const auto ownStart = static_cast<std::int64_t>(samPosition(*own));
    const auto mateStart = static_cast<std::int64_t>(samPosition(*mate));
    const std::int64_t ownEnd = ownStart + static_cast<std::int64_t>(referenceSpan(*own));
    const std::int64_t mateEnd = mateStart + static_cast<std::int64_t>(referenceSpan(*mate));
    const std::int64_t length = std::max(ownEnd, mateEnd) - std::min(ownStart, mateStart);
    const bool leftmost = ownStart != mateStart ? ownStart < mateStart : isReadA;
    return leftmost ? length : -length;
}

// The older read name convention ends a name with /1 or /2; both lines of a pair carry one name.
std::string_view withoutMateSuffix(std::string_view name) {
    if (name.size() > 2 && name[name.size() - 2] == '/' && (name.back() == '1' || name.back() == '2'))
        name.remove_suffix(2);
    return name;
}

// SAM writes "*" for a field that has no value; an empty field would break the line.
std::string_view orStar(std::string_view text) {
    return text.empty() ? std::string_view("*") : text;
}

struct SamLine {
    std::string_view qname;
    std::uint32_t flag = 0;
    std::string_view rname = "*";
    std::uint64_t pos = 0;
    std::uint32_t mapq = 0;
    std::string_view cigar = "*";
    std::string_view rnext = "*";
    std::uint64_t pnext = 0;
    std::int64_t tlen = 0;
    std::string_view sequence;
    std::string_view quality;
    SamRecordFormat format;
    const Alignment* tagged = nullptr;       // the line's own mapped alignment
    const Alignments* alternates = nullptr;  // the read's alignments, for its alternates
};

int width(std::string_view text) {
    return static_cast<int>(text.size());
}

// The read's reportable alternates as the XA tag lists them: "chr,+pos,CIGAR,NM;" each.
void appendAlternates(std::string& out, const Alignments& alignments) {
    bool first = true;
    for (std::uint32_t i = 1; i < alignments.numberOfPopulatedAlignments && i < alignments.alignments.size();
         ++i) {
        const Alignment& alternate = alignments.alignments[i];
        if (alternate.alignmentType != alternateAlignmentType || alternate.isEmpty || !alternate.isReportable)
            continue;
        out += first ? "\tXA:Z:" : "";
        first = false;
        const std::string_view name = samName(alternate.chromosomeName);
        appendPrintf(out, "%.*s,%c%" PRIu64 ",%s,%u;", width(name), name.data(),
                     isReverse(alternate) ? '-' : '+', samPosition(alternate),
                     orStar(alternate.cigarString).data(), alternate.editDistance);
    }
}

void appendSamLine(std::string& out, const SamLine& line) {
    appendPrintf(out, "%.*s\t%u\t%.*s\t%" PRIu64 "\t%u\t%.*s\t%.*s\t%" PRIu64 "\t%" PRId64 "\t%.*s\t",
                 width(line.qname), line.qname.data(), line.flag, width(line.rname), line.rname.data(),
                 line.pos, line.mapq, width(line.cigar), line.cigar.data(), width(line.rnext),
                 line.rnext.data(), line.pnext, line.tlen, width(line.sequence), line.sequence.data());
    // Qualities of another offset are shifted to Phred + 33 (the reader refused any below it).
    const std::size_t start = out.size();
    out += line.quality;
    const std::uint32_t offset = line.format.qualityOffset;
    if (offset != 33 && line.quality != "*")
        for (std::size_t i = start; i < out.size(); ++i)
            out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) - offset + 33);
    if (line.tagged != nullptr)
        appendPrintf(out, "\tNM:i:%u\tMD:Z:%s", line.tagged->editDistance,
                     line.tagged->mismatchString.c_str());
    if (line.tagged != nullptr && line.alternates != nullptr) appendAlternates(out, *line.alternates);
    if (!line.format.readGroup.empty()) {
        out += "\tRG:Z:";
        out += line.format.readGroup;
    }
    out += '\n';
}

// Reverse reads are reported as aligned: reverse-complemented, with qualities reversed. The
// read's own copies are used when mapping already built them.
void setSequenceAndQuality(SamLine& line, const Read& read, bool reverse, std::string& sequenceScratch,
                           std::string& qualityScratch) {
    line.sequence = read.sequence;
    line.quality = read.qualitySequence;
    if (reverse && !read.sequence.empty()) {
        if (!read.hasReverseComplementSequence)
            reverseComplementAsciiEncodedSequence(read.sequence, sequenceScratch);
        line.sequence = read.hasReverseComplementSequence ? read.reverseComplementSequence : sequenceScratch;
    }
    if (reverse) {
        if (!read.hasReverseQualitySequence) reverseQualitySequence(read.qualitySequence, qualityScratch);
        line.quality = read.hasReverseQualitySequence ? read.reverseQualitySequence : qualityScratch;
    }
    line.sequence = orStar(line.sequence);
    line.quality = orStar(line.quality);
}

// `own` and `mate` are null when unmapped.
void appendReadLine(std::string& out, const Read& read, const Alignment* own, const Alignment* mate,
                    bool isReadA, std::uint32_t type, const SamRecordFormat& format,
                    const Alignments* alternates) {
    SamLine line;
    line.qname = orStar(withoutMateSuffix(samName(read.name)));
    line.flag = samFlag(own, mate, isReadA, type);
    line.format = format;
    // An unmapped read with a mapped mate is placed at its mate, as SAM recommends.
    const Alignment* placed = own != nullptr ? own : mate;
    if (placed != nullptr) {
        line.rname = samName(placed->chromosomeName);
        line.pos = samPosition(*placed);
        line.rnext = "=";
        line.pnext = samPosition(mate != nullptr ? *mate : *own);
    }
    if (own != nullptr && mate != nullptr && !onSameChromosome(own, mate))
        line.rnext = samName(mate->chromosomeName);
    line.mapq = samMappingQuality(own, mate, type);
    if (own != nullptr) line.cigar = orStar(own->cigarString);
    line.tlen = templateLength(own, mate, isReadA);
    line.tagged = own;
    line.alternates = alternates;
    std::string sequenceScratch;
    std::string qualityScratch;
    setSequenceAndQuality(line, read, own != nullptr && isReverse(*own), sequenceScratch, qualityScratch);
    appendSamLine(out, line);
}

const Alignment* firstAlignment(const Alignments& alignments) {
    return alignments.alignments.empty() ? nullptr : &alignments.alignments.front();
}

}  // namespace

std::string_view samName(std::string_view name) {
    const auto end = std::find_if(name.begin(), name.end(), isWhiteSpace);
    return name.substr(0, static_cast<std::size_t>(end - name.begin()));
}

void writeSamFileHeader(const ExecutionParameters& params, const GenomeSequence& genome) {
    LockedFile* file = params.samOutputRequestParameters.samOutputFile.get();
    if (file == nullptr) return;
    const GenomeInformation* information = genomeInformationOf(params, genome);
    const std::string_view assembly =
        information != nullptr ? assemblyName(information->file) : std::string_view();
    std::string header = "@HD\tVN:1.0\tSO:unsorted\n";
    appendPrintf(header, "@PG\tID:koru\tPN:koru\tVN:%s\tCL:%s\n", koruVersion,
                 samCommandLine(params.processInformation.commandLine).c_str());
    for (const ChromosomeInformation& chromosome : genome.chromosomes) {
        const std::string_view name = samName(chromosome.name);
        appendPrintf(header, "@SQ\tSN:%.*s\tAS:%.*s\tLN:%" PRIu64 "\n", width(name), name.data(),
                     width(assembly), assembly.data(), chromosome.basePairs);
    }
    const std::string& readGroup = params.samOutputRequestParameters.readGroupLine;
    if (!readGroup.empty()) header += readGroup + "\n";
    LockedFileGuard guard(*file);
    file->write(header);
    file->flushFile();
}

void appendSAMOutputRecord(std::string& out, const Read& readA, const Read& readB,
                           const Alignment* alignmentA, const Alignment* alignmentB, std::uint32_t type,
                           const SamRecordFormat& format, const Alignments* alternatesA,
                           const Alignments* alternatesB) {
    const Alignment* mappedA = mappedOrNull(alignmentA);
    const Alignment* mappedB = mappedOrNull(alignmentB);
    appendReadLine(out, readA, mappedA, mappedB, true, type, format, alternatesA);
    appendReadLine(out, readB, mappedB, mappedA, false, type, format, alternatesB);
}

std::string createSAMOutputRecord(const Read& readA, const Read& readB, const Alignment* alignmentA,
                                  const Alignment* alignmentB, std::uint32_t type,
                                  const SamRecordFormat& format) {
    std::string record;
    appendSAMOutputRecord(record, readA, readB, alignmentA, alignmentB, type, format);
    return record;
}

namespace {

// Room for the pair's two lines: the texts of both reads twice over (sequence and qualities) and
// the names, with space for the fields and tags.
std::uint64_t samRecordRoom(const ReadPair& pair) {
    return 2 * (std::uint64_t{pair.readA.length} + pair.readB.length) +
           2 * (pair.readA.name.size() + pair.readB.name.size()) + 1024;
}

}  // namespace

// Formatted straight into the writer's buffer.
void writePairedAlignmentsToSamFile(const ExecutionParameters& params,
                                    const PairedAlignments& pairedAlignments, BufferedFileWriter& writer,
                                    const GenomeSequence& /*genome*/) {
    const PairedAlignment* primary = pairedAlignments.primary();
    const ReadPair& readPair = *pairedAlignments.readPair;
    std::string& out = writer.recordBuffer(samRecordRoom(readPair));
    const auto& output = params.samOutputRequestParameters;
    const SamRecordFormat format{params.phredQualityOffset, output.readGroupId};
    if (primary == nullptr) {
        appendSAMOutputRecord(out, readPair.readA, readPair.readB, nullptr, nullptr,
                              discordantPairedAlignmentType, format);
        return;
    }
    appendSAMOutputRecord(out, readPair.readA, readPair.readB, firstAlignment(primary->readAAlignments),
                          firstAlignment(primary->readBAlignments), primary->type, format,
                          &primary->readAAlignments, &primary->readBAlignments);
}

}  // namespace koru
