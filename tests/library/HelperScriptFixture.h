// A one-track volume and the open helper, which a test may swap for a shell script of its own.
#pragma once

#include "library/DatabasePreflight.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class DatabasePreflightTestAccess {
public:
    static int waitingReads(const DatabasePreflight::Request& request) {
        return DatabasePreflight::waitingReads(request);
    }
};

class HelperScriptFixture : public ::testing::Test {
protected:
    void SetUp() override {
        realHelper = qEnvironmentVariable("LORVANEL_OPEN_HELPER");
        ASSERT_FALSE(DatabasePreflight::helperPath().isEmpty()) << "no helper built";
        DatabasePreflight::forgetReadDatabases();
        volume.addTrack({.title = QStringLiteral("Song")});
        volume.write();
    }
    void TearDown() override {
        qputenv("LORVANEL_OPEN_HELPER", realHelper.toUtf8());
        if (gateWriter >= 0)
            ::close(gateWriter);
    }

    // A stand-in helper: a shell script doing what body says.
    void useHelperScript(const QByteArray& body) {
        const QString path = scripts.filePath(QStringLiteral("helper.sh"));
        QFile script(path);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write("#!/bin/sh\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("LORVANEL_OPEN_HELPER", QFile::encodeName(path));
    }

    // A script line that waits until the test lets it go on (see release).
    QByteArray waitForRelease() {
        const QByteArray gate = QFile::encodeName(scripts.filePath(QStringLiteral("gate")));
        if (gateWriter < 0) {
            EXPECT_EQ(::mkfifo(gate.constData(), 0600), 0);
            // Held open for reading too, so that neither side's open of the FIFO waits.
            gateWriter = ::open(gate.constData(), O_RDWR | O_CLOEXEC);
            EXPECT_GE(gateWriter, 0);
        }
        return "read go < '" + gate + "'";
    }
    // Lets that many waiting scripts go on, now or whenever they come to wait.
    void release(int scripts = 1) {
        for (int i = 0; i < scripts; ++i)
            ASSERT_EQ(::write(gateWriter, "go\n", 3), 3);
    }

    QString realHelper;
    TestSupport::IPodVolume volume{QStringLiteral("MA477")};
    QTemporaryDir scripts;
    int gateWriter = -1;
};
