#include "views/curve_view.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace dlv {

namespace {

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

bool CurveView::setFullScale(const CurveScale& scale)
{
    if (scale.left() != m_zoom.fullLeft() || scale.width() != m_zoom.fullWidth())
        m_zoom = CurveZoom(scale.left(), scale.width());
    m_fullScale = scale;
    return applyZoom();
}

bool CurveView::applyZoom()
{
    const CurveScale visible = m_zoom.isWhole()
                                   ? m_fullScale
                                   : CurveScale(m_zoom.left(), m_fullScale.top(), m_zoom.width(), m_fullScale.height());
    if (visible == m_scale)
        return false;
    m_scale = visible;
    return true;
}

bool CurveView::setVisibleRange(double left, double width)
{
    m_zoom.setVisible(left, width);
    return applyZoom();
}

bool CurveView::showWhole()
{
    m_zoom.reset();
    return applyZoom();
}

bool CurveView::zoomAt(double px, double widthPx, double factor)
{
    const double fraction = std::clamp(px / widthPx, 0.0, 1.0);
    m_zoom.zoomAt(m_scale.toUserX(fraction * widthPx, widthPx), fraction, factor);
    return applyZoom();
}

void CurveView::startPan(double px) noexcept
{
    m_panStartPx = px;
    m_panStartLeft = m_zoom.left();
}

bool CurveView::panTo(double px, double widthPx)
{
    m_zoom.setVisible(m_panStartLeft - (px - m_panStartPx) * m_zoom.width() / widthPx, m_zoom.width());
    return applyZoom();
}

void CurveView::setSeries(std::shared_ptr<const ParamSeries> series, double maxValue)
{
    if (!series)
        return;
    if (!sameOwner(m_viewSeries, series)) {
        m_viewSeries = series;
        m_ticks.clear();
        m_marker.reset();
        m_zoom.reset();
        applyZoom();
    }
    m_series = std::move(series);
    m_seriesMax = maxValue;
}

const CurveEnvelope& CurveView::envelope(int widthPx)
{
    const double x0 = m_scale.left();
    const double x1 = m_scale.right();
    CachedEnvelope& c = m_envelope;
    if (!sameOwner(c.series, m_series) || c.series.expired() || c.x0 != x0 || c.x1 != x1 ||
        c.envelope.widthPx() != widthPx)
        c = CachedEnvelope{m_series, x0, x1, CurveEnvelope::build(*m_series, x0, x1, widthPx)};
    return c.envelope;
}

void CurveView::offerEnvelope(const std::shared_ptr<const ParamSeries>& series, CurveEnvelope envelope)
{
    if (!series)
        return;
    const double x0 = envelope.x0();
    const double x1 = envelope.x1();
    m_envelope = CachedEnvelope{series, x0, x1, std::move(envelope)};
}

void CurveView::setTicks(std::vector<int> takes)
{
    std::sort(takes.begin(), takes.end());
    takes.erase(std::unique(takes.begin(), takes.end()), takes.end());
    m_ticks = std::move(takes);
}

void CurveView::markClick(double x)
{
    if (!std::isnan(x))
        m_marker = std::clamp(clickedTake(x), -1, lastTake() + 1);
}

int CurveView::lastTake() const
{
    if (m_series)
        return std::max(m_series->takeCount() - 1, 0);
    return std::max(clampToInt(std::floor(m_fullScale.right())), 0);
}

std::optional<int> CurveView::takeAt(double x) const
{
    const int take = clickedTake(x);
    if (!m_series || take < 0 || take > lastTake())
        return std::nullopt;
    return take;
}

int CurveView::firstVisibleTake() const
{
    return std::clamp(clampToInt(std::ceil(m_scale.left())), 0, lastTake());
}

int CurveView::lastVisibleTake() const
{
    return std::clamp(clampToInt(std::floor(m_scale.right())), 0, lastTake());
}

std::optional<int> CurveView::stepMarker(int delta)
{
    return goTo(m_marker ? std::clamp(*m_marker + delta, 0, lastTake()) : firstVisibleTake());
}

std::optional<int> CurveView::stepTick(bool forward)
{
    if (forward) {
        const int from = m_marker ? *m_marker : firstVisibleTake() - 1;
        const auto it = std::upper_bound(m_ticks.begin(), m_ticks.end(), from);
        if (it != m_ticks.end() && *it <= lastTake())
            return goTo(*it);
        return std::nullopt;
    }
    // Back to the nearest tick that is a take of this series.
    const int from = m_marker ? *m_marker : lastVisibleTake() + 1;
    auto it = std::lower_bound(m_ticks.begin(), m_ticks.end(), from);
    while (it != m_ticks.begin()) {
        --it;
        if (*it <= lastTake())
            return *it >= 0 ? std::optional<int>(goTo(*it)) : std::nullopt;
    }
    return std::nullopt;
}

int CurveView::goTo(int take)
{
    m_marker = take;
    const double x = static_cast<double>(take);
    if (x < m_scale.left() || x > m_scale.right())
        setVisibleRange(x - m_zoom.width() / 2.0, m_zoom.width());
    return take;
}

}  // namespace dlv
