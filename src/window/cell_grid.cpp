#include "window/cell_grid.h"

#include "datalog/display_text.h"
#include "render/shown_text.h"
#include "datalog/number.h"
#include "window/cell_grid_model.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <climits>
#include <stdexcept>
#include <string>

namespace dlv {

namespace {

constexpr int kDefaultColumnWidth = 64;
// Up to this many cells, AutoSizeColumns measures the real texts.
constexpr long long kMeasuredCells = 2000;
// Column 0 (the names) is measured up to this many rows.
constexpr int kMeasuredNames = 20000;

// Header cells are drawn flat in their back colour (the button face unless
// one is set), with a dark line right and below, like the fixed cells of a
// classic grid; the style's header look would ignore a set colour.
void paintHeaderCell(QPainter& painter, const QRect& rect, const QPalette& palette, const QFont& font,
                     const QString& text, const QVariant& back, const QVariant& fore, const QVariant& cellFont,
                     int margin)
{
    painter.save();
    painter.setClipRect(rect);
    painter.fillRect(rect, back.isValid() ? back.value<QColor>() : palette.color(QPalette::Button));
    painter.setPen(palette.color(QPalette::Dark));
    painter.drawLine(rect.topRight(), rect.bottomRight());
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    if (!text.isEmpty()) {
        painter.setFont(cellFont.isValid() ? cellFont.value<QFont>() : font);
        painter.setPen(fore.isValid() ? fore.value<QColor>() : palette.color(QPalette::ButtonText));
        painter.drawText(rect.adjusted(margin, 0, -margin - 1, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         text);
    }
    painter.restore();
}

int textMarginOf(const QWidget* widget)
{
    // The margin QStyledItemDelegate leaves on each side of a cell text.
    return widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

// The grid's headers: row 0 across the top, column 0 down the left. The
// extent (height across, width down) is set by the grid instead of being
// computed from sampled sections.
class GridHeader final : public QHeaderView {
public:
    GridHeader(Qt::Orientation orientation, QWidget* parent) : QHeaderView(orientation, parent) {}

    void setExtent(int px)
    {
        m_extent = std::max(px, 0);
        updateGeometry();
    }
    [[nodiscard]] int extent() const noexcept { return m_extent; }

    [[nodiscard]] QSize sizeHint() const override
    {
        // Only the extent is used by the table; length() here would lay the
        // header out again from inside the table's own layout.
        const int along = defaultSectionSize();
        return orientation() == Qt::Horizontal ? QSize(along, m_extent) : QSize(m_extent, along);
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        if (!rect.isValid() || !model())
            return;
        const Qt::Orientation o = orientation();
        const QAbstractItemModel* m = model();
        paintHeaderCell(*painter, rect, palette(), font(), m->headerData(logicalIndex, o, Qt::DisplayRole).toString(),
                        m->headerData(logicalIndex, o, Qt::BackgroundRole),
                        m->headerData(logicalIndex, o, Qt::ForegroundRole), m->headerData(logicalIndex, o, Qt::FontRole),
                        textMarginOf(this));
    }

private:
    int m_extent = kDefaultColumnWidth;
};

// Cell (0, 0), laid over the table's corner button.
class GridCorner final : public QWidget {
public:
    GridCorner(const CellGridModel* model, QWidget* parent) : QWidget(parent), m_model(model) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_model->gridRows() == 0 || m_model->gridCols() == 0)
            return;
        QPainter painter(this);
        paintHeaderCell(painter, rect(), palette(), font(), shownQString(m_model->cellBytes(0, 0)),
                        m_model->cellData(0, 0, Qt::BackgroundRole), m_model->cellData(0, 0, Qt::ForegroundRole),
                        m_model->cellData(0, 0, Qt::FontRole), textMarginOf(this));
    }

private:
    const CellGridModel* m_model;
};

// A cell in copied text: as it is shown, separators inside it as spaces so
// that the rows and columns of the copy stay intact.
void appendCopiedCell(std::string& out, std::string_view bytes)
{
    appendShownText(out, bytes, {.separatorsAsSpaces = true});
}

GridHeader* gridHeader(QHeaderView* header)
{
    return static_cast<GridHeader*>(header);
}

// The widest advance of a character of numbers, rounded up: a width made of
// rounded-down advances would cut the last character of a long value.
int numericAdvance(const QFontMetricsF& metrics)
{
    qreal advance = 0;
    for (const char ch : std::string_view("0123456789.-"))
        advance = std::max(advance, metrics.horizontalAdvance(QLatin1Char(ch)));
    return static_cast<int>(std::ceil(advance));
}

[[noreturn]] void throwOutside(const char* what, int value, int count)
{
    throw std::out_of_range("CellGrid: " + std::string(what) + " " + std::to_string(value) + " is outside the grid (" +
                            std::to_string(count) + " " + what + "s)");
}

}  // namespace

CellGrid::CellGrid(QWidget* parent) : QTableView(parent), m_model(std::make_unique<CellGridModel>())
{
    setHorizontalHeader(new GridHeader(Qt::Horizontal, this));
    setVerticalHeader(new GridHeader(Qt::Vertical, this));
    setModel(m_model.get());

    setSelectionBehavior(SelectItems);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(ScrollPerItem);
    setVerticalScrollMode(ScrollPerItem);

    QHeaderView* across = horizontalHeader();
    across->setSectionsClickable(false);
    across->setHighlightSections(false);
    across->setSectionResizeMode(QHeaderView::Interactive);
    across->setMinimumSectionSize(1);
    across->setDefaultSectionSize(kDefaultColumnWidth);

    QHeaderView* down = verticalHeader();
    down->setSectionsClickable(true);
    down->setHighlightSections(false);
    down->setSectionResizeMode(QHeaderView::Fixed);
    down->setMinimumSectionSize(1);

    // Rows or columns going away may take the selection with them, silently.
    const auto forgetReportedRow = [this] { m_reportedRow = 0; };
    connect(m_model.get(), &QAbstractItemModel::modelReset, this, forgetReportedRow);
    connect(m_model.get(), &QAbstractItemModel::rowsRemoved, this, forgetReportedRow);
    connect(m_model.get(), &QAbstractItemModel::columnsRemoved, this, forgetReportedRow);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (m_placingCurrent || !current.isValid())
            return;
        m_heldCurrent.reset();  // the user or the program chose another cell
        // Listeners run inside mouse and key handlers: nothing may escape into Qt.
        try {
            emit currentCellChanged(current.row() + 1, m_model->gridColumn(current.column()));
        } catch (...) {
            qWarning("CellGrid: a currentCellChanged listener failed");
        }
    });

    m_corner = new GridCorner(m_model.get(), this);
    connect(m_model.get(), &CellGridModel::cornerChanged, m_corner, qOverload<>(&QWidget::update));
    // Queued: the page moves after the scroll that asked for it has ended,
    // never from inside the view's own key, wheel or selection handling.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { followPage(); }, Qt::QueuedConnection);
    connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, [this] { followPage(); }, Qt::QueuedConnection);

    // The whole-grid bar sits in the view's bar's place, which stays (hidden)
    // to scroll the page; see syncAcross.
    m_across = new QScrollBar(Qt::Horizontal);
    m_across->setObjectName(QStringLiteral("gridAcross"));
    m_across->hide();
    addScrollBarWidget(m_across, Qt::AlignLeft);
    connect(m_across, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_syncingAcross)
            scrollAcrossTo(value);
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { syncAcross(); });
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] { syncAcross(); });

    applyFont();
    m_model->setButtonFace(palette().color(QPalette::Button));
    updateHeaders();
}

CellGrid::~CellGrid()
{
    // The views let go of the model before it goes.
    setModel(nullptr);
}

CellGridModel* CellGrid::gridModel() const
{
    return m_model.get();
}

void CellGrid::checkRow(int row) const
{
    if (row < 0 || row >= RowCount())
        throwOutside("row", row, RowCount());
}

void CellGrid::checkCol(int col) const
{
    if (col < 0 || col >= ColCount())
        throwOutside("column", col, ColCount());
}

void CellGrid::checkRange(const CellRange& range) const
{
    checkRow(range.row1);
    checkRow(range.row2);
    checkCol(range.col1);
    checkCol(range.col2);
}

CellRange CellGrid::checkedRange(const CellRange& range) const
{
    checkRange(range);
    return {std::min(range.row1, range.row2), std::min(range.col1, range.col2), std::max(range.row1, range.row2),
            std::max(range.col1, range.col2)};
}

int CellGrid::RowCount() const
{
    return m_model->gridRows();
}

void CellGrid::setRowCount(int n)
{
    if (n < 0)
        throw std::out_of_range("CellGrid: RowCount cannot be " + std::to_string(n));
    const QScopedValueRollback quiet(m_quiet, true);
    m_model->setGridRows(n);
    if (m_heldCurrent && m_heldCurrent->first >= n)
        m_heldCurrent.reset();
    updateHeaders();
}

int CellGrid::ColCount() const
{
    return m_model->gridCols();
}

void CellGrid::setColCount(int n)
{
    if (n < 0)
        throw std::out_of_range("CellGrid: ColCount cannot be " + std::to_string(n));
    const QScopedValueRollback quiet(m_quiet, true);
    m_model->setGridCols(n);
    m_autoSized.second = std::min(m_autoSized.second, n - 1);
    if (m_outlined && *m_outlined >= n)
        setOutlinedColumn(std::nullopt);
    if (m_heldCurrent && m_heldCurrent->second >= n)
        m_heldCurrent.reset();
    updateHeaders();
}

void CellGrid::setPageColumns(int n)
{
    const QScopedValueRollback quiet(m_quiet, true);
    m_model->setPageColumns(n);
    if (m_autoSized.first <= m_autoSized.second)
        sizePageColumns(m_autoSized.first, m_autoSized.second);
    updateGeometries();
}

int CellGrid::pageColumns() const
{
    return m_model->pageColumns();
}

int CellGrid::pageFirstColumn() const
{
    return m_model->gridColumn(0);
}

void CellGrid::showPageAround(int col)
{
    const int shown = m_model->columnCount();
    if (col >= m_model->gridColumn(0) && col < m_model->gridColumn(shown))
        return;
    movePage(col - 1 - m_model->pageColumns() / 2);
}

void CellGrid::movePage(int first, bool intoPage)
{
    // What the model's reset forgets: the selected rows, the current cell and
    // the column at the left edge, all kept as grid numbers.
    const QModelIndex current = currentIndex();
    int currentRow = current.isValid() ? current.row() : -1;
    int currentCol = current.isValid() ? m_model->gridColumn(current.column()) : 0;
    if (m_heldCurrent) {
        currentRow = m_heldCurrent->first - 1;
        currentCol = m_heldCurrent->second;
    }
    const int leftModel = columnAt(0);
    const int leftCol = leftModel >= 0 ? m_model->gridColumn(leftModel) : 0;
    std::vector<std::pair<int, int>> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        rows.emplace_back(range.top(), range.bottom());

    const QScopedValueRollback quiet(m_quiet, true);
    if (!m_model->showPage(first))
        return;
    if (m_autoSized.first <= m_autoSized.second)
        sizePageColumns(m_autoSized.first, m_autoSized.second);
    const int shown = m_model->columnCount();
    if (shown > 0) {
        QItemSelection selection;
        for (const auto& [top, bottom] : rows)
            selection.select(m_model->index(top, 0), m_model->index(bottom, shown - 1));
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        if (currentRow >= 0) {
            const int inPage = currentCol - m_model->gridColumn(0);
            const QScopedValueRollback placing(m_placingCurrent, true);
            if ((inPage >= 0 && inPage < shown) || intoPage) {
                m_heldCurrent.reset();
                selectionModel()->setCurrentIndex(m_model->index(currentRow, std::clamp(inPage, 0, shown - 1)),
                                                  QItemSelectionModel::NoUpdate);
            } else {
                m_heldCurrent = std::pair{currentRow + 1, currentCol};
                selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
            }
        }
    }
    executeDelayedItemsLayout();
    updateGeometries();
    if (leftCol > 0)
        horizontalScrollBar()->setValue(std::clamp(leftCol - m_model->gridColumn(0), 0, std::max(shown - 1, 0)));
    syncAcross();
}

bool CellGrid::isPaged() const noexcept
{
    return m_model->columnCount() < ColCount() - 1;
}

void CellGrid::syncAcross()
{
    if (!m_across)
        return;  // still being built
    QScrollBar* page = horizontalScrollBar();
    const bool paged = isPaged();
    if (paged == m_across->isHidden()) {
        // The scroll bar place is kept open while the whole-grid bar shows in it.
        setHorizontalScrollBarPolicy(paged ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        page->setVisible(!paged);
        m_across->setVisible(paged);
    }
    if (!paged)
        return;
    // Value: the data column at the left edge, less one. The last page tells
    // exactly how far the view reaches; before it is shown, the columns that
    // fit at the end are taken to be as many as fit now.
    const int first = m_model->pageFirst();
    const bool lastPage = m_model->gridColumn(m_model->columnCount()) >= ColCount();
    const int maximum = lastPage ? first + page->maximum() : ColCount() - 1 - std::max(page->pageStep(), 1);
    const QScopedValueRollback syncing(m_syncingAcross, true);
    m_across->setRange(0, std::max(maximum, 0));
    m_across->setPageStep(std::max(page->pageStep(), 1));
    m_across->setSingleStep(1);
    if (!m_across->isSliderDown())
        m_across->setValue(lastPage && page->value() >= page->maximum() ? m_across->maximum() : first + page->value());
}

void CellGrid::scrollAcrossTo(int value)
{
    // Runs from the bar's own mouse and key handling: nothing may escape into Qt.
    try {
        executeDelayedItemsLayout();
        updateGeometries();
        QScrollBar* page = horizontalScrollBar();
        if (value >= m_across->maximum()) {
            showPageAround(ColCount() - 1);
            page->setValue(page->maximum());
            return;
        }
        const int col = std::clamp(value + 1, 1, ColCount() - 1);
        showPageAround(col);
        page->setValue(std::clamp(sectionOf(col), page->minimum(), page->maximum()));
    } catch (const std::exception& e) {
        qWarning("CellGrid: scrolling across failed: %s", e.what());
    } catch (...) {
        qWarning("CellGrid: scrolling across failed");
    }
}

void CellGrid::followPage()
{
    // Runs from the event loop: nothing may escape into Qt.
    try {
        const int shown = m_model->columnCount();
        if (shown >= ColCount() - 1 || horizontalScrollBar()->isSliderDown())
            return;  // the whole grid fits one page, or the user still drags
        const int left = columnAt(0);
        if (left < 0)
            return;
        int right = columnAt(viewport()->width() - 1);
        if (right < 0)
            right = shown - 1;
        const int margin = std::max(m_model->pageColumns() / 8, 1);
        const bool atStart = left < margin && m_model->pageFirst() > 0;
        const bool atEnd = right >= shown - margin && m_model->gridColumn(shown) < ColCount();
        if (atStart || atEnd)
            movePage(m_model->gridColumn(left) - 1 - m_model->pageColumns() / 2);
    } catch (const std::exception& e) {
        qWarning("CellGrid: moving the page failed: %s", e.what());
    } catch (...) {
        qWarning("CellGrid: moving the page failed");
    }
}

void CellGrid::AppendRow(std::string_view text)
{
    const QScopedValueRollback quiet(m_quiet, true);
    const bool first = RowCount() == 0;
    m_model->appendRow(text);
    if (first)
        updateHeaders();
}

void CellGrid::appendSourceRows(std::shared_ptr<const CellRowSource> source)
{
    if (!source)
        throw std::invalid_argument("CellGrid: appendSourceRows needs a source");
    const QScopedValueRollback quiet(m_quiet, true);
    const bool first = RowCount() == 0;
    m_model->appendSourceRows(source);
    if (first)
        updateHeaders();
}

void CellGrid::AutoSizeColumns(int col1, int col2)
{
    checkCol(col1);
    checkCol(col2);
    if (col1 > col2)
        std::swap(col1, col2);
    // Data columns outside the page shown get their widths when a page
    // brings them into view (showPageAround).
    m_autoSized = {std::max(col1, 1), col2};

    QFont boldFont = font();
    boldFont.setBold(true);
    const QFontMetricsF normal(font());
    const QFontMetricsF bold(boldFont);
    const int padding = 2 * textMarginOf(this) + 1;  // both margins and the grid line
    const long long rows = RowCount();

    if (col1 == 0) {
        const std::vector<int> names = rows <= kMeasuredNames
                                           ? m_model->measuredTextWidths(0, 0, normal, bold)
                                           : m_model->estimatedTextWidths(
                                                 0, 0, static_cast<int>(std::ceil(normal.averageCharWidth())),
                                                 static_cast<int>(std::ceil(bold.averageCharWidth())));
        gridHeader(verticalHeader())->setExtent(names.front() + padding);
    }

    sizePageColumns(std::max(col1, 1), col2);
    updateGeometries();
    viewport()->update();
}

void CellGrid::sizePageColumns(int col1, int col2)
{
    const int first = std::max(col1, m_model->gridColumn(0));
    col2 = std::min(col2, m_model->gridColumn(m_model->columnCount() - 1));
    if (first <= col2) {
        QFont boldFont = font();
        boldFont.setBold(true);
        const QFontMetricsF normal(font());
        const QFontMetricsF bold(boldFont);
        const int padding = 2 * textMarginOf(this) + 1;  // both margins and the grid line
        const long long cells = static_cast<long long>(RowCount()) * (col2 - first + 1);
        const std::vector<int> widths = cells < kMeasuredCells
                                            ? m_model->measuredTextWidths(first, col2, normal, bold)
                                            : m_model->estimatedTextWidths(first, col2, numericAdvance(normal),
                                                                           numericAdvance(bold));
        // resizeSection() recomputes every section position when the header
        // repaints at once, and the table queues each column it hears about:
        // a batch of N columns would cost O(N^2). Without updates and signals
        // each call only stores the size; the layout is redone once below.
        QHeaderView* across = horizontalHeader();
        const bool updates = across->updatesEnabled();
        across->setUpdatesEnabled(false);
        {
            const QSignalBlocker blocker(across);
            for (int c = first; c <= col2; ++c)
                across->resizeSection(c - 1 - m_model->pageFirst(), widths[static_cast<std::size_t>(c - first)] + padding);
        }
        across->setUpdatesEnabled(updates);
        across->viewport()->update();
    }
}

QString CellGrid::CellText(const CellRange& range) const
{
    checkRange(range);
    return m_model->cellText(range.row1, range.col1);
}

QString CellGrid::shownCellText(int row, int col) const
{
    checkRange(CellRange::cell(row, col));
    return shownQString(m_model->cellBytes(row, col));
}

void CellGrid::setCellText(const CellRange& range, const QString& text)
{
    const CellRange r = checkedRange(range);
    const QByteArray utf8 = text.toUtf8();
    m_model->setCellText(r.row1, r.col1, r.row2, r.col2,
                         std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void CellGrid::setCellText(const CellRange& range, double number)
{
    const CellRange r = checkedRange(range);
    const std::string text = formatPlain(number, ".");
    m_model->setCellText(r.row1, r.col1, r.row2, r.col2, text);
}

GridColor CellGrid::CellBackColor(const CellRange& range) const
{
    checkRange(range);
    return m_model->backColor(range.row1, range.col1);
}

void CellGrid::setCellBackColor(const CellRange& range, GridColor color)
{
    const CellRange r = checkedRange(range);
    m_model->setBackColor(r.row1, r.col1, r.row2, r.col2, color);
}

void CellGrid::setCellTextColor(const CellRange& range, GridColor color)
{
    const CellRange r = checkedRange(range);
    m_model->setTextColor(r.row1, r.col1, r.row2, r.col2, color);
}

void CellGrid::setCellBold(const CellRange& range, bool bold)
{
    const CellRange r = checkedRange(range);
    m_model->setBold(r.row1, r.col1, r.row2, r.col2, bold);
}

int CellGrid::SelectedRow(int index) const
{
    if (index < 0)
        throw std::out_of_range("CellGrid: selection index " + std::to_string(index) + " is negative");
    const QItemSelection selection = selectionModel()->selection();
    if (index == 0) {
        int top = -1;
        for (const QItemSelectionRange& range : selection)
            if (top < 0 || range.top() < top)
                top = range.top();
        return top < 0 ? 0 : top + 1;
    }
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selection)
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return static_cast<std::size_t>(index) < rows.size() ? rows[static_cast<std::size_t>(index)] + 1 : 0;
}

int CellGrid::sectionOf(int col) const noexcept
{
    return col - 1 - m_model->pageFirst();
}

int CellGrid::columnOf(int section) const noexcept
{
    return m_model->gridColumn(section);
}

void CellGrid::ScrollToCell(int row, int col)
{
    checkRow(row);
    checkCol(col);
    m_pendingPlace.reset();
    // Scroll ranges must match the current contents before values are set.
    executeDelayedItemsLayout();
    updateGeometries();
    if (col == 0) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
    } else {
        showPageAround(col);
        ensureSectionVisible(horizontalHeader(), horizontalScrollBar(), sectionOf(col), viewport()->width());
    }
    if (row == 0)
        verticalScrollBar()->setValue(verticalScrollBar()->minimum());
    else
        ensureSectionVisible(verticalHeader(), verticalScrollBar(), row - 1, viewport()->height());
}

CellGrid::ScrollPlace CellGrid::scrollPlace() const
{
    if (m_pendingPlace)
        return *m_pendingPlace;
    const QScrollBar* across = horizontalScrollBar();
    return {verticalScrollBar()->value() + 1, columnOf(across->value()), across->value() >= across->maximum()};
}

void CellGrid::setScrollPlace(const ScrollPlace& place)
{
    if (!isVisible()) {
        m_pendingPlace = place;
        return;
    }
    m_pendingPlace.reset();
    executeDelayedItemsLayout();
    updateGeometries();
    const int pageColumn = place.atEnd ? ColCount() - 1 : place.col;
    if (pageColumn >= 1 && pageColumn < ColCount())
        showPageAround(pageColumn);
    QScrollBar* across = horizontalScrollBar();
    QScrollBar* down = verticalScrollBar();
    down->setValue(std::clamp(place.row - 1, down->minimum(), down->maximum()));
    across->setValue(place.atEnd ? across->maximum()
                                 : std::clamp(sectionOf(place.col), across->minimum(), across->maximum()));
}

void CellGrid::centerColumn(int col)
{
    checkCol(col);
    m_pendingPlace.reset();
    executeDelayedItemsLayout();
    updateGeometries();
    if (col == 0) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
        return;
    }
    showPageAround(col);
    // Scrolling is per item: the first section shown is the one that leaves
    // about half the view, less half the column, to the column's left.
    const QHeaderView* across = horizontalHeader();
    const int section = sectionOf(col);
    const int room = (viewport()->width() - across->sectionSize(section)) / 2;
    int first = section;
    int used = 0;
    while (first > 0 && used + across->sectionSize(first - 1) <= room) {
        used += across->sectionSize(first - 1);
        --first;
    }
    QScrollBar* bar = horizontalScrollBar();
    bar->setValue(std::clamp(first, bar->minimum(), bar->maximum()));
}

void CellGrid::setOutlinedColumn(std::optional<int> col)
{
    if (col)
        checkCol(*col);
    if (col && *col == 0)
        throw std::out_of_range("CellGrid: column 0 holds the names and cannot be outlined");
    if (m_outlined == col)
        return;
    m_outlined = col;
    viewport()->update();
}

void CellGrid::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (!m_outlined || m_model->rowCount() == 0)
        return;
    const int section = sectionOf(*m_outlined);
    const int x = columnViewportPosition(section);
    const int width = columnWidth(section);
    if (x + width < 0 || x > viewport()->width())
        return;
    // Down the column as far as it has rows; a 2-pixel frame inside its edges.
    const int lastRow = m_model->rowCount() - 1;
    const int bottom = std::min(viewport()->height(), rowViewportPosition(lastRow) + rowHeight(lastRow));
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(x + 1, 1, std::max(width - 2, 1), std::max(bottom - 2, 1)));
}

void CellGrid::ensureSectionVisible(const QHeaderView* header, QScrollBar* bar, int section, int extent)
{
    // Scrolling is per item: the bar's value is the first section shown.
    if (section < bar->value()) {
        bar->setValue(section);
        return;
    }
    // The smallest first section that still shows `section` whole; only the
    // sections that fit in the viewport are looked at.
    int used = header->sectionSize(section);
    int top = section;
    while (top > 0 && used + header->sectionSize(top - 1) <= extent) {
        used += header->sectionSize(top - 1);
        --top;
    }
    if (bar->value() < top)
        bar->setValue(top);
}

void CellGrid::selectGridRow(int row)
{
    checkRow(row);
    if (row == 0)
        throw std::out_of_range("CellGrid: row 0 is the header row and cannot be selected");
    if (m_model->columnCount() == 0)
        return;  // a grid of names only has no cell to select
    {
        const QScopedValueRollback quiet(m_quiet, true);
        // Without a current cell, the first column in view: the one a grid
        // out of sight will show when it is back.
        int col = currentIndex().isValid() ? currentIndex().column()
                  : m_pendingPlace ? sectionOf(m_pendingPlace->atEnd ? ColCount() - 1 : m_pendingPlace->col)
                                   : columnAt(0);
        col = std::clamp(col, 0, m_model->columnCount() - 1);
        selectionModel()->setCurrentIndex(m_model->index(row - 1, col),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_reportedRow = row;
    reportRowSelected();
}

void CellGrid::reportRowSelected()
{
    // Listeners run inside mouse and key handlers: nothing may escape into Qt.
    try {
        emit rowSelected();
    } catch (const std::exception& e) {
        qWarning("CellGrid: a rowSelected listener failed: %s", e.what());
    } catch (...) {
        qWarning("CellGrid: a rowSelected listener failed");
    }
}

void CellGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Not through doubleClicked(): that one also wants the press before to
    // have been on the same cell, which a synthesized double-click lacks.
    const QPersistentModelIndex index = indexAt(event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid())
        reportDoubleClick(index);
}

void CellGrid::reportDoubleClick(const QModelIndex& index)
{
    try {
        emit cellDoubleClicked(index.row() + 1, m_model->gridColumn(index.column()));
    } catch (const std::exception& e) {
        qWarning("CellGrid: a cellDoubleClicked listener failed: %s", e.what());
    } catch (...) {
        qWarning("CellGrid: a cellDoubleClicked listener failed");
    }
}

void CellGrid::setCellTint(int row, int col, std::optional<QColor> color)
{
    checkRow(row);
    checkCol(col);
    m_model->setTint(row, col, color);
}

void CellGrid::setCellToolTip(int row, int col, const QString& text)
{
    checkRow(row);
    checkCol(col);
    m_model->setToolTip(row, col, text);
}

void CellGrid::clearTints()
{
    m_model->clearTints();
}

void CellGrid::setColumnToolTip(std::function<QString(int col)> tip)
{
    m_model->setColumnToolTip(std::move(tip));
}

std::optional<std::pair<int, int>> CellGrid::currentCell() const
{
    if (m_heldCurrent)
        return m_heldCurrent;
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return std::pair{current.row() + 1, m_model->gridColumn(current.column())};
}

QString CellGrid::selectionText() const
{
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty())
        return {};

    // Columns holding a selected cell in any row, as sorted disjoint spans.
    using Span = std::pair<int, int>;
    std::vector<Span> columns;
    int top = INT_MAX;
    int bottom = -1;
    for (const QItemSelectionRange& range : selection) {
        columns.emplace_back(range.left(), range.right());
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
    }
    auto merge = [](std::vector<Span>& spans) {
        std::sort(spans.begin(), spans.end());
        std::size_t kept = 0;
        for (std::size_t i = 1; i < spans.size(); ++i) {
            if (spans[i].first <= spans[kept].second + 1)
                spans[kept].second = std::max(spans[kept].second, spans[i].second);
            else
                spans[++kept] = spans[i];
        }
        spans.resize(kept + 1);
    };
    merge(columns);
    const bool withNames =
        columns.size() == 1 && columns.front().first == 0 && columns.front().second == m_model->columnCount() - 1;

    long long width = 0;
    for (const Span& span : columns)
        width += span.second - span.first + 1;
    std::string out;
    // A guess of a few bytes per cell saves the regrowths of a long row.
    out.reserve(static_cast<std::size_t>(std::min<long long>(width * 8, 64LL << 20)));

    std::vector<Span> selected;  // of the current row
    for (int r = top; r <= bottom; ++r) {
        selected.clear();
        for (const QItemSelectionRange& range : selection)
            if (range.top() <= r && r <= range.bottom())
                selected.emplace_back(range.left(), range.right());
        if (selected.empty())
            continue;
        merge(selected);
        const int gridRow = r + 1;
        bool firstCell = true;
        if (withNames) {
            appendCopiedCell(out, m_model->cellBytes(gridRow, 0));
            firstCell = false;
        }
        auto next = selected.cbegin();
        for (const Span& span : columns) {
            for (int c = span.first; c <= span.second; ++c) {
                if (!firstCell)
                    out.push_back('\t');
                firstCell = false;
                while (next != selected.cend() && next->second < c)
                    ++next;
                if (next != selected.cend() && next->first <= c)
                    appendCopiedCell(out, m_model->cellBytes(gridRow, m_model->gridColumn(c)));
            }
        }
        out.push_back('\n');
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

QString CellGrid::copySelection()
{
    long long cells = 0;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        cells += static_cast<long long>(range.width()) * range.height();
    if (cells > kMostCopiedCells) {
        emit copyFailed(QStringLiteral("The selection holds %1 cells; at most %2 are copied at a time. Select fewer "
                                       "takes or parameters.")
                            .arg(QString::fromStdString(groupedCount(static_cast<std::uint64_t>(cells))),
                                 QString::fromStdString(groupedCount(static_cast<std::uint64_t>(kMostCopiedCells)))));
        return {};
    }
    QString text = selectionText();
    if (!selectionModel()->hasSelection())
        return text;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
    return text;
}

bool CellGrid::event(QEvent* event)
{
    // Ctrl+C belongs to the grid while it has the focus, even when a window
    // action has the same shortcut.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        return true;
    }
    return QTableView::event(event);
}

void CellGrid::keyPressEvent(QKeyEvent* event)
{
    // Home and End go to the grid's first and last column, whatever page is
    // shown: the page moves first, the view's own handling does the rest.
    const bool homeOrEnd = event->key() == Qt::Key_Home || event->key() == Qt::Key_End;
    try {
        if (homeOrEnd && isPaged() && !(event->modifiers() & Qt::ShiftModifier))
            movePage(event->key() == Qt::Key_Home ? 0 : ColCount(), true);
        else if (m_heldCurrent && !event->matches(QKeySequence::Copy))
            showPageAround(m_heldCurrent->second);  // the keys go on from the current cell
    } catch (const std::exception& e) {
        qWarning("CellGrid: moving the page failed: %s", e.what());
    }
    if (event->matches(QKeySequence::Copy)) {
        event->accept();
        try {
            copySelection();
        } catch (const std::bad_alloc&) {
            emit copyFailed(QStringLiteral("Copying the selection failed: not enough memory."));
        } catch (...) {
            emit copyFailed(QStringLiteral("Copying the selection failed."));
        }
        return;
    }
    QTableView::keyPressEvent(event);
    // The current cell may have been there already while the view was
    // scrolled elsewhere: the view goes to it all the same.
    if (homeOrEnd && currentIndex().isValid())
        scrollTo(currentIndex());
}

void CellGrid::focusInEvent(QFocusEvent* event)
{
    // The view makes its first cell current when it has none; a current
    // cell held off the page is one all the same.
    if (m_heldCurrent) {
        QAbstractScrollArea::focusInEvent(event);
        viewport()->update();
        return;
    }
    QTableView::focusInEvent(event);
}

void CellGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTableView::selectionChanged(selected, deselected);
    // Growing a block from its first row keeps that row: no new report.
    const int row = SelectedRow();
    const bool newRow = row != m_reportedRow;
    m_reportedRow = row;
    if (!m_quiet && !selected.isEmpty() && newRow)
        reportRowSelected();
}

void CellGrid::updateGeometries()
{
    QTableView::updateGeometries();
    if (!m_corner)
        return;  // still being built
    syncAcross();
    const QHeaderView* across = horizontalHeader();
    const QHeaderView* down = verticalHeader();
    const bool shown = !across->isHidden() && !down->isHidden();
    m_corner->setVisible(shown);
    if (shown) {
        m_corner->setGeometry(down->x(), across->y(), down->width(), across->height());
        m_corner->raise();
    }
}

void CellGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        applyFont();
        updateGeometries();
    } else if (event->type() == QEvent::PaletteChange) {
        m_model->setButtonFace(palette().color(QPalette::Button));
        viewport()->update();
    }
}

void CellGrid::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    if (const std::optional<ScrollPlace> place = std::exchange(m_pendingPlace, std::nullopt)) {
        // Runs from the event loop: nothing may escape into Qt.
        try {
            setScrollPlace(*place);
        } catch (const std::exception& e) {
            qWarning("CellGrid: scrolling back failed: %s", e.what());
        }
    }
}

void CellGrid::applyFont()
{
    const int rowHeight = QFontMetrics(font()).height() + 4;
    verticalHeader()->setDefaultSectionSize(rowHeight);
    gridHeader(horizontalHeader())->setExtent(rowHeight);
    QFont boldFont = font();
    boldFont.setBold(true);
    m_model->setFonts(boldFont);
}

void CellGrid::updateHeaders()
{
    horizontalHeader()->setVisible(RowCount() > 0);
    verticalHeader()->setVisible(ColCount() > 0);
    updateGeometries();
    m_corner->update();
}

}  // namespace dlv
