#include "genome/genome_information.h"

#include <unistd.h>

#include <array>

#include "support/files.h"
#include "support/text_format.h"

#ifndef KORU_BINARY_GENOME_DIRECTORY
#define KORU_BINARY_GENOME_DIRECTORY "/usr/local/share/koru/genomes"
#endif

namespace koru {

namespace {

struct NamedGenome {
    const char* argument;
    const char* name;
    const char* species;
    const char* version;
    std::uint32_t numberOfChromosomes;
    std::uint32_t formatType;
    const char* fileName;
};

constexpr std::array<NamedGenome, 4> namedGenomes{{
    {"PATCHED_HUMAN", "Human Reference Genome, each patch in seperate chromosome", "human",
     "GRCh37/hg19 Patch 10", 182, 0, "genome26p.hs"},
    {"DEFAULT_HUMAN", "Human Reference Genome", "human", "GRCh37/hg19", 26, 1, "genome26.hs"},
    {"TEST_HUMAN", "Test Human Reference Genome", "human", "GRCh37/hg19", 1, 1, "genome26.hs"},
    {"DEFAULT_MOUSE", "Mouse Reference Genome", "mouse", "unknown", 22, 1, "genome.mm3"},
}};

}  // namespace

const char* binaryGenomeDirectory() {
    return KORU_BINARY_GENOME_DIRECTORY;
}

std::unique_ptr<GenomeInformation> createFastaGenomeInformation(const std::string& fileName) {
    errorIfFileDoesNotExistOrNotAccessible(fileName, R_OK, "The reference genome file",
                                           "--referenceGenomeFastaFileName");
    auto info = std::make_unique<GenomeInformation>();
    info->file = fileName;
    info->formatType = fastaGenomeFormatType;
    return info;
}

std::unique_ptr<GenomeInformation> getNamedBinaryGenomeInformation(const std::string& upperCaseName) {
    for (const NamedGenome& genome : namedGenomes) {
        if (upperCaseName != genome.argument) continue;
        auto info = std::make_unique<GenomeInformation>();
        info->numberOfChromosomes = genome.numberOfChromosomes;
        info->name = genome.name;
        info->species = genome.species;
        info->version = genome.version;
        info->file = std::string(binaryGenomeDirectory()) + "/" + genome.fileName;
        info->formatType = genome.formatType;
        return info;
    }
    return nullptr;
}

std::string genomeInformationToString(const GenomeInformation* info, const char* prefix) {
    std::string text = stringPrintf("%sGenome Information:\n", prefix);
    if (info == nullptr) {
        appendPrintf(text, "%s\tNULL\n", prefix);
        return text;
    }
    appendPrintf(text, "%s\tName = : \"%s\"\n", prefix, info->name.c_str());
    appendPrintf(text, "%s\tSpecies = : \"%s\"\n", prefix, info->species.c_str());
    appendPrintf(text, "%s\tVersion = : \"%s\"\n", prefix, info->version.c_str());
    appendPrintf(text, "%s\tNumber of chromosomes = : %d\n", prefix,
                 static_cast<int>(info->numberOfChromosomes));
    appendPrintf(text, "%s\tFormat type = : %d\n", prefix, static_cast<int>(info->formatType));
    appendPrintf(text, "%s\tfile = : \"%s\"\n", prefix, info->file.c_str());
    return text;
}

std::string stringFormattedGenomeInformation(const GenomeInformation& info) {
    return stringPrintf("species type = \"%s\", number of chromosomes = %d, genome file = \"%s\"",
                        info.species.c_str(), static_cast<int>(info.numberOfChromosomes), info.file.c_str());
}

}  // namespace koru
