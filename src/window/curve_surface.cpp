#include "window/curve_surface.h"

#include <QMenu>

#include <QCursor>

#include <QContextMenuEvent>

#include "render/curve_renderer.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>

namespace dlv {

namespace {

// One wheel notch (120 eighths of a degree) narrows the view by this much.
constexpr double kZoomPerNotch = 1.25;

// A middle-button or Ctrl + left drag pans instead of clicking.
[[nodiscard]] bool pans(Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    return button == Qt::MiddleButton || (button == Qt::LeftButton && modifiers.testFlag(Qt::ControlModifier));
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
    viewMoved(m_view.setFullScale(scale));
}

void CurveSurface::viewMoved(bool changed)
{
    if (changed)
        update();
}

void CurveSurface::setVisibleRange(double left, double width)
{
    viewMoved(m_view.setVisibleRange(left, width));
}

void CurveSurface::showWholeLog()
{
    viewMoved(m_view.showWhole());
}

void CurveSurface::clear()
{
    m_renderer.clear();
    update();
}

void CurveSurface::setDrawColor(GridColor color)
{
    m_color = color;
}

void CurveSurface::drawLine(double x1, double y1, double x2, double y2)
{
    m_renderer.addLine({QLineF(x1, y1, x2, y2), qtColor(m_color)});
    update();
}

void CurveSurface::setCurve(std::shared_ptr<const ParamSeries> series, const CurveLayout& layout)
{
    if (!series)
        return;
    m_view.setSeries(std::move(series), layout.maxValue);
    m_renderer.setCurveColor(qtColor(m_color));
    update();
}

void CurveSurface::setTickTakes(std::vector<int> takes)
{
    m_view.setTicks(std::move(takes));
    update();
}

void CurveSurface::setValueTextProvider(std::function<QString(int take)> provider)
{
    m_valueText = std::move(provider);
}

QString CurveSurface::toolTipTextAt(QPointF widgetPos) const
{
    if (!contentsRect().contains(widgetPos.toPoint()))
        return {};
    const std::optional<int> take = m_view.takeAt(toUser(widgetPos).x());
    if (!take)
        return {};
    QString value;
    if (m_valueText)
        value = m_valueText(*take);
    else if (m_view.series()->isNumber(*take))
        value = QString::number(m_view.series()->values()[static_cast<std::size_t>(*take)], 'g', 15);
    if (value.isEmpty())
        value = QStringLiteral("(empty)");
    return QStringLiteral("Take %1: %2").arg(*take).arg(value);
}

QSize CurveSurface::surfaceSize() const
{
    const QSize s = contentsRect().size();
    return {std::max(s.width(), 1), std::max(s.height(), 1)};
}

QPointF CurveSurface::toWidget(QPointF user) const
{
    const QSize s = m_renderer.plotRect(surfaceSize()).size();
    const QPoint origin = contentsRect().topLeft();
    return {origin.x() + userScale().toPixelX(user.x(), s.width()),
            origin.y() + userScale().toPixelY(user.y(), s.height())};
}

QPointF CurveSurface::toUser(QPointF widgetPos) const
{
    const QSize s = m_renderer.plotRect(surfaceSize()).size();
    const QPoint origin = contentsRect().topLeft();
    return {userScale().toUserX(widgetPos.x() - origin.x(), s.width()),
            userScale().toUserY(widgetPos.y() - origin.y(), s.height())};
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
        m_renderer.setFont(font());
        m_renderer.paint(painter, surfaceSize());
    } catch (const std::exception&) {
        // Out of memory while building an envelope: leave the surface blank
        // rather than let the exception into Qt's event loop.
    } catch (...) {
    }
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
    case Qt::Key_M:
        return mods == Qt::NoModifier && m_view.series();
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
    if (pans(button, event->modifiers()) && m_panButton == Qt::NoButton) {
        m_panButton = button;
        m_view.startPan(event->position().x());
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
    viewMoved(m_view.panTo(event->position().x(), surfaceSize().width()));
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
        if (pans(button, event->modifiers()))
            return;
        const QPointF user = toUser(event->position());
        m_view.markClick(user.x());
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
    if (eighths == 0 || !m_view.series()) {
        event->ignore();
        return;
    }
    const double px = event->position().x() - contentsRect().left();
    viewMoved(m_view.zoomAt(px, surfaceSize().width(), std::pow(kZoomPerNotch, eighths / 120.0)));
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
            stepTo(m_view.stepMarker(-1));
            break;
        case Qt::Key_Right:
            stepTo(m_view.stepMarker(+1));
            break;
        case Qt::Key_Home:
            showWholeLog();
            break;
        case Qt::Key_F3:
            stepTo(m_view.stepTick(!event->modifiers().testFlag(Qt::ShiftModifier)));
            break;
        case Qt::Key_M: {
            std::optional<int> take = markerTake();
            if (!take) {
                const QPointF user = toUser(mapFromGlobal(QCursor::pos()));
                if (rect().contains(mapFromGlobal(QCursor::pos())))
                    take = static_cast<int>(std::lround(user.x()));
            }
            if (take && *take >= 0 && *take <= lastTake())
                emit markerRequested(*take);
            break;
        }
        default:
            break;
        }
    } catch (...) {
    }
}

void CurveSurface::stepTo(std::optional<int> take)
{
    if (!take)
        return;
    update();  // the step may have scrolled the view
    emit takeStepRequested(*take);
}

void CurveSurface::setMarkers(std::vector<MarkerLine> markers)
{
    m_renderer.setMarkers(std::move(markers));
    update();
}

bool askAddMarker(QWidget* parent, const QPoint& globalPos, int take)
{
    QMenu menu(parent);
    QAction* add = menu.addAction(QStringLiteral("Add Marker at Take %1\u2026").arg(take));
    add->setObjectName(QStringLiteral("actAddMarker"));
    return menu.exec(globalPos) == add;
}

void CurveSurface::contextMenuEvent(QContextMenuEvent* event)
{
    try {
        if (!m_view.series())
            return;
        const int take = static_cast<int>(std::lround(toUser(event->pos()).x()));
        if (take < 0 || take > lastTake())
            return;
        if (askAddMarker(this, event->globalPos(), take))
            emit markerRequested(take);
    } catch (...) {
    }
}

}  // namespace dlv
