#pragma once
// A directory for one test's files, removed with everything in it when the test ends.

#include <filesystem>
#include <string>

namespace koru::testing {

class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The full path of a file in the directory.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes a file in the directory and returns its full path.
    std::string write(const std::string& name, const std::string& contents) const;

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::string& path);

}  // namespace koru::testing
