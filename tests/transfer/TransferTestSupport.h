#pragma once

// A scratch folder per test and the skip for machines without the ffmpeg tool.

#include "support/AudioFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::hasFFmpegTool())
            GTEST_SKIP() << "the ffmpeg tool is not installed";
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString tone(const QString& name, const TestSupport::ToneSpec& spec) {
        const QString p = path(name);
        EXPECT_TRUE(TestSupport::makeTone(p, spec)) << name.toStdString();
        return p;
    }
    static QByteArray readAll(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeAll(const QString& p, const QByteArray& bytes) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QTemporaryDir dir;
};

inline TestSupport::ToneSpec toneSpec(const QString& codec, int rate = 44100, int channels = 2,
                                      double seconds = 1.0) {
    TestSupport::ToneSpec s;
    s.codec = codec;
    s.sampleRate = rate;
    s.channels = channels;
    s.seconds = seconds;
    return s;
}
