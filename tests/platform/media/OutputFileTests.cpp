#include "platform/media/OutputFile.h"

#include "tests/platform/media/OutputFileSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

using Storage = OutputFile::Storage;

// Every case runs with both kinds of unwritten file.
class OutputFileTest : public ::testing::TestWithParam<Storage> {
protected:
    QTemporaryDir dir;
    QByteArray folder = QFile::encodeName(dir.path());

    QByteArray at(const QByteArray& name) const { return folder + '/' + name; }

    std::unique_ptr<OutputFile> outputWith(const QByteArray& destination, const QByteArray& bytes)
    {
        Error error;
        auto output = OutputFile::create(destination, &error, GetParam());
        EXPECT_TRUE(output) << error.message.toStdString();
        if (output) {
            EXPECT_FALSE(output->replaceContents(bytes));
        }
        return output;
    }
};

std::string storageName(const ::testing::TestParamInfo<Storage>& info)
{
    return info.param == Storage::Memory ? "Memory" : "UnnamedFile";
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Storages, OutputFileTest, ::testing::Values(Storage::UnnamedFile, Storage::Memory), storageName);

TEST_P(OutputFileTest, NothingHasANameUntilTheCommit)
{
    auto output = outputWith(at("new.m4r"), "first draft, longer than the rest");
    EXPECT_EQ(output->storage(), GetParam());
    EXPECT_TRUE(rawEntries(folder).isEmpty());
    ASSERT_FALSE(output->replaceContents("final"));  // shorter: the rest is cut off
    EXPECT_EQ(output->contents(), QByteArray("final"));
    ASSERT_FALSE(output->commit());
    EXPECT_EQ(rawEntries(folder), QList<QByteArray>{"new.m4r"});
    EXPECT_EQ(readRaw(at("new.m4r")), "final");
    EXPECT_TRUE(output->commit());  // once only

    outputWith(at("dropped.m4r"), "never committed").reset();
    EXPECT_EQ(rawEntries(folder), QList<QByteArray>{"new.m4r"});
}

TEST_P(OutputFileTest, AReplacementKeepsThePermissionBits)
{
    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0754)}) {
        ASSERT_TRUE(writeRaw(at("tone.m4r"), "old", mode));
        auto output = outputWith(at("tone.m4r"), "new");
        ASSERT_FALSE(output->commit());
        EXPECT_EQ(readRaw(at("tone.m4r")), "new");
        EXPECT_EQ(permissionBits(at("tone.m4r")), mode) << std::oct << mode;
    }
    EXPECT_EQ(rawEntries(folder), QList<QByteArray>{"tone.m4r"});
}

TEST_P(OutputFileTest, ALinkStaysALinkAndItsTargetIsReplaced)
{
    ASSERT_EQ(mkdir(at("tones").constData(), 0755), 0);
    ASSERT_TRUE(writeRaw(at("tones/real.m4r"), "old", 0640));
    ASSERT_EQ(symlink("tones/real.m4r", at("relative").constData()), 0);
    ASSERT_EQ(symlink(at("relative").constData(), at("chain.m4r").constData()), 0);

    auto output = outputWith(at("chain.m4r"), "new");
    EXPECT_EQ(output->target(), at("tones/real.m4r"));
    ASSERT_FALSE(output->commit());
    EXPECT_TRUE(isSymbolicLink(at("chain.m4r")));
    EXPECT_TRUE(isSymbolicLink(at("relative")));
    EXPECT_EQ(readRaw(at("tones/real.m4r")), "new");
    EXPECT_EQ(permissionBits(at("tones/real.m4r")), 0640u);
    EXPECT_EQ(rawEntries(at("tones")), QList<QByteArray>{"real.m4r"});

    // A link to nothing yet gets its target made.
    ASSERT_EQ(symlink("tones/later.m4r", at("dangling.m4r").constData()), 0);
    ASSERT_FALSE(outputWith(at("dangling.m4r"), "made")->commit());
    EXPECT_TRUE(isSymbolicLink(at("dangling.m4r")));
    EXPECT_EQ(readRaw(at("tones/later.m4r")), "made");
}

TEST_P(OutputFileTest, NamesAreKeptByteForByte)
{
    const QByteArray notUtf8 = "tone-\xff\xfe\xc3.m4r";
    const QByteArray longest = QByteArray(251, 'n') + ".m4r";  // the longest name a folder takes
    ASSERT_EQ(longest.size(), 255);
    ASSERT_TRUE(writeRaw(at(longest), "old"));
    ASSERT_FALSE(outputWith(at(notUtf8), "odd")->commit());
    ASSERT_FALSE(outputWith(at(longest), "long")->commit());
    EXPECT_EQ(rawEntries(folder), (QList<QByteArray>{longest, notUtf8}));
    EXPECT_EQ(readRaw(at(notUtf8)), "odd");
    EXPECT_EQ(readRaw(at(longest)), "long");
    unlink(at(notUtf8).constData());  // a name the temporary folder's own clean-up cannot spell
}

TEST_P(OutputFileTest, AFullDiskKeepsTheOldFile)
{
    const QByteArray old(3000, 'o');
    ASSERT_TRUE(writeRaw(at("tone.m4r"), old));
    Error error;
    auto output = OutputFile::create(at("tone.m4r"), &error, GetParam());
    ASSERT_TRUE(output);
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_TRUE(output->replaceContents(QByteArray(100 * 1024, 'n')));
    }
    ASSERT_FALSE(output->replaceContents(QByteArray(40 * 1024, 'n')));
    {
        // In memory the file meets the disk only when it is committed.
        FileSizeLimit limit(16 * 1024);
        auto failure = output->commit();
        EXPECT_EQ(failure.has_value(), GetParam() == Storage::Memory);
    }
    if (GetParam() == Storage::Memory) {
        EXPECT_EQ(readRaw(at("tone.m4r")), old);
        EXPECT_EQ(rawEntries(folder), QList<QByteArray>{"tone.m4r"});
    }
}

TEST_P(OutputFileTest, RefusesWhatIsNotAFileInAFolderItCanWrite)
{
    Error error;
    EXPECT_FALSE(OutputFile::create(at("missing/tone.m4r"), &error, GetParam()));
    EXPECT_TRUE(error.message.contains("cannot be created")) << error.message.toStdString();
    ASSERT_EQ(mkdir(at("folder.m4r").constData(), 0755), 0);
    EXPECT_FALSE(OutputFile::create(at("folder.m4r"), &error, GetParam()));
    EXPECT_TRUE(error.message.contains("is not a file")) << error.message.toStdString();
    ASSERT_EQ(symlink("loop.m4r", at("loop.m4r").constData()), 0);
    EXPECT_FALSE(OutputFile::create(at("loop.m4r"), &error, GetParam()));
    EXPECT_FALSE(OutputFile::create(QByteArray(), &error, GetParam()));
}
