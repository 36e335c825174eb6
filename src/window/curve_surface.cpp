#include "window/curve_surface.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLine>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

namespace dlv {

namespace {

// The right and bottom edges belong to the last column and row, as the curve
// envelope has it; without this a line at x = width would fall just outside.
constexpr double kEdgeNudge = 1.0 / 1024.0;

[[nodiscard]] double pullInsideEdge(double p, int size)
{
    const double edge = static_cast<double>(size);
    return (p >= edge && p < edge + kEdgeNudge) ? edge - kEdgeNudge : p;
}

// Pixel row of a y in pixels, the bottom edge counting as the last row.
[[nodiscard]] int pixelRow(double py, int h)
{
    return std::min(static_cast<int>(std::floor(py)), h - 1);
}

// One wheel notch (120 eighths of a degree) narrows the view by this much.
constexpr double kZoomPerNotch = 1.25;
constexpr std::size_t kCachedEnvelopes = 4;

[[nodiscard]] bool sameOwner(const std::weak_ptr<const ParamSeries>& a, const std::shared_ptr<const ParamSeries>& b)
{
    return !a.owner_before(b) && !b.owner_before(a);
}

[[nodiscard]] int clampToInt(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

}  // namespace

CurveSurface::CurveSurface(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

CurveSurface::~CurveSurface() = default;

void CurveSurface::setUserScale(double width, double height)
{
    setUserScale(CurveScale(0.0, 0.0, width, height));
}

void CurveSurface::setUserScale(const CurveScale& scale)
{
    if (scale.left() != m_zoom.fullLeft() || scale.width() != m_zoom.fullWidth())
        m_zoom = CurveZoom(scale.left(), scale.width());
    m_fullScale = scale;
    applyZoom();
}

void CurveSurface::applyZoom()
{
    const CurveScale visible = m_zoom.isWhole()
                                   ? m_fullScale
                                   : CurveScale(m_zoom.left(), m_fullScale.top(), m_zoom.width(), m_fullScale.height());
    if (visible == m_scale)
        return;
    m_scale = visible;
    update();
}

void CurveSurface::setVisibleRange(double left, double width)
{
    m_zoom.setVisible(left, width);
    applyZoom();
}

void CurveSurface::showWholeLog()
{
    m_zoom.reset();
    applyZoom();
}

void CurveSurface::clear()
{
    m_lines.clear();
    m_curves.clear();
    m_nextOrder = 0;
    update();
}

void CurveSurface::setDrawColor(GridColor color)
{
    m_color = color;
}

void CurveSurface::drawLine(double x1, double y1, double x2, double y2)
{
    m_lines.push_back(Line{x1, y1, x2, y2, qtColor(m_color), m_nextOrder++});
    update();
}

void CurveSurface::setCurve(std::shared_ptr<const ParamSeries> series, const CurveLayout& layout)
{
    if (!series)
        return;
    if (!sameOwner(m_viewSeries, series)) {
        m_viewSeries = series;
        m_ticks.clear();
        m_markerTake.reset();
        m_zoom.reset();
        applyZoom();
    }
    Curve curve;
    curve.series = std::move(series);
    curve.maxValue = layout.maxValue;
    curve.color = qtColor(m_color);
    curve.order = m_nextOrder++;
    m_curves.push_back(std::move(curve));
    update();
}

void CurveSurface::setTickTakes(std::vector<int> takes)
{
    std::sort(takes.begin(), takes.end());
    takes.erase(std::unique(takes.begin(), takes.end()), takes.end());
    m_ticks = std::move(takes);
    update();
}

void CurveSurface::setValueTextProvider(std::function<QString(int take)> provider)
{
    m_valueText = std::move(provider);
}

int CurveSurface::lastTake() const
{
    if (!m_curves.empty())
        return std::max(m_curves.back().series->takeCount() - 1, 0);
    return std::max(clampToInt(std::floor(m_fullScale.right())), 0);
}

int CurveSurface::firstVisibleTake() const
{
    return std::clamp(clampToInt(std::ceil(m_scale.left())), 0, lastTake());
}

int CurveSurface::lastVisibleTake() const
{
    return std::clamp(clampToInt(std::floor(m_scale.right())), 0, lastTake());
}

QString CurveSurface::toolTipTextAt(QPointF widgetPos) const
{
    if (m_curves.empty() || !contentsRect().contains(widgetPos.toPoint()))
        return {};
    const int take = clickedTake(toUser(widgetPos).x());
    if (take < 0 || take > lastTake())
        return {};
    QString value;
    if (m_valueText) {
        value = m_valueText(take);
    } else {
        const ParamSeries& series = *m_curves.back().series;
        if (series.isNumber(take))
            value = QString::number(series.values[static_cast<std::size_t>(take)], 'g', 15);
    }
    if (value.isEmpty())
        value = QStringLiteral("(empty)");
    return QStringLiteral("Take %1: %2").arg(take).arg(value);
}

QSize CurveSurface::surfaceSize() const
{
    const QSize s = contentsRect().size();
    return {std::max(s.width(), 1), std::max(s.height(), 1)};
}

QPointF CurveSurface::toWidget(QPointF user) const
{
    const QSize s = surfaceSize();
    const QPoint origin = contentsRect().topLeft();
    return {origin.x() + m_scale.toPixelX(user.x(), s.width()), origin.y() + m_scale.toPixelY(user.y(), s.height())};
}

QPointF CurveSurface::toUser(QPointF widgetPos) const
{
    const QSize s = surfaceSize();
    const QPoint origin = contentsRect().topLeft();
    return {m_scale.toUserX(widgetPos.x() - origin.x(), s.width()),
            m_scale.toUserY(widgetPos.y() - origin.y(), s.height())};
}

QRgb CurveSurface::qtColor(GridColor color) const
{
    if (color == kButtonFace)
        return palette().color(QPalette::Button).rgb();
    return qRgb(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                static_cast<int>((color >> 16) & 0xFFu));
}

void CurveSurface::paintEvent(QPaintEvent* event)
{
    try {
        QFrame::paintEvent(event);  // the sunken border
        QPainter painter(this);
        painter.setClipRect(contentsRect());
        painter.translate(contentsRect().topLeft());
        painter.setRenderHint(QPainter::Antialiasing, false);
        paintContents(painter);
    } catch (const std::exception&) {
        // Out of memory while building an envelope: leave the surface blank
        // rather than let the exception into Qt's event loop.
    } catch (...) {
    }
}

void CurveSurface::paintContents(QPainter& painter)
{
    const QSize s = surfaceSize();
    auto line = m_lines.begin();
    auto curve = m_curves.begin();
    // Lines and curves in the order they were drawn, so later items lie on top.
    while (line != m_lines.end() || curve != m_curves.end()) {
        if (curve == m_curves.end() || (line != m_lines.end() && line->order < curve->order)) {
            paintLine(painter, *line, s.width(), s.height());
            ++line;
        } else {
            paintCurve(painter, *curve, s.width(), s.height());
            ++curve;
        }
    }
    paintTicks(painter, s.width(), s.height());
}

void CurveSurface::paintTicks(QPainter& painter, int w, int h) const
{
    if (m_ticks.empty())
        return;
    // Column of a take, the right edge belonging to the last column; it only
    // grows with the take, so the ticks of one column are found by bisection
    // and each column costs O(log ticks) however many ticks it holds.
    auto column = [&](int t) {
        return std::min(static_cast<int>(std::floor(m_scale.toPixelX(static_cast<double>(t), w))), w - 1);
    };
    const double right = m_scale.right();
    auto it = std::lower_bound(m_ticks.begin(), m_ticks.end(), m_scale.left(),
                               [](int t, double x) { return static_cast<double>(t) < x; });
    const int top = std::max(h - kTickHeight, 0);
    QList<QLine> ticks;
    while (it != m_ticks.end() && static_cast<double>(*it) <= right) {
        const int c = std::max(column(*it), 0);
        ticks.append(QLine(c, top, c, h - 1));
        if (c >= w - 1)
            break;
        it = std::partition_point(it, m_ticks.end(), [&](int t) { return column(t) <= c; });
    }
    painter.setPen(QPen(QColor(kTickColor), 0));
    painter.drawLines(ticks);
}

const CurveEnvelope& CurveSurface::envelopeFor(const std::shared_ptr<const ParamSeries>& series, int w)
{
    const double x0 = m_scale.left();
    const double x1 = m_scale.right();
    for (const CachedEnvelope& c : m_envelopes)
        if (sameOwner(c.series, series) && c.x0 == x0 && c.x1 == x1 && c.envelope.widthPx() == w)
            return c.envelope;
    // One envelope per series: the one for another range or width is stale.
    std::erase_if(m_envelopes, [&](const CachedEnvelope& c) { return sameOwner(c.series, series) || c.series.expired(); });
    if (m_envelopes.size() >= kCachedEnvelopes)
        m_envelopes.erase(m_envelopes.begin());
    m_envelopes.push_back(CachedEnvelope{series, x0, x1, CurveEnvelope::build(*series, x0, x1, w)});
    return m_envelopes.back().envelope;
}

void CurveSurface::paintLine(QPainter& painter, const Line& line, int w, int h) const
{
    painter.setPen(QPen(QColor(line.color), 0));
    const QPointF a(pullInsideEdge(m_scale.toPixelX(line.x1, w), w), pullInsideEdge(m_scale.toPixelY(line.y1, h), h));
    const QPointF b(pullInsideEdge(m_scale.toPixelX(line.x2, w), w), pullInsideEdge(m_scale.toPixelY(line.y2, h), h));
    painter.drawLine(a, b);
}

void CurveSurface::paintCurve(QPainter& painter, const Curve& curve, int w, int h)
{
    const CurveEnvelope& envelope = envelopeFor(curve.series, w);
    // One vertical run per column: value -> user y -> pixel row.
    const double top = m_scale.top();
    const double pxPerUnit = static_cast<double>(h) / m_scale.height();
    const double hd = static_cast<double>(h);
    QList<QLine> runs;
    runs.reserve(w);
    const std::vector<ColumnExtent>& cols = envelope.columns();
    for (int c = 0; c < w; ++c) {
        const ColumnExtent& e = cols[static_cast<std::size_t>(c)];
        if (e.empty())
            continue;
        const double yTop = (curve.maxValue - e.high - top) * pxPerUnit;
        const double yBottom = (curve.maxValue - e.low - top) * pxPerUnit;
        if (yBottom < 0.0 || yTop > hd)
            continue;
        const int r0 = pixelRow(std::max(yTop, 0.0), h);
        const int r1 = pixelRow(std::min(yBottom, hd), h);
        runs.append(QLine(c, r0, c, r1));
    }
    painter.setPen(QPen(QColor(curve.color), 0));
    painter.drawLines(runs);
}

bool CurveSurface::handlesKey(const QKeyEvent& key) const
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
        return mods == Qt::NoModifier;
    case Qt::Key_F3:
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    default:
        return false;
    }
}

bool CurveSurface::event(QEvent* event)
{
    try {
        if (event->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            const QString text = toolTipTextAt(help->pos());
            if (text.isEmpty()) {
                QToolTip::hideText();
                event->ignore();
            } else {
                // The tip lasts while the pointer stays on the columns of this
                // take; leaving them hides it, so the next one is asked for.
                const double take = std::round(toUser(help->pos()).x());
                const int x0 = static_cast<int>(std::floor(toWidget(QPointF(take - 0.5, 0.0)).x()));
                const int x1 = static_cast<int>(std::ceil(toWidget(QPointF(take + 0.5, 0.0)).x()));
                const QRect columns(x0, 0, std::max(x1 - x0, 1), height());
                QToolTip::showText(help->globalPos(), text, this, columns.intersected(contentsRect()));
            }
            return true;
        }
        // Keep the keys the surface steps with from window-wide shortcuts
        // while it has the focus.
        if (event->type() == QEvent::ShortcutOverride && handlesKey(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QFrame::event(event);
    } catch (...) {
        return true;
    }
}

void CurveSurface::mousePressEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    const bool pan = button == Qt::MiddleButton ||
                     (button == Qt::LeftButton && event->modifiers().testFlag(Qt::ControlModifier));
    if (pan && m_panButton == Qt::NoButton) {
        m_panButton = button;
        m_panStartX = event->position().x();
        m_panStartLeft = m_zoom.left();
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void CurveSurface::mouseMoveEvent(QMouseEvent* event)
{
    if (m_panButton == Qt::NoButton) {
        QFrame::mouseMoveEvent(event);
        return;
    }
    const double dxPx = event->position().x() - m_panStartX;
    m_zoom.setVisible(m_panStartLeft - dxPx * m_zoom.width() / surfaceSize().width(), m_zoom.width());
    applyZoom();
    event->accept();
}

void CurveSurface::mouseReleaseEvent(QMouseEvent* event)
{
    try {
        event->accept();
        const Qt::MouseButton button = event->button();
        if (m_panButton != Qt::NoButton && button == m_panButton) {
            m_panButton = Qt::NoButton;
            unsetCursor();
            return;
        }
        if (button == Qt::MiddleButton ||
            (button == Qt::LeftButton && event->modifiers().testFlag(Qt::ControlModifier)))
            return;
        const QPointF user = toUser(event->position());
        const int take = clickedTake(user.x());
        if (!std::isnan(user.x()))
            m_markerTake = std::clamp(take, -1, lastTake() + 1);
        emit mouseReleased(button, event->modifiers(), user.x(), user.y());
    } catch (...) {
        // A receiver's failure must not unwind through Qt's event loop.
    }
}

void CurveSurface::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        showWholeLog();
        event->accept();
        return;
    }
    // Other buttons: a second press, as QWidget has it.
    mousePressEvent(event);
}

void CurveSurface::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    const int eighths = delta.y() != 0 ? delta.y() : delta.x();
    if (eighths == 0 || m_curves.empty()) {
        event->ignore();
        return;
    }
    const double px = event->position().x() - contentsRect().left();
    const double fraction = std::clamp(px / surfaceSize().width(), 0.0, 1.0);
    const double anchor = m_scale.toUserX(fraction * surfaceSize().width(), surfaceSize().width());
    m_zoom.zoomAt(anchor, fraction, std::pow(kZoomPerNotch, eighths / 120.0));
    applyZoom();
    event->accept();
}

void CurveSurface::keyPressEvent(QKeyEvent* event)
{
    try {
        if (!handlesKey(*event)) {
            QFrame::keyPressEvent(event);
            return;
        }
        event->accept();
        switch (event->key()) {
        case Qt::Key_Left:
            stepMarker(-1);
            break;
        case Qt::Key_Right:
            stepMarker(+1);
            break;
        case Qt::Key_Home:
            showWholeLog();
            break;
        case Qt::Key_F3:
            stepTick(!event->modifiers().testFlag(Qt::ShiftModifier));
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

void CurveSurface::stepMarker(int delta)
{
    const int last = lastTake();
    const int take = m_markerTake ? std::clamp(*m_markerTake + delta, 0, last) : firstVisibleTake();
    requestTake(take);
}

void CurveSurface::stepTick(bool forward)
{
    // With no marker, the search starts at the visible edge it moves away from.
    if (forward) {
        const int from = m_markerTake ? *m_markerTake : firstVisibleTake() - 1;
        const auto it = std::upper_bound(m_ticks.begin(), m_ticks.end(), from);
        if (it != m_ticks.end() && *it <= lastTake())
            requestTake(*it);
    } else {
        const int from = m_markerTake ? *m_markerTake : lastVisibleTake() + 1;
        auto it = std::lower_bound(m_ticks.begin(), m_ticks.end(), from);
        while (it != m_ticks.begin()) {
            --it;
            if (*it <= lastTake()) {
                if (*it >= 0)
                    requestTake(*it);
                break;
            }
        }
    }
}

void CurveSurface::requestTake(int take)
{
    m_markerTake = take;
    const double x = static_cast<double>(take);
    if (x < m_scale.left() || x > m_scale.right()) {
        m_zoom.setVisible(x - m_zoom.width() / 2.0, m_zoom.width());
        applyZoom();
    }
    emit takeStepRequested(take);
}

}  // namespace dlv
