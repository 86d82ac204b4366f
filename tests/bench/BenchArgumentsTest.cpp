#include "BenchArguments.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    BenchArguments::Outcome outcome;
    QString error;
};

// A benchmark with every kind of option: a part, a folder, a repeatable count and a switch.
struct Bench {
    QString part;
    QString folder;
    QList<int> counts;
    bool window = false;
    BenchArguments arguments{"example_bench", "Measures an example."};

    Bench() {
        arguments.part({QStringLiteral("paint"), QStringLiteral("step")}, part);
        arguments.value("work-dir", "DIR", QStringLiteral("Where the files go"),
                        [this](const QString& v) { return (folder = v, true); });
        arguments.value("tracks", "N", QStringLiteral("Library size; repeat for several"),
                        [this](const QString& v) {
                            int count = 0;
                            return BenchArguments::toCount(v, count) &&
                                   (counts.append(count), true);
                        });
        arguments.flag("show", QStringLiteral("Open a window"), [this] { window = true; });
    }

    Parsed read(const QStringList& argv) {
        Parsed parsed{BenchArguments::Outcome::run, {}};
        parsed.outcome = arguments.read(argv, parsed.error);
        return parsed;
    }
};

} // namespace

TEST(BenchArgumentsTest, HelpAsksForTheUsageWhichListsEveryOption) {
    Bench bench;
    for (const QString& help : {QStringLiteral("--help"), QStringLiteral("-h")})
        EXPECT_EQ(bench.read({QStringLiteral("--part=paint"), help}).outcome,
                  BenchArguments::Outcome::help);
    const QString usage = bench.arguments.usage();
    EXPECT_TRUE(usage.startsWith(QStringLiteral("Usage: example_bench [options]\nMeasures")))
        << qPrintable(usage);
    for (const char* option :
         {"--part NAME", "paint, step", "--work-dir DIR", "--tracks N", "--show", "-h, --help"})
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
}

TEST(BenchArgumentsTest, ValuesComeSeparateOrAfterAnEqualsSign) {
    Bench bench;
    const Parsed parsed = bench.read({QStringLiteral("--part"), QStringLiteral("step"),
                                      QStringLiteral("--work-dir=/srv/a b"),
                                      QStringLiteral("--tracks"), QStringLiteral("5000"),
                                      QStringLiteral("--tracks=40000"), QStringLiteral("--show")});
    EXPECT_EQ(parsed.outcome, BenchArguments::Outcome::run) << qPrintable(parsed.error);
    EXPECT_EQ(bench.part, QStringLiteral("step"));
    EXPECT_EQ(bench.folder, QStringLiteral("/srv/a b"));
    EXPECT_EQ(bench.counts, (QList<int>{5000, 40000}));
    EXPECT_TRUE(bench.window);
    EXPECT_EQ(Bench().read({}).outcome, BenchArguments::Outcome::run);
}

TEST(BenchArgumentsTest, AnythingElseIsAnErrorThatSaysWhat) {
    const std::pair<QStringList, QString> cases[] = {
        // A bare word was once taken for a folder or a part.
        {{QStringLiteral("/tmp")}, QStringLiteral("unexpected argument /tmp")},
        {{QStringLiteral("--")}, QStringLiteral("unexpected argument --")},
        {{QStringLiteral("--colour")}, QStringLiteral("unknown option --colour")},
        {{QStringLiteral("--part"), QStringLiteral("decode")},
         QStringLiteral("invalid value for --part: decode")},
        {{QStringLiteral("--tracks=0")}, QStringLiteral("invalid value for --tracks: 0")},
        {{QStringLiteral("--tracks=many")}, QStringLiteral("invalid value for --tracks: many")},
        {{QStringLiteral("--tracks")}, QStringLiteral("--tracks needs a value")},
        {{QStringLiteral("--show=yes")}, QStringLiteral("--show takes no value")},
    };
    for (const auto& [argv, error] : cases) {
        Bench bench;
        const Parsed parsed = bench.read(argv);
        EXPECT_EQ(parsed.outcome, BenchArguments::Outcome::error) << qPrintable(argv.join(' '));
        EXPECT_EQ(parsed.error, error);
    }
}
