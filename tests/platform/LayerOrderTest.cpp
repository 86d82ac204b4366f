// The folders under src/ depend on each other one way only, and the engine's folders stay
// free of widgets and of Qt Multimedia. The order, bottom to top:
//   platform < library < transfer < device < appmodel < artwork < coverflow < browser, showcase
//   < app
// A folder includes headers of its own level and below only. browser and showcase are
// siblings and never include each other; artwork and coverflow are the views' shared base.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <optional>

namespace {

QString sourceDir() {
    return qEnvironmentVariable("LORVANEL_SOURCE_DIR", QStringLiteral(LORVANEL_SOURCE_DIR));
}

// The level of a folder under src/; none for a folder the order does not know.
std::optional<int> levelOf(const QString& folder) {
    static const QHash<QString, int> levels = {
        {QStringLiteral("platform"), 0},  {QStringLiteral("library"), 1},
        {QStringLiteral("transfer"), 2},  {QStringLiteral("device"), 3},
        {QStringLiteral("appmodel"), 4},  {QStringLiteral("artwork"), 5},
        {QStringLiteral("coverflow"), 6}, {QStringLiteral("browser"), 7},
        {QStringLiteral("showcase"), 7},  {QStringLiteral("app"), 8},
    };
    const auto found = levels.constFind(folder);
    if (found == levels.cend())
        return std::nullopt;
    return *found;
}

// Whether a file of folder `from` may include a header of folder `to`.
bool mayInclude(const QString& from, const QString& to) {
    const auto a = levelOf(from);
    const auto b = levelOf(to);
    if (!a || !b)
        return false;
    return from == to || *b < *a;
}

// The engine's folders: headless, Qt Core only.
bool isEngine(const QString& folder) {
    return levelOf(folder) && *levelOf(folder) <= *levelOf(QStringLiteral("device"));
}

struct Include {
    QString file; // relative to the source folder
    QString target;
    int line = 0;
};

// Every #include of every source under src/ and the folder it belongs to.
QList<Include> includesUnder(const QString& root) {
    QList<Include> found;
    static const QRegularExpression directive(
        QStringLiteral(R"re(^\s*#\s*include\s*[<"]([^>"]+)[>"])re"));
    QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        int number = 0;
        while (!file.atEnd()) {
            ++number;
            const auto match = directive.match(QString::fromUtf8(file.readLine()));
            if (match.hasMatch())
                found.append({QDir(root).relativeFilePath(path), match.captured(1), number});
        }
    }
    return found;
}

QString folderOf(const QString& relativePath) {
    return relativePath.section(QLatin1Char('/'), 0, 0);
}

// The headers a Qt module installs, by the names code includes them with.
QSet<QString> moduleHeaders(const QString& module) {
    QSet<QString> names;
    const QDir dir(QLibraryInfo::path(QLibraryInfo::HeadersPath) + QLatin1Char('/') + module);
    for (const QString& name : dir.entryList(QDir::Files)) {
        names.insert(name);
        names.insert(module + QLatin1Char('/') + name);
    }
    names.insert(module);
    return names;
}

TEST(LayerOrder, TheOrderItselfIsOneWay) {
    EXPECT_TRUE(mayInclude(QStringLiteral("device"), QStringLiteral("transfer")));
    EXPECT_FALSE(mayInclude(QStringLiteral("transfer"), QStringLiteral("device")));
    EXPECT_TRUE(mayInclude(QStringLiteral("showcase"), QStringLiteral("coverflow")));
    EXPECT_TRUE(mayInclude(QStringLiteral("coverflow"), QStringLiteral("artwork")));
    EXPECT_FALSE(mayInclude(QStringLiteral("artwork"), QStringLiteral("coverflow")));
    EXPECT_FALSE(mayInclude(QStringLiteral("browser"), QStringLiteral("showcase")));
    EXPECT_FALSE(mayInclude(QStringLiteral("showcase"), QStringLiteral("browser")));
    EXPECT_FALSE(mayInclude(QStringLiteral("browser"), QStringLiteral("app")));
    EXPECT_FALSE(mayInclude(QStringLiteral("newfolder"), QStringLiteral("platform")));
}

TEST(LayerOrder, NoFolderIncludesAHeaderOfAFolderAboveIt) {
    const QString src = sourceDir() + QStringLiteral("/src");
    ASSERT_TRUE(QDir(src).exists()) << qPrintable(src);
    QStringList known;
    for (const QString& folder : QDir(src).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        EXPECT_TRUE(levelOf(folder))
            << "src/" << qPrintable(folder) << " has no place in the layer order";
        known.append(folder);
    }
    int checked = 0;
    for (const Include& include : includesUnder(src)) {
        const QString target = folderOf(include.target);
        if (!include.target.contains(QLatin1Char('/')) || !known.contains(target))
            continue; // a system or library header
        ++checked;
        const QString from = folderOf(include.file);
        EXPECT_TRUE(mayInclude(from, target))
            << "src/" << qPrintable(include.file) << ":" << include.line << " includes "
            << qPrintable(include.target) << ", a header of a folder above " << qPrintable(from);
    }
    EXPECT_GT(checked, 100);
}

TEST(LayerOrder, TheEngineIncludesNoWidgetOrMultimediaHeader) {
    const QSet<QString> forbidden =
        moduleHeaders(QStringLiteral("QtWidgets")) + moduleHeaders(QStringLiteral("QtMultimedia"));
    ASSERT_TRUE(forbidden.contains(QStringLiteral("QWidget")));
    ASSERT_TRUE(forbidden.contains(QStringLiteral("QMediaPlayer")));
    const QString src = sourceDir() + QStringLiteral("/src");
    for (const Include& include : includesUnder(src)) {
        if (!isEngine(folderOf(include.file)))
            continue;
        EXPECT_FALSE(forbidden.contains(include.target))
            << "src/" << qPrintable(include.file) << ":" << include.line << " includes <"
            << qPrintable(include.target) << ">";
    }
}

TEST(LayerOrder, TheEngineLinksNoWidgetOrMultimediaModule) {
    static const QRegularExpression module(QStringLiteral(R"(Qt6::(Widgets|Multimedia)\b)"));
    QDirIterator it(sourceDir() + QStringLiteral("/src"), {QStringLiteral("CMakeLists.txt")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(sourceDir() + QStringLiteral("/src")).relativeFilePath(path);
        if (!isEngine(folderOf(relative)))
            continue;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const auto match = module.match(QString::fromUtf8(file.readAll()));
        EXPECT_FALSE(match.hasMatch())
            << "src/" << qPrintable(relative) << " links " << qPrintable(match.captured(0));
    }
}

// Stored covers are decoded in the cover process alone: libgpod's decoding is called from its
// source only, and only the open helper links the library that holds it.
TEST(LayerOrder, OnlyTheCoverProcessDecodesStoredCovers) {
    static const QRegularExpression decoding(QStringLiteral(
        R"(\bitdb_(track_get_thumbnail|artwork_get_pixbuf|thumb_to_pixbuf\w*)\b|lorvanel_cover_decoding)"));
    const QDir root(sourceDir() + QStringLiteral("/src"));
    const QStringList allowed{QStringLiteral("library/StoredCoverDecoding.cpp"),
                              QStringLiteral("library/CMakeLists.txt")};
    QDirIterator it(
        root.path(),
        {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("CMakeLists.txt")},
        QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = root.relativeFilePath(path);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (auto match = decoding.globalMatch(text); match.hasNext();) {
            const QString found = match.next().captured(0);
            const bool helperLink =
                relative == QStringLiteral("app/CMakeLists.txt") &&
                text.contains(QStringLiteral("lorvanel-open-helper PRIVATE ") + found);
            EXPECT_TRUE(allowed.contains(relative) || helperLink)
                << "src/" << qPrintable(relative) << " uses " << qPrintable(found);
        }
    }
}

} // namespace
