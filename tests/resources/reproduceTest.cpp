// reproduceTest.cpp: the committed resources are exactly what the generator makes, so they can
// never drift from it; and the generator program writes them where it is told.
#include "resourceReading.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The offset of the first differing byte, or -1 when the two are equal.
long firstDifference(const Bytes& a, const Bytes& b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(common);
}

// A fresh directory under the system's temporary folder, removed when the test ends.
struct ScratchDirectory {
    std::filesystem::path path;
    ScratchDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pilaroResources-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

TEST(ReproduceTest, GeneratorMakesTheSixFilesTheShellsEmbed)
{
    std::set<std::string> names;
    for (const ResourceFile& file : makeAllResources()) names.insert(file.name);
    EXPECT_EQ(names, (std::set<std::string>{"backdrop.bmp", "tiles.bmp", "turn.wav", "move.wav",
                                             "rowsCleared.wav", "hardDrop.wav"}));
}

// Fails when someone edits the generator without rerunning `regenerate-resources`, or edits a
// committed file by hand.
TEST(ReproduceTest, CommittedFilesAreExactlyWhatTheGeneratorMakes)
{
    for (const ResourceFile& file : makeAllResources()) {
        const Bytes committed = readResource(file.name);
        EXPECT_EQ(firstDifference(committed, file.bytes), -1)
            << file.name << " differs from the generator's output (committed " << committed.size()
            << " bytes, generated " << file.bytes.size() << "); run the regenerate-resources target";
    }
}

// The noise must come from the generator's own seeded source: a second run gives the same bytes.
TEST(ReproduceTest, GeneratorIsDeterministic)
{
    const std::vector<ResourceFile> first = makeAllResources();
    const std::vector<ResourceFile> second = makeAllResources();
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(firstDifference(first[i].bytes, second[i].bytes), -1) << first[i].name;
}

TEST(ReproduceTest, ProgramWritesEveryFileIntoTheGivenDirectory)
{
    ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string command = std::string("'") + PILARO_MAKE_RESOURCES + "' '" + scratch.path.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const ResourceFile& file : makeAllResources())
        EXPECT_EQ(firstDifference(readFile((scratch.path / file.name).string()), readResource(file.name)), -1)
            << file.name;
}

TEST(ReproduceTest, ProgramRefusesAMissingArgumentAndAnUnwritableDirectory)
{
    ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string quiet = " 2>/dev/null";
    int status = std::system((std::string("'") + PILARO_MAKE_RESOURCES + "'" + quiet).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0) << "no directory given";

    const std::string missing = (scratch.path / "no" / "such" / "dir").string();
    status = std::system((std::string("'") + PILARO_MAKE_RESOURCES + "' '" + missing + "'" + quiet).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0) << "directory that does not exist";
    EXPECT_FALSE(writeAllResources(missing));
}

} // namespace
