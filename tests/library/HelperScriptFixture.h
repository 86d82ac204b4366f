// A one-track volume and the open helper, which a test may swap for a shell script of its own.
#pragma once

#include "library/DatabasePreflight.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

class HelperScriptFixture : public ::testing::Test {
protected:
    void SetUp() override {
        realHelper = qEnvironmentVariable("LORVANEL_OPEN_HELPER");
        ASSERT_FALSE(DatabasePreflight::helperPath().isEmpty()) << "no helper built";
        DatabasePreflight::forgetReadDatabases();
        volume.addTrack({.title = QStringLiteral("Song")});
        volume.write();
    }
    void TearDown() override { qputenv("LORVANEL_OPEN_HELPER", realHelper.toUtf8()); }

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

    QString realHelper;
    TestSupport::IPodVolume volume{QStringLiteral("MA477")};
    QTemporaryDir scripts;
};
