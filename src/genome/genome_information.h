#pragma once
// Which reference genome a run maps to, where its file is and in which format.

#include <cstdint>
#include <memory>
#include <string>

namespace koru {

struct GenomeInformation {
    std::uint32_t numberOfChromosomes = 0;
    std::string name;  // empty when absent
    std::string species;
    std::string version;
    std::string file;
    std::uint32_t formatType = 0;  // 0 and 1: binary genome layouts; 2: FASTA
};

inline constexpr std::uint32_t binaryGenomeFormatType0 = 0;
inline constexpr std::uint32_t binaryGenomeFormatType1 = 1;
inline constexpr std::uint32_t fastaGenomeFormatType = 2;

// Checks that the FASTA file exists and is readable.
std::unique_ptr<GenomeInformation> createFastaGenomeInformation(const std::string& fileName);

// One of the four named pre-encoded genomes ("PATCHED_HUMAN", "DEFAULT_HUMAN", "TEST_HUMAN",
// "DEFAULT_MOUSE", matched exactly); none for any other name.
std::unique_ptr<GenomeInformation> getNamedBinaryGenomeInformation(const std::string& upperCaseName);

// The directory of the named genome files, a site setting fixed when koru is built.
const char* binaryGenomeDirectory();

std::string genomeInformationToString(const GenomeInformation* info, const char* prefix);
std::string stringFormattedGenomeInformation(const GenomeInformation& info);

}  // namespace koru
