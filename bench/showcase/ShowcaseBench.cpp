// Figures for the showcase at the main window's default size (1160 × 760, so a detail column of
// 940 × 722): drawing the stage cold (no artwork rendered yet), one step of the carousel (the
// move and the next frame of its spring), and the share card's export. Each is printed against
// its budget. Run with QT_SCALE_FACTOR=2 for a high-density screen.

#include "BenchArguments.h"
#include "appmodel/ReduceMotion.h"
#include "showcase/DeviceShareImage.h"
#include "showcase/DeviceStage.h"
#include "showcase/StartupDeviceFlow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Figures {
    double median = 0;
    double p95 = 0;
    double worst = 0;
};

Figures measure(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::size_t(q * double(ms.size() - 1))]; };
    return {at(0.5), at(0.95), ms.back()};
}

void report(const char* what, const Figures& f, double budget, bool byP95) {
    const double figure = byP95 ? f.p95 : f.median;
    std::printf("%-44s median %6.2f ms  p95 %6.2f ms  worst %6.2f ms   budget %s < %.0f ms: %s\n",
                what, f.median, f.p95, f.worst, byP95 ? "p95" : "median", budget,
                figure < budget ? "within" : "OVER");
}

} // namespace

int main(int argc, char** argv) {
    BenchArguments("showcase_bench",
                   "Figures for the showcase at the main window's default size, each against its "
                   "budget.\nRun with QT_SCALE_FACTOR=2 for a high-density screen.")
        .parse(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ReduceMotion::setOverride(false);

    StartupDeviceFlow flow(StartupSeries::classic);
    flow.resize(940, 722);
    flow.show();
    QCoreApplication::processEvents();
    DeviceStage* stage = flow.stage();
    const double ratio = stage->devicePixelRatioF();
    QImage frame(stage->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    const auto draw = [&] {
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        stage->render(&painter);
    };
    std::printf("stage %d × %d at device pixel ratio %.0f\n", stage->width(), stage->height(),
                ratio);
    draw(); // fonts and the first allocations

    report("stage drawn cold, series (3 items)",
           measure(
               30, [&] { stage->clearCache(); }, draw),
           25, false);
    flow.state().setSeries(StartupSeries::nano);
    flow.state().toggleGenerations(true);
    report("stage drawn cold, nano generations (7 items)",
           measure(
               30, [&] { stage->clearCache(); }, draw),
           25, false);

    // One step: the move starts the spring, and the next frame is drawn.
    int direction = 1;
    const auto step = [&] {
        flow.state().move(direction);
        draw();
    };
    const auto turn = [&] {
        const int g = flow.state().generationIndex(flow.state().series());
        if (g == 0 || g + 1 == int(flow.state().series().models().size()))
            direction = -direction;
    };
    draw();
    report("carousel step, nano generations", measure(200, turn, step), 8, true);
    flow.state().toggleGenerations(false);
    draw();
    direction = 1;
    report("carousel step, series",
           measure(
               200, [] {}, step),
           8, true);

    DeviceShareCard card;
    card.title = QStringLiteral("iPod classic (6th generation)");
    card.details = QStringLiteral("2007 · 160 GB · Black");
    card.caption = QStringLiteral("For the long drive");
    card.artwork =
        StartupDeviceArtwork{std::nullopt, StartupSeries::classic, 5, StartupModel::Finish::black};
    card.rearArtwork =
        StartupDeviceVector::Drawing(StartupSeries::classic, 5, StartupModel::Finish::black, true);
    QByteArray png;
    report("share card rendered and encoded as PNG",
           measure(
               10, [] {}, [&] { png = *DeviceShareImage::renderPNG(card); }),
           200, false);
    report("clipboard data (PNG and TIFF)",
           measure(
               10, [] {}, [&] { delete DeviceShareImage::clipboardData(png); }),
           200, false);
    return 0;
}
