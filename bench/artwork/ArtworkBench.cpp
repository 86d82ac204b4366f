// Renders every drawing of the catalogue (each model in each finish, front and back with
// capacity and engraving: 142 drawings) at 254 logical pixels high and device pixel ratio 2,
// and prints the median, 95th percentile, worst and total time of one pass.

#include "BenchArguments.h"
#include "artwork/StartupDeviceVector.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    BenchArguments("lorvanel_artwork_bench",
                   "Renders every drawing of the device catalogue and prints the median, 95th "
                   "percentile,\nworst and total time of one pass.")
        .parse(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<StartupDeviceVector::Drawing> drawings;
    for (bool rear : {false, true})
        for (StartupSeries series : StartupSeries::allCases()) {
            const auto& models = series.models();
            for (std::size_t g = 0; g < models.size(); ++g)
                for (StartupModel::Finish finish : models[g].finishes)
                    drawings.emplace_back(series, int(g), finish, rear,
                                          models[g].capacityOptions().front(),
                                          QStringLiteral("Made for music"));
        }

    constexpr double height = 254.0;
    constexpr int passes = 5;
    std::vector<double> best(drawings.size(), 1e9);
    double bestTotal = 1e9;
    // One warm-up pass loads fonts and builds the symbol table.
    for (int pass = -1; pass < passes; ++pass) {
        double total = 0;
        for (std::size_t i = 0; i < drawings.size(); ++i) {
            const auto& d = drawings[i];
            QElapsedTimer timer;
            timer.start();
            const QImage image = d.image(QSizeF(std::round(d.aspectRatio() * height), height), 2.0);
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            if (image.isNull())
                return 1;
            total += ms;
            if (pass >= 0)
                best[i] = std::min(best[i], ms);
        }
        if (pass >= 0)
            bestTotal = std::min(bestTotal, total);
    }
    std::vector<double> sorted = best;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) { return sorted[std::size_t(q * double(sorted.size() - 1))]; };
    std::printf("drawings: %zu at %.0f pt, ratio 2 (best of %d passes)\n", drawings.size(), height,
                passes);
    std::printf("median: %.3f ms  p95: %.3f ms  worst: %.3f ms  total: %.1f ms\n", at(0.5),
                at(0.95), sorted.back(), bestTotal);
    return 0;
}
