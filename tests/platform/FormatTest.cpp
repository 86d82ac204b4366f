// Every tracked C++ file is formatted by the project's clang-format settings.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

QString sourceDir() {
    return qEnvironmentVariable("LORVANEL_SOURCE_DIR", QStringLiteral(LORVANEL_SOURCE_DIR));
}

// The C++ files git tracks; the sources, tests and benchmarks when this is no git checkout.
QStringList trackedFiles(const QString& root) {
    QProcess git;
    git.setWorkingDirectory(root);
    git.start(QStringLiteral("git"),
              {QStringLiteral("ls-files"), QStringLiteral("*.cpp"), QStringLiteral("*.h")});
    if (git.waitForFinished(30000) && git.exitStatus() == QProcess::NormalExit &&
        git.exitCode() == 0)
        return QString::fromUtf8(git.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QStringList files;
    for (const char* folder : {"src", "tests", "bench"}) {
        QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(QDir(root).relativeFilePath(it.next()));
    }
    return files;
}

TEST(Format, EveryTrackedFileIsClangFormatClean) {
    const QString clangFormat = QStandardPaths::findExecutable(QStringLiteral("clang-format"));
    if (clangFormat.isEmpty())
        GTEST_SKIP() << "clang-format is not installed (scripts/install-deps.sh installs it)";
    const QString root = sourceDir();
    const QStringList files = trackedFiles(root);
    ASSERT_GT(files.size(), 100);
    QProcess format;
    format.setWorkingDirectory(root);
    format.start(clangFormat, QStringList{QStringLiteral("--dry-run"), QStringLiteral("-Werror"),
                                          QStringLiteral("--style=file")} +
                                  files);
    ASSERT_TRUE(format.waitForFinished(120000));
    EXPECT_EQ(format.exitCode(), 0) << "run clang-format -i on these files:\n"
                                    << format.readAllStandardError().toStdString();
}

} // namespace
