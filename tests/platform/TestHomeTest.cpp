#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// Every suite makes a private home in the temporary folder; a run, death tests included (their
// child is a fresh copy of the program that exits without unwinding), leaves nothing there.
TEST(TestHomeTest, ARunWithADeathTestLeavesNothingInTheTemporaryFolder) {
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=GLibAllocatorTest.*")});
    ASSERT_TRUE(run.waitForFinished(120000));
    ASSERT_EQ(run.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(run.exitCode(), 0) << run.readAll().constData();
    const QStringList left =
        QDir(temporary.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_TRUE(left.isEmpty()) << qPrintable(left.join(u' '));
}
