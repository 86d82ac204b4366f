// Reading the largest device description the opening accepts, made as hard to read per byte as a
// plain description can be (as many distinct short keys as fit): our strict reading, libplist's
// dictionary, and a whole opening of a nano whose Device folder holds it (which reads it in each
// check that needs it, and libgpod once), against half and a quarter of that size. libplist's
// reading grows faster than the size, which is what the bound is for.

#include "BenchArguments.h"

#include "library/DeviceDescription.h"
#include "library/IPodDatabase.h"
#include "library/PropertyList.h"
#include "support/DeviceDescriptions.h"
#include "support/IPodVolume.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The median of a few rounds of step, in milliseconds.
double medianMilliseconds(const std::function<bool()>& step) {
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!step())
            return -1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    BenchArguments("lorvanel_device_description_bench",
                   "Reading a device description of the largest size the opening accepts, with "
                   "as many\nkeys as fit, against smaller ones: our reading, libplist's, and a "
                   "whole opening.")
        .parse(argc, argv);
    QCoreApplication app(argc, argv);
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Song"), .artwork = true});
    volume.write();

    // The budget: an opening at the bound well under a second.
    constexpr double budgetMs = 250;
    double atBound = 0;
    for (const qint64 bytes : {DeviceDescription::maxBytes / 4, DeviceDescription::maxBytes / 2,
                               DeviceDescription::maxBytes}) {
        const QByteArray description = TestSupport::descriptionOfSize(bytes);
        volume.writeSysInfoExtended(description);
        const auto plain = DeviceDescription::plainText(description);
        if (!plain) {
            std::printf("a description of %lld bytes was refused\n", static_cast<long long>(bytes));
            return 1;
        }
        const double strict = medianMilliseconds(
            [&] { return DeviceDescription::plainText(description).has_value(); });
        const double libplist =
            medianMilliseconds([&] { return PropertyList::parseDictionary(*plain).has_value(); });
        const double opening = medianMilliseconds([&] {
            const IPodDatabase database(volume.mountPoint());
            return database.loadTracks().size() == 1;
        });
        if (strict < 0 || libplist < 0 || opening < 0) {
            std::printf("a description of %lld bytes did not read\n",
                        static_cast<long long>(bytes));
            return 1;
        }
        std::printf("%8lld bytes, %6lld keys: strict reading %7.1f ms, libplist %7.1f ms, "
                    "opening %7.1f ms\n",
                    static_cast<long long>(bytes),
                    static_cast<long long>(description.count("<key>")), strict, libplist, opening);
        atBound = opening;
    }
    std::printf("opening at the bound: %.1f ms (budget %.0f ms)\n", atBound, budgetMs);
    return atBound <= budgetMs ? 0 : 1;
}
