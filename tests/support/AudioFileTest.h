#pragma once
// A test with a scratch folder in which it writes generated audio files.

#include "tests/support/AudioFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tolvan::test {

class AudioFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    // The path of a new file in the scratch folder; a failure to write it
    // fails the test.
    QString tone(const QString& name, const ToneSpec& spec = {})
    {
        const QString path = dir.filePath(name);
        QString error;
        EXPECT_TRUE(writeTone(path, spec, &error)) << error.toStdString();
        return path;
    }
};

}  // namespace tolvan::test
