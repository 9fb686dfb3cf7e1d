#include "test_support/sam_text.h"

#include <sstream>

namespace koru::testing {

std::vector<std::vector<std::string>> samRecords(const std::string& sam) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(sam);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '@') continue;
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
        records.push_back(fields);
    }
    return records;
}

}  // namespace koru::testing
