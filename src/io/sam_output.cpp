#include "io/sam_output.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>

#include "alignment/junction_split.h"
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

std::uint32_t samMappingQuality(const Alignment* own, const Alignment* mate, std::uint32_t type) {
    return own == nullptr ? 0 : reportedMappingQuality(*own, mate, type == concordantPairedAlignmentType);
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

// What a mapped read's line shows of its alignment: the alignment's own CIGAR, MD and edit
// distance, or those of its side of a junction split.
struct Placement {
    const Alignment* alignment = nullptr;  // null when unmapped
    std::string_view chromosome;
    std::uint64_t pos = 0;
    std::string_view cigar = "*";
    std::string_view mismatches;
    std::uint32_t editDistance = 0;
};

Placement placementOf(const Alignment* alignment) {
    Placement placement;
    placement.alignment = alignment;
    if (alignment == nullptr) return placement;
    placement.chromosome = alignment->chromosomeName;
    placement.pos = samPosition(*alignment);
    placement.cigar = orStar(alignment->cigarString);
    placement.mismatches = alignment->mismatchString;
    placement.editDistance = alignment->editDistance;
    return placement;
}

// Where an alignment lies: its chromosome, the 0-based offset of the read's first base in it, and
// the chromosome's length when it had to be looked up (none to check otherwise).
struct Locus {
    std::string_view chromosome;
    std::uint64_t offset = 0;
    std::uint64_t length = UINT64_MAX;
};

Locus locusOf(const Alignment& alignment) {
    return {alignment.chromosomeName, alignment.chromosomePosition};
}

// A junction fragment not reportable as a whole read was never given its chromosome: it is looked
// up in the genome.
bool locate(const Alignment& alignment, const GenomeSequence* genome, Locus& locus) {
    if (alignment.isReportable != 0 && !alignment.chromosomeName.empty()) {
        locus = locusOf(alignment);
        return true;
    }
    if (genome == nullptr) return false;
    const std::uint64_t position = alignment.primaryPosition.genomePosition;
    const ChromosomeInformation* chromosome = getChromosomeInformationForGenomePosition(position, *genome);
    if (chromosome == nullptr) return false;
    locus = {chromosome->name, position - chromosome->startGenomePosition, chromosome->basePairs};
    return true;
}

// The split covers the whole read without an indel, so its clip alone moves the position.
Placement placementOf(const Alignment& alignment, const Locus& locus, const JunctionPart& part) {
    Placement placement;
    placement.alignment = &alignment;
    placement.chromosome = locus.chromosome;
    placement.pos = locus.offset + part.clippedStart + 1;
    placement.cigar = part.cigar;
    placement.mismatches = part.mismatches;
    placement.editDistance = part.editDistance;
    return placement;
}

// The observed template length: from the pair's leftmost mapped base to its rightmost, positive on
// the leftmost read (read A on a tie) and negative on the other; 0 across chromosomes or with a
// read unmapped.
std::int64_t templateLength(const Placement& own, const Placement& mate, bool isReadA) {
    if (!onSameChromosome(own.alignment, mate.alignment)) return 0;
    const auto ownStart = static_cast<std::int64_t>(own.pos);
    const auto mateStart = static_cast<std::int64_t>(mate.pos);
    const std::int64_t ownEnd = ownStart + static_cast<std::int64_t>(cigarReferenceSpan(own.cigar));
    const std::int64_t mateEnd = mateStart + static_cast<std::int64_t>(cigarReferenceSpan(mate.cigar));
    const std::int64_t length = std::max(ownEnd, mateEnd) - std::min(ownStart, mateStart);
    const bool leftmost = ownStart != mateStart ? ownStart < mateStart : isReadA;
    return leftmost ? length : -length;
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
    const Placement* tagged = nullptr;       // the line's own mapped placement, for NM and MD
    const Alignments* alternates = nullptr;  // the read's alignments, for its alternates
    const SamLine* otherPart = nullptr;      // the other line of a split junction read, for SA
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

// The other part of a split read as the SA tag lists it: "rname,pos,strand,CIGAR,mapQ,NM;".
void appendOtherPart(std::string& out, const SamLine& other) {
    appendPrintf(out, "\tSA:Z:%.*s,%" PRIu64 ",%c,%.*s,%u,%u;", width(other.rname), other.rname.data(),
                 other.pos, (other.flag & 16) != 0 ? '-' : '+', width(other.cigar), other.cigar.data(),
                 other.mapq, other.tagged != nullptr ? other.tagged->editDistance : 0);
}

// A text as "%.*s" writes it: up to its first NUL, if any.
void appendText(std::string& out, std::string_view text) {
    out.append(text.substr(0, text.find('\0')));
}

void appendField(std::string& out, std::string_view text) {
    appendText(out, text);
    out += '\t';
}

template <class Number>
void appendNumberField(std::string& out, Number value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    out += '\t';
}

// Written field by field rather than through a format: this runs for every read.
void appendSamLine(std::string& out, const SamLine& line) {
    appendField(out, line.qname);
    appendNumberField(out, line.flag);
    appendField(out, line.rname);
    appendNumberField(out, line.pos);
    appendNumberField(out, line.mapq);
    appendField(out, line.cigar);
    appendField(out, line.rnext);
    appendNumberField(out, line.pnext);
    appendNumberField(out, line.tlen);
    appendField(out, line.sequence);
    // Qualities of another offset are shifted to Phred + 33 (the reader refused any below it).
    const std::size_t start = out.size();
    out += line.quality;
    const std::uint32_t offset = line.format.qualityOffset;
    if (offset != 33 && line.quality != "*")
        for (std::size_t i = start; i < out.size(); ++i)
            out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) - offset + 33);
    if (line.tagged != nullptr) {
        out += "\tNM:i:";
        appendNumberField(out, line.tagged->editDistance);
        out += "MD:Z:";
        appendText(out, line.tagged->mismatches);
    }
    if (line.tagged != nullptr && line.alternates != nullptr) appendAlternates(out, *line.alternates);
    if (line.otherPart != nullptr) appendOtherPart(out, *line.otherPart);
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
    // Qualities a read came without were assumed for mapping; SAM says they are unknown.
    if (read.uniformQualityCharacter != 0) line.quality = "";
    line.quality = orStar(line.quality);
}

// A thread's texts for one read's lines besides the read's own: reversed copies for its line and
// its fragment's when mapping built none, and its junction split. Kept from pair to pair, so that
// writing allocates nothing once they have grown.
struct ReadLineScratch {
    std::string sequence;
    std::string quality;
    std::string fragmentSequence;
    std::string fragmentQuality;
    JunctionSplit split;
};

// One read's lines: its line and, for a split junction read, its fragment's supplementary line.
struct ReadLines {
    Placement own;
    Placement fragment;  // no alignment when the read is not split
    SamLine line;
    SamLine supplementary;
};

bool hasIndel(const Alignment& alignment) {
    return alignment.primaryPosition.indelDescriptor.present;
}

// The read's junction fragment when it and the line's alignment split the read at the junction:
// both without an indel, with match strings and with a sound part each. Null when the read is not
// split.
const Alignment* splitFragment(const Read& read, const Alignment* own, const Alignments* alignments,
                               JunctionSplit& split) {
    if (own == nullptr || alignments == nullptr || alignments->hasBiotinJunction == 0 ||
        alignments->numberOfPopulatedAlignments < 2 || alignments->alignments.size() < 2)
        return nullptr;
    const Alignment& fragment = alignments->alignments[1];
    if (fragment.alignmentType != biotinJunctionAlignmentType || fragment.isEmpty != 0 || hasIndel(*own) ||
        hasIndel(fragment))
        return nullptr;
    const bool isSplit = splitJunctionRead({own->matchString, isReverse(*own)},
                                           {fragment.matchString, isReverse(fragment)}, read.length, split);
    return isSplit ? &fragment : nullptr;
}

// `own` is null when the read is unmapped. A fragment's part must lie on its chromosome.
void placeRead(ReadLines& lines, const Read& read, const Alignment* own, const Alignments* alignments,
               const GenomeSequence* genome, JunctionSplit& split) {
    lines.own = placementOf(own);
    lines.fragment = Placement{};
    const Alignment* fragment = splitFragment(read, own, alignments, split);
    Locus locus;
    if (fragment == nullptr || !locate(*fragment, genome, locus) ||
        locus.offset + read.length - split.fragment.clippedEnd > locus.length)
        return;
    lines.own = placementOf(*own, locusOf(*own), split.primary);
    lines.fragment = placementOf(*fragment, locus, split.fragment);
}

// A placement without alignment is an unmapped read.
void setReadLine(SamLine& line, const Read& read, const Placement& own, const Placement& mate, bool isReadA,
                 std::uint32_t type, const SamRecordFormat& format, const Alignments* alignments,
                 ReadLineScratch& scratch) {
    line = SamLine{};
    line.qname = orStar(withoutMateSuffix(samName(read.name)));
    line.flag = samFlag(own.alignment, mate.alignment, isReadA, type);
    line.format = format;
    // An unmapped read with a mapped mate is placed at its mate, as SAM recommends.
    const Placement& placed = own.alignment != nullptr ? own : mate;
    if (placed.alignment != nullptr) {
        line.rname = samName(placed.chromosome);
        line.pos = placed.pos;
        line.rnext = "=";
        line.pnext = mate.alignment != nullptr ? mate.pos : own.pos;
    }
    if (own.alignment != nullptr && mate.alignment != nullptr &&
        !onSameChromosome(own.alignment, mate.alignment))
        line.rnext = samName(mate.alignment->chromosomeName);
    line.mapq = samMappingQuality(own.alignment, mate.alignment, type);
    line.cigar = own.cigar;
    line.tlen = templateLength(own, mate, isReadA);
    line.tagged = own.alignment != nullptr ? &own : nullptr;
    line.alternates = alignments;
    const bool reverse = own.alignment != nullptr && isReverse(*own.alignment);
    setSequenceAndQuality(line, read, reverse, scratch.sequence, scratch.quality);
}

// The fragment's line: paired as the read's line but never properly, its mate fields those of the
// mate's line (placed at the read when the mate is unmapped), its template length 0. It and the
// read's line name each other in SA tags.
void setSupplementaryLine(ReadLines& lines, const Read& read, const SamLine& mateLine, const Alignment* mate,
                          bool isReadA, std::uint32_t type, ReadLineScratch& scratch) {
    const Alignment& fragment = *lines.fragment.alignment;
    SamLine& line = lines.supplementary;
    line = SamLine{};
    line.qname = lines.line.qname;
    line.flag = (samFlag(&fragment, mate, isReadA, type) & ~2u) | 0x800u;
    line.format = lines.line.format;
    line.rname = samName(lines.fragment.chromosome);
    line.pos = lines.fragment.pos;
    line.mapq = std::min(fragment.mappingQuality, maximumSamMappingQuality);
    line.cigar = lines.fragment.cigar;
    const Alignment& mateLineAlignment = mate != nullptr ? *mate : *lines.own.alignment;
    line.rnext = lines.fragment.chromosome == mateLineAlignment.chromosomeName ? "=" : mateLine.rname;
    line.pnext = mateLine.pos;
    line.tagged = &lines.fragment;
    line.otherPart = &lines.line;
    lines.line.otherPart = &line;
    setSequenceAndQuality(line, read, isReverse(fragment), scratch.fragmentSequence, scratch.fragmentQuality);
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
                           const SamRecordFormat& format, const Alignments* alignmentsA,
                           const Alignments* alignmentsB, const GenomeSequence* genome) {
    thread_local ReadLineScratch scratchA, scratchB;
    ReadLines a, b;
    placeRead(a, readA, mappedOrNull(alignmentA), alignmentsA, genome, scratchA.split);
    placeRead(b, readB, mappedOrNull(alignmentB), alignmentsB, genome, scratchB.split);
    setReadLine(a.line, readA, a.own, b.own, true, type, format, alignmentsA, scratchA);
    setReadLine(b.line, readB, b.own, a.own, false, type, format, alignmentsB, scratchB);
    if (a.fragment.alignment != nullptr)
        setSupplementaryLine(a, readA, b.line, b.own.alignment, true, type, scratchA);
    if (b.fragment.alignment != nullptr)
        setSupplementaryLine(b, readB, a.line, a.own.alignment, false, type, scratchB);
    appendSamLine(out, a.line);
    appendSamLine(out, b.line);
    if (a.fragment.alignment != nullptr) appendSamLine(out, a.supplementary);
    if (b.fragment.alignment != nullptr) appendSamLine(out, b.supplementary);
}

std::string createSAMOutputRecord(const Read& readA, const Read& readB, const Alignment* alignmentA,
                                  const Alignment* alignmentB, std::uint32_t type,
                                  const SamRecordFormat& format) {
    std::string record;
    appendSAMOutputRecord(record, readA, readB, alignmentA, alignmentB, type, format);
    return record;
}

namespace {

// Room for a read's line, and its fragment's when it has one: each holds the read's text twice
// (sequence and qualities) and its name, with space for the fields and tags.
std::uint64_t readLinesRoom(const Read& read, const Alignments* alignments) {
    const std::uint64_t lines = alignments != nullptr && alignments->hasBiotinJunction != 0 ? 2 : 1;
    return lines * (2 * (std::uint64_t{read.length} + read.name.size()) + 512);
}

std::uint64_t samRecordRoom(const ReadPair& pair, const PairedAlignment* primary) {
    return readLinesRoom(pair.readA, primary != nullptr ? &primary->readAAlignments : nullptr) +
           readLinesRoom(pair.readB, primary != nullptr ? &primary->readBAlignments : nullptr);
}

}  // namespace

// Formatted straight into the writer's buffer.
void writePairedAlignmentsToSamFile(const ExecutionParameters& params,
                                    const PairedAlignments& pairedAlignments, BufferedFileWriter& writer,
                                    const GenomeSequence& genome) {
    const PairedAlignment* primary = pairedAlignments.primary();
    const ReadPair& readPair = *pairedAlignments.readPair;
    std::string& out = writer.recordBuffer(samRecordRoom(readPair, primary));
    const auto& output = params.samOutputRequestParameters;
    const SamRecordFormat format{params.phredQualityOffset, output.readGroupId};
    if (primary == nullptr) {
        appendSAMOutputRecord(out, readPair.readA, readPair.readB, nullptr, nullptr,
                              discordantPairedAlignmentType, format);
        return;
    }
    appendSAMOutputRecord(out, readPair.readA, readPair.readB, firstAlignment(primary->readAAlignments),
                          firstAlignment(primary->readBAlignments), primary->type, format,
                          &primary->readAAlignments, &primary->readBAlignments, &genome);
}

}  // namespace koru
