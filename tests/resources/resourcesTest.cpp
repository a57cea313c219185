// resourcesTest.cpp: the committed art and sounds are exactly what the generator makes, byte for
// byte. Their looks and sounds are the generator's business; this catches a generator edited
// without rerunning `regenerate-resources`, or a committed file edited by hand.
#include "resourceFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

TEST(Resources, EveryGeneratedFileIsCommittedExactlyAsTheGeneratorMakesIt) {
    std::set<std::string> generated;
    for (const ResourceFile& file : makeAllResources()) {
        generated.insert(file.name);
        std::ifstream in(std::string(PILARO_RESOURCES_DIR) + "/" + file.name, std::ios::binary);
        const Bytes committed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_TRUE(committed == file.bytes)
            << file.name << " differs from the generator's output (committed " << committed.size()
            << " bytes, generated " << file.bytes.size() << "); run the regenerate-resources target";
    }
    // Every committed picture, sound and icon comes from the generator.
    for (const auto& entry : std::filesystem::directory_iterator(PILARO_RESOURCES_DIR)) {
        const auto extension = entry.path().extension();
        const bool madeByGenerator =
            extension == ".bmp" || extension == ".wav" || extension == ".png" || extension == ".ico";
        EXPECT_TRUE(!madeByGenerator || generated.count(entry.path().filename().string())) << entry.path();
    }
}
