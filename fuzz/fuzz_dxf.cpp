// libFuzzer target: the DXF reader, and the drawing it gives measured, moved and turned.
#include "measurements/DxfDrawing.h"
#include "measurements/DxfReader.h"

#include <QByteArray>
#include <QPointF>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    // The unit follows the input's length so that every factor is reached.
    const double factor = dxfUnitFactor(int(size % 3));
    DxfReadResult result = readDxf(bytes, factor);
    DxfDrawing &drawing = result.drawing;
    for (int i = 0; i < drawing.size(); ++i) {
        for (const QPointF &p : drawing.entity(i).reperPoints()) {
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                std::abort();
        }
    }
    const QVector<QPointF> points
        = {QPointF(0, 0), QPointF(1.5, -2.5) * factor, QPointF(-30, 7) * factor};
    QVector<int> hints;
    const double before = drawing.distanceSum(points, &hints);
    drawing.rotate(33.0, QPointF(1, 1));
    drawing.translate(0.5, -0.25);
    drawing.rescale(1000.0);
    drawing.distanceSum(points, &hints);
    if (std::isnan(before))
        std::abort();
    return 0;
}
