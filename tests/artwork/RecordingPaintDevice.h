#pragma once

// A paint device that records what is drawn on it instead of rasterising: every text run with
// its effective pixel size and centre, and the number of filled and stroked paths.

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct RecordedText {
    QString text;
    double pixelSize; // in device pixels, after the painter's transform
    QPointF centre;   // of the run's baseline, in device pixels
    int weight;
    QString family;
};

class RecordingPaintEngine;

class RecordingPaintDevice : public QPaintDevice {
public:
    RecordingPaintDevice(int width, int height);
    ~RecordingPaintDevice() override;

    QPaintEngine* paintEngine() const override;

    const std::vector<RecordedText>& texts() const;
    QStringList textStrings() const;
    bool hasText(const QString& text) const;
    int paths() const;
    void clear();

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int width_;
    int height_;
    std::unique_ptr<RecordingPaintEngine> engine_;
};
