#include "window/curve_surface.h"

#include "render/curve_renderer.h"

#include <QHelpEvent>
#include <QKeyEvent>
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

// One wheel notch (120 eighths of a degree) narrows the view by this much.
constexpr double kZoomPerNotch = 1.25;

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
    m_curve.reset();
    m_lines.clear();
    update();
}

void CurveSurface::setDrawColor(GridColor color)
{
    m_color = color;
}

void CurveSurface::drawLine(double x1, double y1, double x2, double y2)
{
    m_lines.push_back(Line{QLineF(x1, y1, x2, y2), qtColor(m_color)});
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
    m_curve = std::move(series);
    m_curveMax = layout.maxValue;
    m_curveColor = qtColor(m_color);
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
    if (m_curve)
        return std::max(m_curve->takeCount() - 1, 0);
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
    if (!m_curve || !contentsRect().contains(widgetPos.toPoint()))
        return {};
    const int take = clickedTake(toUser(widgetPos).x());
    if (take < 0 || take > lastTake())
        return {};
    QString value;
    if (m_valueText) {
        value = m_valueText(take);
    } else {
        if (m_curve->isNumber(take))
            value = QString::number(m_curve->values[static_cast<std::size_t>(take)], 'g', 15);
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

QColor CurveSurface::qtColor(GridColor color) const
{
    return toQColor(color, palette().color(QPalette::Button));
}

void CurveSurface::paintEvent(QPaintEvent* event)
{
    try {
        QFrame::paintEvent(event);  // the sunken border
        QPainter painter(this);
        painter.setClipRect(contentsRect());
        painter.translate(contentsRect().topLeft());
        painter.setRenderHint(QPainter::Antialiasing, false);
        const QSize size = surfaceSize();
        if (m_curve)
            paintCurveEnvelope(painter, m_scale, size, envelopeFor(m_curve, size.width()), m_curveMax, m_curveColor);
        for (const Line& line : m_lines)
            paintUserLine(painter, m_scale, size, line.user, line.color);
        if (!m_ticks.empty())
            paintTakeTicks(painter, m_scale, size, m_ticks, QColor::fromRgb(kTickColor), kTickHeight);
    } catch (const std::exception&) {
        // Out of memory while building an envelope: leave the surface blank
        // rather than let the exception into Qt's event loop.
    } catch (...) {
    }
}

const CurveEnvelope& CurveSurface::envelopeFor(const std::shared_ptr<const ParamSeries>& series, int w)
{
    const double x0 = m_scale.left();
    const double x1 = m_scale.right();
    CachedEnvelope& c = m_envelope;
    if (!sameOwner(c.series, series) || c.series.expired() || c.x0 != x0 || c.x1 != x1 || c.envelope.widthPx() != w)
        c = CachedEnvelope{series, x0, x1, CurveEnvelope::build(*series, x0, x1, w)};
    return c.envelope;
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
    if (eighths == 0 || !m_curve) {
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
