#pragma once
// Compresses a text as one gzip member, for tests of compressed inputs.

#include <string>

namespace koru::testing {

std::string gzipCompress(const std::string& text, int level = 6);

}  // namespace koru::testing
