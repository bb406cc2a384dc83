// Runs a fuzz target without libFuzzer: every file of the folders (or the files) named on the
// command line is given to it once, so that the corpus and every input that once crashed stay
// tests of the ordinary builds.

#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

int replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return 1;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::printf("%s (%zu bytes)\n", file.c_str(), bytes.size());
    std::fflush(stdout); // the last name printed is the input that crashed
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        // Made absolute first: a target may change the working directory.
        std::error_code error;
        const std::filesystem::path root = std::filesystem::absolute(argv[i], error);
        if (std::filesystem::is_regular_file(root, error)) {
            failed += replay(root);
            continue;
        }
        if (!std::filesystem::is_directory(root, error))
            continue; // a target without regression inputs has no folder for them
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
            failed += replay(file);
    }
    return failed == 0 ? 0 : 1;
}
