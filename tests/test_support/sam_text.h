#pragma once
// SAM text as tests look at it.

#include <string>
#include <vector>

namespace koru::testing {

// The fields of every record line, header lines and empty lines left out.
std::vector<std::vector<std::string>> samRecords(const std::string& sam);

}  // namespace koru::testing
