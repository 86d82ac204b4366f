#pragma once

// The one argument form of every benchmark: GNU long options, "--name value" or "--name=value"
// for a value, "--name" alone for a switch, and --help (or -h), which prints the usage and
// exits 0. Anything else prints the usage to stderr and exits 2. Parsed before any application
// object exists, so --help needs no display and runs no part of the benchmark. There are no
// positional arguments: a stray word is an error, never a folder.
//
//     BenchArguments arguments("lorvanel_transfer_bench", "What it measures.");
//     QString folder;
//     arguments.value("work-dir", "DIR", "Where the files go (default: the temporary folder)",
//                     [&](const QString& v) { folder = v; return true; });
//     arguments.parse(argc, argv);

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

class BenchArguments {
public:
    BenchArguments(const char* program, const char* summary)
        : program_(program)
        , summary_(summary) {}

    // An option that takes a value; take returns false when the value is not acceptable.
    void value(const char* name, const char* valueName, const QString& help,
               std::function<bool(const QString&)> take) {
        options_.push_back({QString::fromLatin1(name), valueName, help, std::move(take), {}});
    }

    // An option without a value.
    void flag(const char* name, const QString& help, std::function<void()> set) {
        options_.push_back({QString::fromLatin1(name), nullptr, help, {}, std::move(set)});
    }

    // The usual "--part NAME" option of a benchmark made of parts; chosen gets the part (or
    // stays empty for all of them).
    void part(const QStringList& parts, QString& chosen) {
        const QString help = QStringLiteral("Run one part alone: %1 (default: all)")
                                 .arg(parts.join(QStringLiteral(", ")));
        value("part", "NAME", help, [parts, &chosen](const QString& v) {
            chosen = v;
            return parts.contains(v);
        });
    }

    enum class Outcome { run, help, error };

    // Reads the arguments after the program's name; error gets what is wrong.
    Outcome read(const QStringList& arguments, QString& error) const {
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& argument = arguments[i];
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
                return Outcome::help;
            if (!argument.startsWith(QLatin1String("--")) || argument.size() == 2) {
                error = QStringLiteral("unexpected argument ") + argument;
                return Outcome::error;
            }
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
            const Option* option = find(name);
            if (!option) {
                error = QStringLiteral("unknown option --") + name;
                return Outcome::error;
            }
            if (!option->valueName) {
                if (equals >= 0) {
                    error = QStringLiteral("--%1 takes no value").arg(name);
                    return Outcome::error;
                }
                option->set();
                continue;
            }
            QString value;
            if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                error = QStringLiteral("--%1 needs a value").arg(name);
                return Outcome::error;
            }
            if (!option->take(value)) {
                error = QStringLiteral("invalid value for --%1: %2").arg(name, value);
                return Outcome::error;
            }
        }
        return Outcome::run;
    }

    QString usage() const {
        QString text = QStringLiteral("Usage: %1 [options]\n%2\n\nOptions:\n")
                           .arg(QLatin1String(program_), QString::fromUtf8(summary_));
        std::vector<std::pair<QString, QString>> rows;
        for (const Option& option : options_)
            rows.emplace_back(QStringLiteral("--") + option.name +
                                  (option.valueName
                                       ? QLatin1Char(' ') + QLatin1String(option.valueName)
                                       : QString()),
                              option.help);
        rows.emplace_back(QStringLiteral("-h, --help"),
                          QStringLiteral("Print this usage and exit"));
        qsizetype width = 0;
        for (const auto& row : rows)
            width = std::max(width, row.first.size());
        for (const auto& [head, help] : rows)
            text += QStringLiteral("  ") + head.leftJustified(width) + QStringLiteral("  ") + help +
                    QLatin1Char('\n');
        return text;
    }

    // Reads argv; --help prints the usage and exits 0, a wrong argument exits 2.
    void parse(int argc, char** argv) const {
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        QString error;
        switch (read(arguments, error)) {
        case Outcome::run:
            return;
        case Outcome::help:
            std::fputs(qPrintable(usage()), stdout);
            std::exit(0);
        case Outcome::error:
            std::fprintf(stderr, "%s: %s\n%s", program_, qPrintable(error), qPrintable(usage()));
            std::exit(2);
        }
    }

    // For the option's take function: a whole number of at least minimum.
    static bool toCount(const QString& text, int& count, int minimum = 1) {
        bool ok = false;
        const int parsed = text.toInt(&ok);
        if (!ok || parsed < minimum)
            return false;
        count = parsed;
        return true;
    }

private:
    struct Option {
        QString name;
        const char* valueName;
        QString help;
        std::function<bool(const QString&)> take;
        std::function<void()> set;
    };

    const Option* find(const QString& name) const {
        for (const Option& option : options_)
            if (option.name == name)
                return &option;
        return nullptr;
    }

    const char* program_;
    const char* summary_;
    std::vector<Option> options_;
};
