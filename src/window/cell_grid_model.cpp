#include "window/cell_grid_model.h"

#include "render/shown_text.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <climits>
#include <stdexcept>

namespace dlv {

// ------------------------------------------------------------- CellGridModel

namespace {

// Number of TAB bytes, eight at a time: a byte of x = word ^ 0x0909.. is zero
// where the word has a TAB, and zeroHighBits has exactly the high bit of each
// zero byte set.
std::size_t countTabs(std::string_view text) noexcept
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t kTabs = 0x0909090909090909ULL;
    std::size_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        const std::uint64_t x = word ^ kTabs;
        const std::uint64_t zeroHighBits = ~(((x & kLow7) + kLow7) | x | kLow7);
        // One bit per byte: summed by the multiply into the top byte (no
        // popcount instruction is assumed).
        count += static_cast<std::size_t>(((zeroHighBits >> 7) * 0x0101010101010101ULL) >> 56);
    }
    for (; i < text.size(); ++i)
        count += text[i] == '\t' ? 1 : 0;
    return count;
}

// A row whose rewrite costs at most this many bytes and pieces is rewritten on
// every write; longer rows collect single-cell writes first.
constexpr std::size_t kSmallRowCost = 1024;

}  // namespace

CellGridModel::CellGridModel(QObject* parent) : QAbstractTableModel(parent), m_buttonFace(Qt::lightGray)
{
    m_boldFont.setBold(true);
}

CellGridModel::~CellGridModel() = default;

int CellGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(gridRows() - 1, 0);
}

int CellGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : pageColumnsShown();
}

int CellGridModel::pageColumnsShown(int cols, int pageFirst) const noexcept
{
    return std::clamp(cols - 1 - pageFirst, 0, m_pageColumns);
}

int CellGridModel::pageFirstFor(int first, int cols) const noexcept
{
    return std::clamp(first, 0, std::max(cols - 1 - m_pageColumns, 0));
}

void CellGridModel::announceRowZero()
{
    if (pageColumnsShown() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, pageColumnsShown() - 1);
}

void CellGridModel::setPageColumns(int n)
{
    n = std::max(n, 1);
    if (n == m_pageColumns)
        return;
    beginResetModel();
    m_pageColumns = n;
    m_pageFirst = pageFirstFor(m_pageFirst, m_cols);
    endResetModel();
}

bool CellGridModel::showPage(int first)
{
    first = pageFirstFor(first, m_cols);
    if (first == m_pageFirst)
        return false;
    beginResetModel();
    m_pageFirst = first;
    endResetModel();
    return true;
}

Qt::ItemFlags CellGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant CellGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() + 1 >= gridRows() || index.column() >= pageColumnsShown())
        return {};
    return cellData(index.row() + 1, gridColumn(index.column()), role);
}

QVariant CellGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section < 0)
        return {};
    if (orientation == Qt::Horizontal) {
        if (m_rows.empty() || section >= pageColumnsShown())
            return {};
        QVariant data = cellData(0, gridColumn(section), role);
        if (role == Qt::ToolTipRole && !data.isValid() && m_columnToolTip)
            return m_columnToolTip(gridColumn(section));
        return data;
    }
    if (m_cols == 0 || section + 1 >= gridRows())
        return {};
    return cellData(section + 1, 0, role);
}

QVariant CellGridModel::cellData(int row, int col, int role) const
{
    // Called from paint events: a failing source must not take the window down.
    try {
        const Row& r = m_rows[static_cast<std::size_t>(row)];
        switch (role) {
        case Qt::DisplayRole:
            return shownQString(rowCell(r, col));
        case Qt::BackgroundRole:
            if (const auto color = r.back.find(col))
                return toQColor(*color);
            if (!m_tints.empty()) {
                const auto it = m_tints.find(cellKey(row, col));
                if (it != m_tints.end())
                    return QColor::fromRgba(it->second);
            }
            return {};
        case Qt::ToolTipRole:
            if (!m_toolTips.empty()) {
                const auto it = m_toolTips.find(cellKey(row, col));
                if (it != m_toolTips.end())
                    return it->second;
            }
            return {};
        case Qt::ForegroundRole:
            if (const auto color = r.fore.find(col))
                return toQColor(*color);
            return {};
        case Qt::FontRole:
            if (r.bold.find(col))
                return m_boldFont;
            return {};
        default:
            return {};
        }
    } catch (...) {
        return {};
    }
}

QColor CellGridModel::toQColor(GridColor color) const
{
    return dlv::toQColor(color, m_buttonFace);
}

int CellGridModel::pieceCount(const Row& row) const noexcept
{
    return row.source ? row.sourceCols : static_cast<int>(row.ends.size());
}

std::string_view CellGridModel::rowCell(const Row& row, int col) const
{
    if (row.overrides) {
        const auto it = row.overrides->find(col);
        if (it != row.overrides->end())
            return it->second;
    }
    if (row.source)
        return col < row.sourceCols ? row.source->cell(row.sourceRow, col) : std::string_view{};
    const auto c = static_cast<std::size_t>(col);
    if (c >= row.ends.size())
        return {};
    const std::uint32_t start = c == 0 ? 0 : row.ends[c - 1];
    return std::string_view(row.text).substr(start, row.ends[c] - start);
}

std::string_view CellGridModel::cellBytes(int row, int col) const
{
    return rowCell(m_rows[static_cast<std::size_t>(row)], col);
}

QString CellGridModel::cellText(int row, int col) const
{
    const std::string text = displayText(cellBytes(row, col));
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void CellGridModel::setGridRows(int n)
{
    const int old = gridRows();
    if (n == old)
        return;
    const int oldModel = std::max(old - 1, 0);
    const int newModel = std::max(n - 1, 0);
    if (n < old) {
        dropDecorations(n, m_cols);
        if (newModel < oldModel) {
            beginRemoveRows({}, newModel, oldModel - 1);
            m_rows.resize(static_cast<std::size_t>(std::max(n, 1)));
            endRemoveRows();
        }
        if (n == 0) {
            m_rows.clear();
            announceRowZero();
            emit cornerChanged();
        }
        return;
    }
    if (old == 0) {
        m_rows.resize(1);
        announceRowZero();
        emit cornerChanged();
    }
    if (newModel > oldModel) {
        beginInsertRows({}, oldModel, newModel - 1);
        m_rows.resize(static_cast<std::size_t>(n));
        endInsertRows();
    }
}

void CellGridModel::setGridCols(int n)
{
    const int old = m_cols;
    if (n == old)
        return;
    const int newFirst = pageFirstFor(m_pageFirst, n);
    if (newFirst != m_pageFirst) {
        // The page moves back to stay full: the views start over.
        beginResetModel();
        trimColumns(n);
        m_pageFirst = newFirst;
        endResetModel();
        emit cornerChanged();
        return;
    }
    const int oldModel = pageColumnsShown();
    const int newModel = pageColumnsShown(n, m_pageFirst);
    if (n < old) {
        auto trim = [this, n] { trimColumns(n); };
        if (newModel < oldModel) {
            beginRemoveColumns({}, newModel, oldModel - 1);
            trim();
            endRemoveColumns();
        } else {
            trim();
        }
        if (n == 0 && gridRows() > 1)
            emit headerDataChanged(Qt::Vertical, 0, gridRows() - 2);
        emit cornerChanged();
        return;
    }
    if (newModel > oldModel) {
        beginInsertColumns({}, oldModel, newModel - 1);
        m_cols = n;
        endInsertColumns();
    } else {
        m_cols = n;
    }
    if (old == 0) {
        if (gridRows() > 1)
            emit headerDataChanged(Qt::Vertical, 0, gridRows() - 2);
        emit cornerChanged();
    }
}

void CellGridModel::trimColumns(int n)
{
    if (n >= m_cols) {
        m_cols = n;
        return;
    }
    dropDecorations(gridRows(), n);
    for (Row& row : m_rows) {
        if (row.source) {
            row.sourceCols = std::min(row.sourceCols, n);
        } else if (row.ends.size() > static_cast<std::size_t>(n)) {
            row.ends.resize(static_cast<std::size_t>(n));
            row.text.resize(row.ends.empty() ? 0 : row.ends.back());
        }
        if (row.overrides) {
            std::erase_if(*row.overrides, [n](const auto& entry) { return entry.first >= n; });
            if (row.overrides->empty())
                row.overrides.reset();
        }
        row.back.truncate(n);
        row.fore.truncate(n);
        row.bold.truncate(n);
    }
    m_cols = n;
}

void CellGridModel::appendRow(std::string_view text)
{
    if (text.size() > UINT32_MAX)
        throw std::length_error("CellGrid: a row text of 4 GiB or more cannot be kept");
    Row row;
    const auto limit = static_cast<std::size_t>(m_cols);
    if (limit > 0) {
        // Sized once from the TAB count, then filled through raw pointers: a
        // data-grid row has 100,000s of short pieces, so per-piece appends and
        // searches would dominate.
        const std::size_t tabs = countTabs(text);
        row.ends.resize(std::min(tabs + 1, limit));
        row.text.resize(text.size() - std::min(tabs, limit - 1));
        char* const base = row.text.data();
        char* out = base;
        std::uint32_t* end = row.ends.data();
        std::uint32_t* const endsLast = end + row.ends.size() - 1;
        for (const char ch : text) {
            if (ch != '\t') {
                *out++ = ch;
            } else {
                *end = static_cast<std::uint32_t>(out - base);
                if (end == endsLast)
                    break;  // the pieces from here on have no column
                ++end;
            }
        }
        *endsLast = static_cast<std::uint32_t>(out - base);
        row.text.resize(static_cast<std::size_t>(out - base));
    }
    const int r = gridRows();
    if (r == 0) {
        m_rows.push_back(std::move(row));
        announceRowZero();
        emit cornerChanged();
        return;
    }
    beginInsertRows({}, r - 1, r - 1);
    m_rows.push_back(std::move(row));
    endInsertRows();
}

void CellGridModel::appendSourceRows(const std::shared_ptr<const CellRowSource>& source)
{
    const int n = source->rowCount();
    if (n <= 0)
        return;
    auto makeRow = [&](int sourceRow) {
        Row row;
        row.source = source;
        row.sourceRow = sourceRow;
        row.sourceCols = m_cols;
        return row;
    };
    int next = 0;
    if (m_rows.empty()) {
        m_rows.push_back(makeRow(next++));
        announceRowZero();
        emit cornerChanged();
    }
    if (next == n)
        return;
    const int first = gridRows() - 1;
    beginInsertRows({}, first, first + (n - next) - 1);
    m_rows.reserve(m_rows.size() + static_cast<std::size_t>(n - next));
    for (; next < n; ++next)
        m_rows.push_back(makeRow(next));
    endInsertRows();
}

void CellGridModel::rebuildRow(Row& row, int col1, int col2, std::string_view utf8)
{
    const int pieces = pieceCount(row);
    int count = std::max(pieces, utf8.empty() ? 0 : col2 + 1);
    if (row.overrides) {
        for (const auto& [col, text] : *row.overrides)
            if (!text.empty())
                count = std::max(count, col + 1);
    }
    std::string text;
    std::vector<std::uint32_t> ends;
    ends.reserve(static_cast<std::size_t>(count));
    for (int c = 0; c < count; ++c) {
        if (c >= col1 && c <= col2)
            text.append(utf8);
        else
            text.append(rowCell(row, c));
        ends.push_back(static_cast<std::uint32_t>(text.size()));
    }
    row.text = std::move(text);
    row.ends = std::move(ends);
    row.source.reset();
    row.sourceRow = 0;
    row.sourceCols = 0;
    row.overrides.reset();
}

void CellGridModel::setCellText(int row1, int col1, int row2, int col2, std::string_view utf8)
{
    const auto span = static_cast<std::size_t>(col2 - col1 + 1);
    for (int r = row1; r <= row2; ++r) {
        Row& row = m_rows[static_cast<std::size_t>(r)];
        const auto pieces = static_cast<std::size_t>(pieceCount(row));
        const std::size_t cost = pieces + row.text.size();
        // Rewriting costs O(row); it is done when the row is short or the write
        // covers a good part of it, and otherwise once single-cell writes make
        // up an eighth of the row, so each write costs O(1) amortised.
        if (cost <= kSmallRowCost || span * 8 >= std::max(pieces, static_cast<std::size_t>(col2) + 1)) {
            rebuildRow(row, col1, col2, utf8);
            continue;
        }
        if (!row.overrides)
            row.overrides = std::make_unique<std::unordered_map<int, std::string>>();
        for (int c = col1; c <= col2; ++c)
            (*row.overrides)[c].assign(utf8);
        if (row.overrides->size() * 8 > pieces)
            rebuildRow(row, col1, col2, utf8);
    }
    announce(row1, col1, row2, col2, {Qt::DisplayRole});
}

GridColor CellGridModel::backColor(int row, int col) const
{
    if (const auto color = m_rows[static_cast<std::size_t>(row)].back.find(col))
        return *color;
    return row == 0 || col == 0 ? kButtonFace : GridColor{0xFFFFFF};
}

std::optional<GridColor> CellGridModel::textColor(int row, int col) const
{
    return m_rows[static_cast<std::size_t>(row)].fore.find(col);
}

bool CellGridModel::isBold(int row, int col) const
{
    return m_rows[static_cast<std::size_t>(row)].bold.find(col).has_value();
}

void CellGridModel::setBackColor(int row1, int col1, int row2, int col2, GridColor color)
{
    for (int r = row1; r <= row2; ++r)
        m_rows[static_cast<std::size_t>(r)].back.assign(col1, col2, color);
    announce(row1, col1, row2, col2, {Qt::BackgroundRole});
}

void CellGridModel::setTextColor(int row1, int col1, int row2, int col2, GridColor color)
{
    for (int r = row1; r <= row2; ++r)
        m_rows[static_cast<std::size_t>(r)].fore.assign(col1, col2, color);
    announce(row1, col1, row2, col2, {Qt::ForegroundRole});
}

void CellGridModel::setBold(int row1, int col1, int row2, int col2, bool bold)
{
    for (int r = row1; r <= row2; ++r) {
        ColumnRuns& runs = m_rows[static_cast<std::size_t>(r)].bold;
        if (bold)
            runs.assign(col1, col2, 1);
        else
            runs.erase(col1, col2);
    }
    announce(row1, col1, row2, col2, {Qt::FontRole});
}

void CellGridModel::announce(int row1, int col1, int row2, int col2, const QList<int>& roles)
{
    const int dataRow1 = std::max(row1, 1);
    // The part of the columns in the page shown, as model columns.
    const int modelCol1 = std::max(col1 - 1 - m_pageFirst, 0);
    const int modelCol2 = std::min(col2 - 1 - m_pageFirst, pageColumnsShown() - 1);
    if (dataRow1 <= row2 && modelCol1 <= modelCol2)
        emit dataChanged(index(dataRow1 - 1, modelCol1), index(row2 - 1, modelCol2), roles);
    if (row1 == 0 && modelCol1 <= modelCol2)
        emit headerDataChanged(Qt::Horizontal, modelCol1, modelCol2);
    if (col1 == 0 && dataRow1 <= row2)
        emit headerDataChanged(Qt::Vertical, dataRow1 - 1, row2 - 1);
    if (row1 == 0 && col1 == 0)
        emit cornerChanged();
}

void CellGridModel::setTint(int row, int col, const std::optional<QColor>& color)
{
    const std::uint64_t key = cellKey(row, col);
    if (color && color->isValid()) {
        const QRgb rgba = color->rgba();
        const auto [it, added] = m_tints.try_emplace(key, rgba);
        if (!added) {
            if (it->second == rgba)
                return;
            it->second = rgba;
        }
    } else if (m_tints.erase(key) == 0) {
        return;
    }
    announce(row, col, row, col, {Qt::BackgroundRole});
}

std::optional<QColor> CellGridModel::tint(int row, int col) const
{
    const auto it = m_tints.find(cellKey(row, col));
    if (it == m_tints.end())
        return std::nullopt;
    return QColor::fromRgba(it->second);
}

void CellGridModel::setToolTip(int row, int col, const QString& text)
{
    const std::uint64_t key = cellKey(row, col);
    if (text.isEmpty()) {
        if (m_toolTips.erase(key) == 0)
            return;
    } else {
        m_toolTips.insert_or_assign(key, shownQString(text));
    }
    announce(row, col, row, col, {Qt::ToolTipRole});
}

QString CellGridModel::toolTip(int row, int col) const
{
    const auto it = m_toolTips.find(cellKey(row, col));
    return it == m_toolTips.end() ? QString() : it->second;
}

void CellGridModel::clearTints()
{
    if (m_tints.empty() && m_toolTips.empty())
        return;
    // One announcement over the box of the cells that had something.
    int row1 = INT_MAX;
    int col1 = INT_MAX;
    int row2 = -1;
    int col2 = -1;
    auto widen = [&](std::uint64_t key) {
        const auto row = static_cast<int>(key >> 32);
        const auto col = static_cast<int>(key & 0xFFFFFFFFU);
        row1 = std::min(row1, row);
        col1 = std::min(col1, col);
        row2 = std::max(row2, row);
        col2 = std::max(col2, col);
    };
    for (const auto& entry : m_tints)
        widen(entry.first);
    for (const auto& entry : m_toolTips)
        widen(entry.first);
    m_tints.clear();
    m_toolTips.clear();
    announce(row1, col1, row2, col2, {Qt::BackgroundRole, Qt::ToolTipRole});
}

void CellGridModel::dropDecorations(int rows, int cols)
{
    auto outside = [rows, cols](const auto& entry) {
        return static_cast<int>(entry.first >> 32) >= rows || static_cast<int>(entry.first & 0xFFFFFFFFU) >= cols;
    };
    std::erase_if(m_tints, outside);
    std::erase_if(m_toolTips, outside);
}

void CellGridModel::setFonts(const QFont& bold)
{
    m_boldFont = bold;
}

void CellGridModel::setButtonFace(const QColor& color)
{
    m_buttonFace = color;
}

std::vector<int> CellGridModel::estimatedTextWidths(int col1, int col2, int advance, int boldAdvance) const
{
    const auto n = static_cast<std::size_t>(col2 - col1 + 1);
    std::vector<std::uint32_t> normalBytes(n, 0);
    std::vector<std::uint32_t> boldBytes(n, 0);

    struct SourceUse {
        const CellRowSource* source;
        int cols;
        bool anyBold;
    };
    std::vector<SourceUse> sources;

    for (const Row& row : m_rows) {
        if (row.source) {
            // The source knows its column maxima; rows of one source are
            // looked at once per column, whatever their number.
            const bool bold = row.bold.overlaps(col1, col2);
            auto it = std::find_if(sources.begin(), sources.end(),
                                   [&](const SourceUse& use) { return use.source == row.source.get(); });
            if (it == sources.end()) {
                sources.push_back({row.source.get(), row.sourceCols, bold});
            } else {
                it->cols = std::max(it->cols, row.sourceCols);
                it->anyBold = it->anyBold || bold;
            }
            if (row.overrides) {
                for (const auto& [col, text] : *row.overrides) {
                    if (col < col1 || col > col2)
                        continue;
                    auto& slot = (row.bold.find(col) ? boldBytes : normalBytes)[static_cast<std::size_t>(col - col1)];
                    slot = std::max(slot, static_cast<std::uint32_t>(text.size()));
                }
            }
            continue;
        }
        const int last = std::min(col2, static_cast<int>(row.ends.size()) - 1);
        if (!row.overrides && !row.bold.overlaps(col1, col2)) {
            // Only read when col1 <= last, so ends[col1 - 1] exists then.
            std::uint32_t start = col1 == 0 || col1 > last ? 0 : row.ends[static_cast<std::size_t>(col1 - 1)];
            for (int c = col1; c <= last; ++c) {
                const std::uint32_t end = row.ends[static_cast<std::size_t>(c)];
                auto& slot = normalBytes[static_cast<std::size_t>(c - col1)];
                slot = std::max(slot, end - start);
                start = end;
            }
            continue;
        }
        const int through = row.overrides ? col2 : last;
        for (int c = col1; c <= through; ++c) {
            const auto bytes = static_cast<std::uint32_t>(rowCell(row, c).size());
            auto& slot = (row.bold.find(c) ? boldBytes : normalBytes)[static_cast<std::size_t>(c - col1)];
            slot = std::max(slot, bytes);
        }
    }
    for (const SourceUse& use : sources) {
        const int last = std::min(col2, use.cols - 1);
        auto& target = use.anyBold ? boldBytes : normalBytes;
        for (int c = col1; c <= last; ++c) {
            auto& slot = target[static_cast<std::size_t>(c - col1)];
            slot = std::max(slot, use.source->maxCellBytes(c));
        }
    }

    std::vector<int> widths(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        // Widths of what is shown: long texts are cut (shownText).
        const long long px = std::max(static_cast<long long>(shownCharsBound(normalBytes[i])) * advance,
                                      static_cast<long long>(shownCharsBound(boldBytes[i])) * boldAdvance);
        widths[i] = static_cast<int>(std::min<long long>(px, INT_MAX / 2));
    }
    return widths;
}

std::vector<int> CellGridModel::measuredTextWidths(int col1, int col2, const QFontMetricsF& normal,
                                                   const QFontMetricsF& bold) const
{
    std::vector<int> widths(static_cast<std::size_t>(col2 - col1 + 1), 0);
    for (const Row& row : m_rows) {
        const int through = row.overrides ? col2 : std::min(col2, pieceCount(row) - 1);
        for (int c = col1; c <= through; ++c) {
            const std::string_view bytes = rowCell(row, c);
            if (bytes.empty())
                continue;
            const QFontMetricsF& metrics = row.bold.find(c) ? bold : normal;
            int& slot = widths[static_cast<std::size_t>(c - col1)];
            // Rounded up: a rounded-down width would cut the text's last pixel.
            slot = std::max(slot, static_cast<int>(std::ceil(metrics.horizontalAdvance(shownQString(bytes)))));
        }
    }
    return widths;
}

}  // namespace dlv
