#include "render/fit_text.h"

#include <QFontMetricsF>

namespace dlv {

FittedText fitText(const QString& text, const QFont& base, QSize box, const QPaintDevice* device,
                   double minPointSize)
{
    FittedText fit{base, text};
    for (double size = base.pointSizeF(); size >= minPointSize; size -= 0.5) {
        fit.font.setPointSizeF(size);
        const QFontMetricsF metrics(fit.font, device);
        if (metrics.horizontalAdvance(text) <= box.width() && metrics.height() <= box.height())
            return fit;
    }
    fit.shown = QFontMetricsF(fit.font, device).elidedText(text, Qt::ElideRight, box.width());
    if (fit.shown.isNull())
        fit.shown = QStringLiteral("");
    return fit;
}

}  // namespace dlv
