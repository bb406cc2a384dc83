#pragma once
// A paint device that keeps the texts drawn on it, so that a test can read what a painter wrote
// instead of guessing it from pixels.

#include <QPaintDevice>
#include <QPaintEngine>
#include <QStringList>

namespace tarn::test {

class text_recorder_c : public QPaintDevice {
public:
    QStringList texts;

    QPaintEngine* paintEngine() const override { return &engine_; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return 800;
        case PdmHeight: return 600;
        case PdmDepth: return 32;
        case PdmWidthMM: return 211;
        case PdmHeightMM: return 158;
        case PdmNumColors: return 0;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        default: return 96; // the four resolutions
        }
    }

private:
    class engine_c : public QPaintEngine {
    public:
        explicit engine_c(QStringList& texts) : QPaintEngine(AllFeatures), texts_(texts) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        // Shapes are not recorded; the base class would only turn them into one another.
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPath(const QPainterPath&) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { texts_ << item.text(); }
        Type type() const override { return User; }

    private:
        QStringList& texts_;
    };
    mutable engine_c engine_{texts};
};

} // namespace tarn::test
