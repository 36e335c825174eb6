#include "window/tables_tab.h"

#include "datalog/columns.h"
#include "datalog/number.h"
#include "datalog/take_store.h"
#include "render/file_writing.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/channels_dialog.h"
#include "window/name_completer.h"
#include "window/save_path.h"
#include "window/quiet_teardown.h"
#include "window/stale_fade.h"
#include "workbench/format.h"
#include "workbench/log_session.h"
#include "workbench/table_tint.h"
#include "workbench/workspace_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <map>
#include <new>

namespace dlv {

namespace {

constexpr int kFieldCount = static_cast<int>(TableField::Channel);
constexpr QRgb kLockedTint = 0xC8C8C8;

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& placeholder = {})
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(placeholder);
    return edit;
}

QLabel* makeErrorLabel(QWidget* parent, TableField field)
{
    static const char* const names[] = {"errorX",       "errorY",      "errorZ",      "errorXAxis", "errorYAxis",
                                        "errorStat",    "errorMinHits", "errorTarget", "errorFilter"};
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(names[static_cast<int>(field)]));
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->hide();
    return label;
}

// Whole or not at all (render/file_writing.h); the message starts a sentence.
bool writeText(const QString& path, const std::string& text, QString* error)
{
    const QString reason = writeFileSafely(path, [&](QIODevice& device, QString&) {
        return device.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    });
    if (reason.isEmpty())
        return true;
    if (error) {
        *error = cannotWriteMessage(path, reason);
        (*error)[0] = error->at(0).toUpper();
    }
    return false;
}

// The texts as grid rows, one AppendRow each (cells hold no TAB).
void appendLines(CellGrid* grid, const TextTable& texts)
{
    for (const auto& line : texts) {
        std::string joined;
        for (std::size_t i = 0; i < line.size(); ++i)
            joined += (i ? "\t" : "") + line[i];
        grid->AppendRow(joined);
    }
}

// Fits every column to its texts, with two pixels to spare: the grid's
// measure leaves none, and texts with fractional advances get elided.
void fitColumns(CellGrid* grid)
{
    if (grid->ColCount() == 0)
        return;
    grid->AutoSizeColumns(0, grid->ColCount() - 1);
    for (int c = 0; c + 1 < grid->ColCount(); ++c)
        grid->setColumnWidth(c, grid->columnWidth(c) + 2);
}

std::vector<double> valuesOf(const std::vector<CorrectedCell>& cells)
{
    std::vector<double> values;
    values.reserve(cells.size());
    for (const CorrectedCell& cell : cells)
        values.push_back(cell.value);
    return values;
}

QColor toColor(const Rgb& rgb)
{
    return QColor(rgb.r, rgb.g, rgb.b);
}

// Runs an edit's consequences; a failure (out of memory) goes to the status
// line instead of leaving the slot.
template <typename F>
void guardedEdit(QLabel* status, F&& work)
{
    try {
        work();
    } catch (const std::bad_alloc&) {
        status->setText(QStringLiteral("Not enough memory to compute the table."));
    } catch (const std::exception& e) {
        status->setText(QStringLiteral("The table could not be computed: %1").arg(QString::fromUtf8(e.what())));
    }
}

}  // namespace

QString errorHtml(const EditorError& error)
{
    const QString message = fromStd(error.message).toHtmlEscaped();
    if (error.text.empty())
        return QStringLiteral("<span style=\"color:#b2182b\">%1</span>").arg(message);
    const std::size_t at = std::min(error.place.offset, error.text.size());
    const std::size_t length = std::min(error.place.length, error.text.size() - at);
    const QString before = fromStd(error.text.substr(0, at)).toHtmlEscaped();
    // An empty place (the end of the text) is marked by a caret.
    const QString marked = length ? fromStd(error.text.substr(at, length)).toHtmlEscaped() : QStringLiteral("^");
    const QString after = fromStd(error.text.substr(at + length)).toHtmlEscaped();
    return QStringLiteral("<span style=\"color:#b2182b\">%1</span><br><tt>%2<span style=\"color:#b2182b;"
                          "text-decoration:underline;font-weight:bold\">%3</span>%4</tt>")
        .arg(message, before, marked, after);
}

TablesTab::TablesTab(std::shared_ptr<Workspace> workspace, QWidget* parent)
    : QWidget(parent), m_workspace(workspace ? std::move(workspace) : std::make_shared<Workspace>())
{
    setObjectName(QStringLiteral("TablesTab"));
    buildControls();
    loadEditor();
}

TablesTab::~TablesTab()
{
    stopHearingChildren(this);
}

void TablesTab::buildControls()
{
    // Left: the list and the editor.
    auto* left = new QWidget(this);
    m_list = new QListWidget(left);
    m_list->setObjectName(QStringLiteral("tableList"));
    m_list->setMaximumHeight(80);
    m_add = new QPushButton(QStringLiteral("Add"), left);
    m_add->setObjectName(QStringLiteral("addTable"));
    m_remove = new QPushButton(QStringLiteral("Remove"), left);
    m_remove->setObjectName(QStringLiteral("removeTable"));
    auto* channels = new QPushButton(QStringLiteral("Channels…"), left);
    channels->setObjectName(QStringLiteral("editChannels"));

    m_name = makeEdit(left, "tableName");
    m_x = makeEdit(left, "exprX", QStringLiteral("columns, e.g. MAP"));
    m_y = makeEdit(left, "exprY", QStringLiteral("rows, e.g. RPM (empty: 1-D)"));
    m_z = makeEdit(left, "exprZ", QStringLiteral("value, e.g. BLM"));
    m_xAxis = makeEdit(left, "axisX", QStringLiteral("20, 30, 40 … or paste a row"));
    m_yAxis = makeEdit(left, "axisY", QStringLiteral("400, 800 … or paste a row"));
    m_stat = new QComboBox(left);
    m_stat->setObjectName(QStringLiteral("stat"));
    for (const workbench::Stat stat : tableStatistics())
        m_stat->addItem(fromStd(std::string(workbench::statName(stat))));
    m_minHits = new QSpinBox(left);
    m_minHits->setObjectName(QStringLiteral("minHits"));
    m_minHits->setRange(1, 1000000);
    m_target = makeEdit(left, "target", QStringLiteral("none"));
    // The short example fits the field at the window's design size; the
    // tooltip gives a longer one.
    m_filter = makeEdit(left, "filter", QStringLiteral("e.g. ECT > 80"));
    m_filter->setToolTip(QStringLiteral("Takes for which this is 0 are left out of the table, "
                                        "e.g. ECT > 80 && abs(dTPS) < 2"));
    for (QLineEdit* edit : {m_x, m_y, m_z, m_filter})
        m_completers.push_back(new NameCompleter(edit));

    for (int f = 0; f < kFieldCount; ++f)
        m_errors.push_back(makeErrorLabel(left, static_cast<TableField>(f)));
    const auto errorOf = [this](TableField field) { return m_errors[static_cast<std::size_t>(field)]; };

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(m_add);
    listButtons->addWidget(m_remove);
    listButtons->addWidget(channels);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setVerticalSpacing(3);
    const auto row = [&](const QString& label, QWidget* field, std::optional<TableField> error) {
        form->addRow(label, field);
        if (error)
            form->addRow(QString(), errorOf(*error));
    };
    row(QStringLiteral("Name:"), m_name, std::nullopt);
    row(QStringLiteral("X:"), m_x, TableField::X);
    row(QStringLiteral("X axis:"), m_xAxis, TableField::XAxis);
    row(QStringLiteral("Y:"), m_y, TableField::Y);
    row(QStringLiteral("Y axis:"), m_yAxis, TableField::YAxis);
    row(QStringLiteral("Z:"), m_z, TableField::Z);
    row(QStringLiteral("Statistic:"), m_stat, TableField::Stat);
    row(QStringLiteral("Min hits:"), m_minHits, TableField::MinHits);
    row(QStringLiteral("Target:"), m_target, TableField::Target);
    row(QStringLiteral("Filter:"), m_filter, TableField::Filter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_list);
    leftLayout->addLayout(listButtons);
    leftLayout->addLayout(form);
    leftLayout->addStretch(1);

    // Right: the table and the corrections.
    auto* right = new QSplitter(Qt::Vertical, this);
    auto* tablePane = new QWidget(right);
    m_status = new QLabel(tablePane);
    m_status->setObjectName(QStringLiteral("tableStatus"));
    m_status->setWordWrap(true);
    m_grid = new CellGrid(tablePane);
    m_grid->setObjectName(QStringLiteral("tableGrid"));
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    auto* copy = new QPushButton(QStringLiteral("Copy Table"), tablePane);
    copy->setObjectName(QStringLiteral("copyTable"));
    auto* tableTop = new QHBoxLayout;
    tableTop->addWidget(m_status, 1);
    tableTop->addWidget(copy);
    auto* tableLayout = new QVBoxLayout(tablePane);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addLayout(tableTop);
    tableLayout->addWidget(buildLogChoice(tablePane));
    tableLayout->addWidget(m_grid, 1);
    buildCorrections(right);
    right->addWidget(tablePane);
    right->addWidget(m_corrections);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({250, 450});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(split);

    m_channelsDialog = new ChannelsDialog(this);
    connect(m_channelsDialog, &ChannelsDialog::channelsEdited, this,
            [this](const std::vector<Channel>& edited) { setChannels(edited); });

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_loading)
            selectTable(row);
    });
    connect(m_add, &QPushButton::clicked, this, [this] { addTable(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { removeTable(); });
    connect(channels, &QPushButton::clicked, this, [this] { showChannelsEditor(); });
    connect(copy, &QPushButton::clicked, this, [this] { copyTable(); });
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_current < 0)
            return;
        m_userWorkspace = true;
        m_workspace->tables[static_cast<std::size_t>(m_current)].name = text.toStdString();
        if (QListWidgetItem* item = m_list->item(m_current))
            item->setText(text);
    });
    const std::pair<QLineEdit*, TableField> edits[] = {
        {m_x, TableField::X},         {m_y, TableField::Y},         {m_z, TableField::Z},
        {m_xAxis, TableField::XAxis}, {m_yAxis, TableField::YAxis}, {m_target, TableField::Target},
        {m_filter, TableField::Filter}};
    for (const auto& [edit, field] : edits) {
        connect(edit, &QLineEdit::textEdited, this, [this, field = field] { onFieldEdited(field); });
        connect(edit, &QLineEdit::editingFinished, this, [this] { flushTyping(); });
    }
    m_typingPause = new QTimer(this);
    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(kTypingPauseMs);
    connect(m_typingPause, &QTimer::timeout, this, [this] { recompute(); });
    connect(m_stat, &QComboBox::currentIndexChanged, this, [this] { onFieldEdited(TableField::Stat); });
    connect(m_minHits, &QSpinBox::valueChanged, this, [this] { onFieldEdited(TableField::MinHits); });
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { onCellsSelected(); });
    connect(m_grid, &CellGrid::cellDoubleClicked, this, [this](int, int) {
        if (m_shown)
            emit takesRequested(selectedTakes(), m_shown->zParam());
    });
}

void TablesTab::buildCorrections(QWidget* parent)
{
    m_corrections = new QGroupBox(QStringLiteral("Corrections"), parent);
    m_corrections->setObjectName(QStringLiteral("corrections"));
    auto* paste = new QPushButton(QStringLiteral("Paste Current Map"), m_corrections);
    paste->setObjectName(QStringLiteral("pasteMap"));
    paste->setToolTip(QStringLiteral("Paste the engine computer's map for this table's axes, copied from its "
                                     "editor or a spreadsheet (same rows and columns)"));
    m_limit = new QDoubleSpinBox(m_corrections);
    m_limit->setObjectName(QStringLiteral("limitPercent"));
    m_limit->setRange(0.0, 1000.0);
    m_limit->setDecimals(1);
    m_limit->setSuffix(QStringLiteral(" %"));
    m_limit->setValue(kDefaultCorrectionLimitPercent);
    m_limit->setToolTip(QStringLiteral("Largest change per cell"));
    auto* lock = new QPushButton(QStringLiteral("Lock / Unlock"), m_corrections);
    lock->setObjectName(QStringLiteral("lockCells"));
    lock->setToolTip(QStringLiteral("Locked cells keep their value in the suggested map"));
    auto* copyMap = new QPushButton(QStringLiteral("Copy Map"), m_corrections);
    copyMap->setObjectName(QStringLiteral("copyMap"));
    auto* exportMap = new QPushButton(QStringLiteral("Export Map…"), m_corrections);
    exportMap->setObjectName(QStringLiteral("exportMap"));
    m_mapError = new QLabel(m_corrections);
    m_mapError->setObjectName(QStringLiteral("mapError"));
    m_mapError->setWordWrap(true);
    m_mapError->setTextFormat(Qt::RichText);
    m_suggestedGrid = new CellGrid(m_corrections);
    m_suggestedGrid->setObjectName(QStringLiteral("suggestedGrid"));
    m_suggestedGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_suggestedGrid->setSelectionBehavior(QAbstractItemView::SelectItems);

    // Two rows, so that every caption fits the pane at the window's design
    // size, and at any scale.
    auto* top = new QHBoxLayout;
    top->addWidget(paste);
    top->addWidget(new QLabel(QStringLiteral("Limit:"), m_corrections));
    top->addWidget(m_limit);
    top->addStretch(1);
    auto* second = new QHBoxLayout;
    second->addWidget(lock);
    second->addWidget(copyMap);
    second->addWidget(exportMap);
    second->addStretch(1);
    auto* layout = new QVBoxLayout(m_corrections);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addLayout(second);
    layout->addWidget(m_mapError);
    layout->addWidget(m_suggestedGrid, 1);

    connect(paste, &QPushButton::clicked, this, [this] { pasteMap(QApplication::clipboard()->text()); });
    connect(m_limit, &QDoubleSpinBox::valueChanged, this, [this] {
        if (m_loading)
            return;
        m_userWorkspace = true;
        keepCorrections();
        showSuggested();
    });
    connect(copyMap, &QPushButton::clicked, this, [this] { copySuggestedMap(); });
    connect(exportMap, &QPushButton::clicked, this, [this] {
        const QString path = askSavePath(this, QStringLiteral("Export Map"), QStringLiteral("CSV files (*.csv);;All files (*)"));
        QString error;
        if (!path.isEmpty() && !exportSuggestedMap(path, &error))
            m_mapError->setText(error.toHtmlEscaped());
    });
    connect(lock, &QPushButton::clicked, this, [this] {
        const QModelIndexList cells = m_suggestedGrid->selectionModel()->selectedIndexes();
        for (const QModelIndex& index : cells)
            toggleLock(static_cast<std::size_t>(index.row()), static_cast<std::size_t>(index.column()));
    });
    connect(m_suggestedGrid, &CellGrid::cellDoubleClicked, this, [this](int row, int col) {
        toggleLock(static_cast<std::size_t>(row - 1), static_cast<std::size_t>(col - 1));
    });
}

// ---------------------------------------------------------------- workspace

void TablesTab::setLog(std::shared_ptr<const TakeStore> store)
{
    setColumns(store ? std::make_shared<ColumnCache>(std::move(store)) : nullptr);
}

void TablesTab::setDocument(const std::shared_ptr<LogDocument>& document)
{
    // The document's own cache, kept alive by the document.
    setColumns(document ? std::shared_ptr<ColumnCache>(document, &document->columns()) : nullptr);
}

void TablesTab::setColumns(std::shared_ptr<ColumnCache> columns)
{
    std::vector<OpenLog> logs;
    if (columns)
        logs.push_back({QString(), std::move(columns), nullptr});
    const int shown = logs.empty() ? -1 : 0;
    setOpenLogs(std::move(logs), shown);
}

void TablesTab::setOpenLogs(std::vector<OpenLog> logs, int shown)
{
    // Sessions carry over by log, so that a log shown again finds its values.
    std::vector<LogEntry> entries;
    for (OpenLog& log : logs) {
        if (!log.columns)
            continue;
        std::shared_ptr<workbench::LogSession> session = std::move(log.session);
        for (const LogEntry& old : m_logs)
            if (!session && old.columns == log.columns)
                session = old.session;
        if (!session)
            session = std::make_shared<workbench::LogSession>(log.columns);
        entries.push_back({std::move(log.name), std::move(log.columns), std::move(session)});
    }
    std::shared_ptr<ColumnCache> onShow;
    if (shown >= 0 && static_cast<std::size_t>(shown) < entries.size())
        onShow = entries[static_cast<std::size_t>(shown)].columns;
    m_logs = std::move(entries);
    const bool sameLog = onShow == m_columns;
    m_columns = std::move(onShow);
    m_session.reset();
    for (const LogEntry& entry : m_logs)
        if (entry.columns == m_columns)
            m_session = entry.session;
    refreshLogChoice();
    if (sameLog && m_columns) {
        recompute();
        return;
    }
    // A workspace the user opened or edited carries over to the next log (or
    // the same one read again); otherwise each log gets its default table.
    if (m_userWorkspace) {
        const int current = m_current;
        showWorkspace();
        selectTable(current);
        return;
    }
    // The default tables replace the others; an edited chart page, which is
    // not the tables' to drop, stays (markers belong to the logs they were
    // saved with, and go).
    Workspace workspace;
    if (m_columns)
        guardedEdit(m_status, [&] { workspace = defaultWorkspace(*m_columns); });
    workspace.charts = std::move(m_workspace->charts);
    setWorkspace(std::move(workspace));
    m_userWorkspace = false;
}

void TablesTab::setWorkspace(Workspace workspace)
{
    *m_workspace = std::move(workspace);
    showWorkspace();
}

void TablesTab::showWorkspace()
{
    m_current = m_workspace->tables.empty() ? -1 : 0;
    m_shown.reset();
    loadCorrections();
    m_suggested.clear();
    m_channelsDialog->setChannels(m_workspace->channels);
    refreshNames();
    refreshList();
    loadEditor();
    recompute();
    emit channelsChanged();
}

void TablesTab::setChannels(std::vector<Channel> channels)
{
    m_userWorkspace = true;
    m_workspace->channels = std::move(channels);
    refreshNames();
    m_channelsDialog->setErrors(channelErrors());
    recompute();
    emit channelsChanged();
}

std::vector<EditorError> TablesTab::channelErrors() const
{
    if (!m_columns)
        return {};
    std::vector<EditorError> errors;
    guardedEdit(m_status, [&] { errors = checkChannels(m_columns->paramNames(), *m_workspace); });
    return errors;
}

void TablesTab::showChannelsEditor()
{
    m_channelsDialog->setChannels(m_workspace->channels);
    m_channelsDialog->setErrors(channelErrors());
    m_channelsDialog->show();
    m_channelsDialog->raise();
    m_channelsDialog->activateWindow();
}

QStringList TablesTab::expressionNames() const
{
    QStringList names;
    if (m_columns) {
        const std::vector<std::string>& params = m_columns->paramNames();
        const long long count = static_cast<long long>(params.size()) - 1;
        for (long long p = 0; p < count; ++p) {
            const std::string reference = parameterReference(params, p);
            if (reference.front() != '#')
                names << QString::fromStdString(displayText(reference));
        }
    }
    for (const Channel& channel : m_workspace->channels)
        if (!channel.name.empty())
            names << fromStd(channel.name);
    names.removeDuplicates();
    return names;
}

void TablesTab::refreshNames()
{
    const QStringList names = expressionNames();
    for (NameCompleter* completer : m_completers)
        completer->setNames(names);
    m_channelsDialog->setNames(names);
}

void TablesTab::refreshList()
{
    m_loading = true;
    m_list->clear();
    for (const Table& table : m_workspace->tables)
        m_list->addItem(fromStd(table.name));
    m_list->setCurrentRow(m_current);
    m_loading = false;
}

void TablesTab::selectTable(int index)
{
    if (index < -1 || index >= static_cast<int>(m_workspace->tables.size()) || index == m_current)
        return;
    m_current = index;
    m_shown.reset();
    loadCorrections();
    m_suggested.clear();
    m_loading = true;
    m_list->setCurrentRow(index);
    m_loading = false;
    loadEditor();
    recompute();
}

void TablesTab::addTable()
{
    m_userWorkspace = true;
    Table table = m_current >= 0 ? m_workspace->tables[static_cast<std::size_t>(m_current)] : Table{};
    table.name = QStringLiteral("Table %1").arg(m_workspace->tables.size() + 1).toStdString();
    m_workspace->tables.push_back(std::move(table));
    refreshList();
    selectTable(static_cast<int>(m_workspace->tables.size()) - 1);
    m_name->setFocus();
    m_name->selectAll();
}

void TablesTab::removeTable()
{
    if (m_current < 0)
        return;
    m_userWorkspace = true;
    m_workspace->tables.erase(m_workspace->tables.begin() + m_current);
    const int next = std::min(m_current, static_cast<int>(m_workspace->tables.size()) - 1);
    m_current = -2;  // forces selectTable to load
    refreshList();
    m_current = -1;
    selectTable(next);
    if (next < 0) {
        loadEditor();
        recompute();
    }
}

void TablesTab::loadEditor()
{
    m_loading = true;
    const bool any = m_current >= 0;
    const Table empty;
    const Table& t = any ? m_workspace->tables[static_cast<std::size_t>(m_current)] : empty;
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_x, m_y, m_z, m_xAxis, m_yAxis, m_stat, m_minHits,
                                                      m_target, m_filter, m_remove})
        w->setEnabled(any);
    m_name->setText(fromStd(t.name));
    m_x->setText(fromStd(t.x));
    m_y->setText(fromStd(t.y));
    m_z->setText(fromStd(t.z));
    m_xAxis->setText(fromStd(axisText(t.xAxis)));
    m_yAxis->setText(fromStd(axisText(t.yAxis)));
    m_stat->setCurrentIndex(std::max(0, m_stat->findText(fromStd(std::string(workbench::statName(t.stat))))));
    m_minHits->setValue(std::clamp(t.minHits, 1, 1000000));
    m_target->setText(t.target ? fromStd(workbench::formatBreakpoint(*t.target)) : QString());
    m_filter->setText(fromStd(t.filter));
    m_loading = false;
}

// ---------------------------------------------------------------- editing

void TablesTab::onFieldEdited(TableField field)
{
    if (m_loading || m_current < 0)
        return;
    m_userWorkspace = true;
    Table& t = m_workspace->tables[static_cast<std::size_t>(m_current)];
    // Fields read as text first: a value that cannot be read keeps the draft
    // as it was and shows why, under the field.
    std::optional<EditorError> bad;
    switch (field) {
    case TableField::X: t.x = m_x->text().toStdString(); break;
    case TableField::Y:
        // Only spaces: no y, a 1-D table.
        t.y = m_y->text().trimmed().isEmpty() ? std::string() : m_y->text().toStdString();
        break;
    case TableField::Z: t.z = m_z->text().toStdString(); break;
    case TableField::Filter: t.filter = m_filter->text().toStdString(); break;
    case TableField::Stat:
        t.stat = workbench::statFromName(m_stat->currentText().toStdString()).value_or(workbench::Stat::Mean);
        break;
    case TableField::MinHits: t.minHits = m_minHits->value(); break;
    case TableField::XAxis:
    case TableField::YAxis: {
        const bool isX = field == TableField::XAxis;
        const std::string text = (isX ? m_xAxis : m_yAxis)->text().toStdString();
        ParsedAxis axis = parseAxisText(text, isX ? "x axis" : "y axis");
        if (axis.ok())
            (isX ? t.xAxis : t.yAxis) = std::move(axis.values);
        else
            bad = EditorError{field, axis.error->message, text, axis.error->place, 0};
        break;
    }
    case TableField::Target: {
        const std::string text = m_target->text().toStdString();
        if (trimSpaces(text).empty()) {
            t.target.reset();
        } else if (const std::optional<double> value = parseNumber(text)) {
            t.target = *value;
        } else {
            bad = EditorError{field, "target: \"" + std::string(trimSpaces(text)) + "\" is not a number", text,
                             {0, text.size()}, 0};
        }
        break;
    }
    case TableField::Channel: break;
    }
    m_typingPause->stop();
    if (bad) {
        // The table stays as it was; only this field's error changes.
        QLabel* label = m_errors[static_cast<std::size_t>(field)];
        label->setText(errorHtml(*bad));
        label->show();
        m_status->setText(QStringLiteral("Fix the marked field; the table shows its last good state."));
        setStale(m_shown.has_value());
        return;
    }
    // Read, but clearly not typed to its end ("20 30 " of an axis): the
    // table waits for a pause rather than showing every step on the way.
    const std::map<TableField, QLineEdit*> texts{{TableField::XAxis, m_xAxis},
                                                 {TableField::YAxis, m_yAxis},
                                                 {TableField::Filter, m_filter}};
    if (const auto typed = texts.find(field);
        typed != texts.end() && typed->second->hasFocus() &&
        looksMidTyping(field, typed->second->text().toStdString())) {
        QLabel* label = m_errors[static_cast<std::size_t>(field)];
        label->clear();
        label->hide();
        setStale(m_shown.has_value());
        m_status->setText(QStringLiteral("The table follows when the typing pauses (or on Enter)."));
        m_typingPause->start();
        return;
    }
    recompute();
}

void TablesTab::flushTyping()
{
    if (m_typingPause->isActive()) {
        m_typingPause->stop();
        recompute();
    }
}

void TablesTab::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    showAsStale(m_grid, stale);
}

void TablesTab::recompute()
{
    m_typingPause->stop();
    guardedEdit(m_status, [this] {
        if (!m_columns || m_current < 0) {
            setStale(false);
            showErrors({});
            m_grid->clearTints();
            m_grid->setRowCount(0);
            m_grid->setColCount(0);
            m_status->setText(m_columns ? QStringLiteral("No table: Add one.") : QStringLiteral("No log open."));
            m_shown.reset();
            showSuggested();
            return;
        }
        QElapsedTimer clock;
        clock.start();
        if (m_against) {
            for (const LogEntry& entry : m_logs)
                if (entry.columns == m_against) {
                    recomputeDifference(*entry.session, entry.name);
                    return;
                }
        }
        m_difference.reset();
        const std::vector<workbench::LogSession*> pool = pooledSessions();
        TableOutcome outcome = computeShownTable(pool, *m_workspace, static_cast<std::size_t>(m_current));
        m_lastMillis = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        showErrors(outcome.errors);
        if (!outcome.table) {
            m_status->setText(m_shown ? QStringLiteral("Fix the marked field; the table shows its last good state.")
                                      : QStringLiteral("Fix the marked field to see the table."));
            setStale(m_shown.has_value());
            return;
        }
        setStale(false);
        m_shown = std::move(outcome.table);
        // A pasted map of another shape no longer fits: the axes changed.
        if (m_oldMap && (m_oldMap->rows != m_shown->rows || m_oldMap->cols != m_shown->cols)) {
            m_oldMap.reset();
            m_locks.clear();
            keepCorrections();
        }
        showTable(*m_shown);
        std::int64_t takes = 0;
        for (const workbench::LogSession* session : pool)
            takes += static_cast<std::int64_t>(session->takes());
        m_status->setText(QStringLiteral("%1 of %2 takes in the table%3 · %4 ms")
                              .arg(m_shown->takesInTable)
                              .arg(takes)
                              .arg(pool.size() > 1 ? QStringLiteral(", %1 logs pooled").arg(pool.size()) : QString())
                              .arg(m_lastMillis, 0, 'f', 1));
        showSuggested();
    });
}

void TablesTab::showErrors(const std::vector<EditorError>& errors)
{
    for (QLabel* label : m_errors) {
        label->clear();
        label->hide();
    }
    for (const EditorError& error : errors) {
        if (error.field == TableField::Channel)
            continue;
        QLabel* label = m_errors[static_cast<std::size_t>(error.field)];
        if (label->isHidden()) {
            label->setText(errorHtml(error));
            label->show();
        }
    }
}

void TablesTab::showTable(const ShownTable& table)
{
    m_grid->clearTints();
    m_grid->setRowCount(0);
    m_grid->setColCount(static_cast<int>(table.cols) + 1);
    appendLines(m_grid, table.texts);
    m_grid->setCellText(CellRange::cell(0, 0), cornerText());
    for (std::size_t r = 0; r < table.rows; ++r)
        for (std::size_t c = 0; c < table.cols; ++c) {
            const ShownCell& cell = table.at(r, c);
            const int row = static_cast<int>(r) + 1;
            const int col = static_cast<int>(c) + 1;
            if (cell.tint)
                m_grid->setCellTint(row, col, toColor(*cell.tint));
            m_grid->setCellToolTip(row, col, fromStd(cell.toolTip));
        }
    fitColumns(m_grid);
}

void TablesTab::onCellsSelected()
{
    if (m_shown)
        emit takesSelected(selectedTakes(), m_shown->zParam());
}

std::vector<int> TablesTab::selectedTakes() const
{
    std::vector<int> takes;
    if (!m_shown)
        return takes;
    // The takes of the log on show, wherever it stands in the pool.
    const std::vector<workbench::LogSession*> pool = pooledSessions();
    const auto inPool = std::find(pool.begin(), pool.end(), m_session.get());
    if (inPool == pool.end())
        return takes;
    const auto shownInPool = static_cast<std::uint32_t>(inPool - pool.begin());
    for (const QModelIndex& index : m_grid->selectionModel()->selectedIndexes()) {
        const auto r = static_cast<std::size_t>(index.row());
        const auto c = static_cast<std::size_t>(index.column());
        if (r < m_shown->rows && c < m_shown->cols) {
            const std::vector<int> cell = m_shown->takesOfLog(r * m_shown->cols + c, shownInPool);
            takes.insert(takes.end(), cell.begin(), cell.end());
        }
    }
    std::sort(takes.begin(), takes.end());
    takes.erase(std::unique(takes.begin(), takes.end()), takes.end());
    return takes;
}

const ShownTable* TablesTab::shownTable() const noexcept
{
    return m_shown ? &*m_shown : nullptr;
}

// ---------------------------------------------------------------- copy, export

bool TablesTab::openWorkspace(const QString& path, QString* error)
{
    // The one reading of workspace files: a FIFO or device is refused at
    // once rather than waited on or read for ever.
    const workbench::WorkspaceBytes bytes = workbench::readWorkspaceBytes(QFile::encodeName(path).toStdString());
    if (!bytes.ok()) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, fromStd(bytes.reason));
        return false;
    }
    workbench::WorkspaceResult read = workbench::parseWorkspace(*bytes.text);
    if (!read.ok()) {
        if (error)
            *error = QStringLiteral("%1 is not a workspace: %2").arg(path, fromStd(read.error));
        return false;
    }
    setWorkspace(std::move(*read.workspace));
    m_userWorkspace = true;
    emit workspaceOpened();
    return true;
}

bool TablesTab::saveWorkspace(const QString& path, QString* error) const
{
    Workspace saved = *m_workspace;
    // A 1-D table keeps no y breakpoints the user typed before clearing y.
    for (Table& table : saved.tables)
        if (!table.twoD())
            table.yAxis.clear();
    return writeText(path, workbench::workspaceToJson(saved), error);
}

QString TablesTab::copyTable()
{
    flushTyping();
    const TextTable* texts = shownTexts();
    if (!texts)
        return {};
    const QString text = fromStd(tabText(*texts));
    QApplication::clipboard()->setText(text);
    return text;
}

bool TablesTab::exportTable(const QString& path, QString* error)
{
    const TextTable* texts = shownTexts();
    if (!texts) {
        if (error)
            *error = QStringLiteral("There is no table to export.");
        return false;
    }
    return writeText(path, csvText(*texts), error);
}

// ---------------------------------------------------------------- corrections

bool TablesTab::pasteMap(const QString& text)
{
    flushTyping();  // the map is read in the shape of the axes as typed
    if (!m_shown) {
        m_mapError->setText(QStringLiteral("Build a table first: the map is read in its shape."));
        return false;
    }
    const std::string bytes = text.toStdString();
    ParsedMap map = parseMapText(bytes, m_shown->rows, m_shown->cols);
    if (!map.ok()) {
        EditorError error{TableField::Channel, map.error->message, {}, {}, 0};
        // Mark the place inside its line when the fault lies in one.
        if (map.error->place.length < bytes.size()) {
            const std::size_t start = bytes.rfind('\n', map.error->place.offset == 0 ? 0 : map.error->place.offset - 1);
            const std::size_t lineStart = start == std::string::npos ? 0 : start + 1;
            const std::size_t lineEnd = std::min(bytes.find('\n', map.error->place.offset), bytes.size());
            error.text = bytes.substr(lineStart, lineEnd - lineStart);
            error.place = {map.error->place.offset - lineStart, map.error->place.length};
        }
        m_mapError->setText(errorHtml(error));
        return false;
    }
    m_oldMap = std::move(map);
    m_locks.assign(m_oldMap->values.size(), 0);
    m_userWorkspace = true;
    keepCorrections();
    showSuggested();
    return true;
}

void TablesTab::toggleLock(std::size_t row, std::size_t col)
{
    if (!m_oldMap || row >= m_oldMap->rows || col >= m_oldMap->cols)
        return;
    std::uint8_t& lock = m_locks[row * m_oldMap->cols + col];
    lock = lock ? 0 : 1;
    m_userWorkspace = true;
    keepCorrections();
    showSuggested();
}

void TablesTab::keepCorrections()
{
    if (m_current < 0)
        return;
    Corrections kept;
    kept.limitPercent = m_limit->value();
    if (m_oldMap) {
        kept.map = m_oldMap->values;
        kept.decimals = m_oldMap->decimals;
        for (std::size_t i = 0; i < m_locks.size(); ++i)
            if (m_locks[i])
                kept.locked.push_back(i);
    }
    std::optional<Corrections>& corrections = m_workspace->tables[static_cast<std::size_t>(m_current)].corrections;
    corrections = kept == Corrections{} ? std::nullopt : std::optional<Corrections>(std::move(kept));
}

void TablesTab::loadCorrections()
{
    m_oldMap.reset();
    m_locks.clear();
    const Table* table = m_current >= 0 ? &m_workspace->tables[static_cast<std::size_t>(m_current)] : nullptr;
    const std::optional<Corrections> kept = table ? table->corrections : std::nullopt;
    {
        const QSignalBlocker quiet(m_limit);
        m_limit->setValue(kept ? kept->limitPercent : kDefaultCorrectionLimitPercent);
    }
    const std::size_t rows = table ? table->rowCount() : 0;
    const std::size_t cols = table ? table->columnCount() : 0;
    if (!kept || kept->map.empty() || kept->map.size() != rows * cols)
        return;
    m_oldMap = ParsedMap{rows, cols, kept->map, kept->decimals, std::nullopt};
    m_locks.assign(kept->map.size(), 0);
    for (const std::size_t cell : kept->locked)
        if (cell < m_locks.size())
            m_locks[cell] = 1;
}

void TablesTab::showSuggested()
{
    m_suggested.clear();
    m_suggestedGrid->clearTints();
    m_suggestedGrid->setRowCount(0);
    m_suggestedGrid->setColCount(0);
    if (!m_shown || !m_oldMap) {
        if (!m_shown || m_mapError->text().isEmpty())
            m_mapError->setText(QStringLiteral("Paste the engine computer's current map for these axes to see "
                                               "the suggested new map."));
        return;
    }
    const Table& draft = m_workspace->tables[static_cast<std::size_t>(m_current)];
    if (!draft.target) {
        m_mapError->setText(QStringLiteral("Set a target: each cell becomes old × mean ÷ target."));
        return;
    }
    std::vector<CellEvidence> evidence;
    evidence.reserve(m_shown->cells.size());
    for (const ShownCell& cell : m_shown->cells)
        evidence.push_back({cell.count, cell.mean});
    try {
        m_suggested = suggestCorrections(m_oldMap->values, evidence, m_locks,
                                         {*draft.target, draft.minHits, m_limit->value()});
    } catch (const std::invalid_argument& e) {
        m_mapError->setText(QStringLiteral("No suggestion: %1.").arg(QString::fromUtf8(e.what())));
        return;
    }
    m_suggestedGrid->setColCount(static_cast<int>(m_shown->cols) + 1);
    const int decimals = suggestedDecimals(*m_oldMap);
    appendLines(m_suggestedGrid, mapTextTable(m_shown->xAxis, m_shown->yAxis, valuesOf(m_suggested), decimals));
    m_suggestedGrid->setCellText(CellRange::cell(0, 0), QStringLiteral("suggested"));
    int changed = 0;
    for (std::size_t r = 0; r < m_shown->rows; ++r)
        for (std::size_t c = 0; c < m_shown->cols; ++c) {
            const std::size_t i = r * m_shown->cols + c;
            const CorrectedCell& cell = m_suggested[i];
            const double old = m_oldMap->values[i];
            const int row = static_cast<int>(r) + 1;
            const int col = static_cast<int>(c) + 1;
            QString tip = QStringLiteral("Old %1").arg(fromStd(mapValueText(old, decimals)));
            switch (cell.kind) {
            case CorrectionKind::Locked:
                m_suggestedGrid->setCellTint(row, col, QColor(kLockedTint));
                tip += QStringLiteral("\nLocked: unchanged");
                break;
            case CorrectionKind::Unchanged:
                tip += QStringLiteral("\nToo few takes: unchanged");
                break;
            case CorrectionKind::Corrected:
            case CorrectionKind::Limited: {
                ++changed;
                const double percent = old != 0 ? (cell.value / old - 1) * 100 : 0;
                // Diverging around no change, full colour at the limit.
                const TintScale scale{0.0, 0.0, 0.0, std::max(m_limit->value(), 1.0)};
                m_suggestedGrid->setCellTint(row, col, toColor(*tableTint(percent, scale, false)));
                tip += QStringLiteral("\nNew %1 (%2%3 %)")
                           .arg(fromStd(mapValueText(cell.value, decimals)), percent >= 0 ? QStringLiteral("+") : QString(),
                                QString::number(percent, 'f', 1));
                if (cell.kind == CorrectionKind::Limited) {
                    m_suggestedGrid->setCellBold(CellRange::cell(row, col), true);
                    tip += QStringLiteral("\nHeld at the limit");
                }
                break;
            }
            }
            m_suggestedGrid->setCellToolTip(row, col, tip);
        }
    fitColumns(m_suggestedGrid);
    m_mapError->setText(QStringLiteral("%1 cells changed; bold: held at the limit; grey: locked (double-click a cell "
                                       "to lock it).")
                            .arg(changed));
}

QString TablesTab::copySuggestedMap()
{
    if (m_suggested.empty() || !m_shown)
        return {};
    const QString text = fromStd(tabValuesText(
        mapTextTable(m_shown->xAxis, m_shown->yAxis, valuesOf(m_suggested), suggestedDecimals(*m_oldMap))));
    QApplication::clipboard()->setText(text);
    return text;
}

bool TablesTab::exportSuggestedMap(const QString& path, QString* error)
{
    if (m_suggested.empty() || !m_shown) {
        if (error)
            *error = QStringLiteral("There is no suggested map to export: paste the current map first.");
        return false;
    }
    return writeText(
        path, csvText(mapTextTable(m_shown->xAxis, m_shown->yAxis, valuesOf(m_suggested), suggestedDecimals(*m_oldMap))),
        error);
}

}  // namespace dlv

// ---------------------------------------------------------------- open logs

namespace dlv {

QWidget* TablesTab::buildLogChoice(QWidget* parent)
{
    m_logChoice = new QWidget(parent);
    m_logChoice->setObjectName(QStringLiteral("tableLogChoice"));
    m_pool = new QComboBox(m_logChoice);
    m_pool->setObjectName(QStringLiteral("tablePool"));
    m_pool->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_compare = new QComboBox(m_logChoice);
    m_compare->setObjectName(QStringLiteral("tableCompare"));
    m_compare->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_percent = new QCheckBox(QStringLiteral("In percent"), m_logChoice);
    m_percent->setObjectName(QStringLiteral("tablePercent"));
    auto* over = new QLabel(QStringLiteral("&Over:"), m_logChoice);
    over->setBuddy(m_pool);
    auto* minus = new QLabel(QStringLiteral("&Minus:"), m_logChoice);
    minus->setBuddy(m_compare);
    auto* layout = new QHBoxLayout(m_logChoice);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(over);
    layout->addWidget(m_pool);
    layout->addSpacing(12);
    layout->addWidget(minus);
    layout->addWidget(m_compare);
    layout->addWidget(m_percent);
    layout->addStretch(1);
    m_logChoice->hide();

    connect(m_pool, &QComboBox::activated, this, [this](int index) {
        const int choice = m_pool->itemData(index).toInt();
        m_poolChoice = choice < 2 ? choice : 2;
        m_poolLog = choice >= 2 ? m_logs[static_cast<std::size_t>(choice - 2)].columns : nullptr;
        recompute();
    });
    connect(m_compare, &QComboBox::activated, this, [this](int index) {
        const int choice = m_compare->itemData(index).toInt();
        m_against = choice >= 0 ? m_logs[static_cast<std::size_t>(choice)].columns : nullptr;
        m_percent->setEnabled(m_against != nullptr);
        recompute();
    });
    connect(m_percent, &QCheckBox::toggled, this, [this] {
        if (m_difference)
            showDifference(*m_difference);
    });
    return m_logChoice;
}

// The choices name the logs as the window's log bar does; a chosen log that
// was closed gives way to the log on show and no comparison.
void TablesTab::refreshLogChoice()
{
    const auto isOpen = [this](const std::shared_ptr<ColumnCache>& columns) {
        return std::any_of(m_logs.begin(), m_logs.end(), [&](const LogEntry& e) { return e.columns == columns; });
    };
    if (m_poolChoice == 2 && !isOpen(m_poolLog)) {
        m_poolChoice = 0;
        m_poolLog = nullptr;
    }
    if (m_against && !isOpen(m_against))
        m_against = nullptr;
    if (m_logs.size() < 2) {
        m_poolChoice = 0;
        m_poolLog = nullptr;
        m_against = nullptr;
    }

    const QSignalBlocker poolBlocker(m_pool);
    const QSignalBlocker compareBlocker(m_compare);
    m_pool->clear();
    m_pool->addItem(QStringLiteral("the log on show"), 0);
    m_pool->addItem(QStringLiteral("all %1 open logs, pooled").arg(m_logs.size()), 1);
    m_compare->clear();
    m_compare->addItem(QStringLiteral("nothing"), -1);
    for (std::size_t i = 0; i < m_logs.size(); ++i) {
        m_pool->addItem(m_logs[i].name, static_cast<int>(i) + 2);
        m_compare->addItem(m_logs[i].name, static_cast<int>(i));
        if (m_poolChoice == 2 && m_logs[i].columns == m_poolLog)
            m_pool->setCurrentIndex(m_pool->count() - 1);
        if (m_logs[i].columns == m_against)
            m_compare->setCurrentIndex(m_compare->count() - 1);
    }
    if (m_poolChoice < 2)
        m_pool->setCurrentIndex(m_poolChoice);
    m_percent->setEnabled(m_against != nullptr);
    m_logChoice->setVisible(m_logs.size() >= 2);
}

std::vector<workbench::LogSession*> TablesTab::pooledSessions() const
{
    std::vector<workbench::LogSession*> pool;
    for (const LogEntry& entry : m_logs) {
        const bool chosen = m_poolChoice == 1 || (m_poolChoice == 2 && entry.columns == m_poolLog) ||
                            (m_poolChoice == 0 && entry.columns == m_columns);
        if (chosen)
            pool.push_back(entry.session.get());
    }
    if (pool.empty() && m_session)
        pool.push_back(m_session.get());
    return pool;
}

QString TablesTab::pooledName() const
{
    if (m_poolChoice == 1)
        return QStringLiteral("all %1 open logs").arg(m_logs.size());
    const std::shared_ptr<ColumnCache>& log = m_poolChoice == 2 ? m_poolLog : m_columns;
    for (const LogEntry& entry : m_logs)
        if (entry.columns == log)
            return entry.name;
    return QStringLiteral("the log on show");
}

void TablesTab::recomputeDifference(workbench::LogSession& against, const QString& againstName)
{
    QElapsedTimer clock;
    clock.start();
    workbench::LogSession* const a = &against;
    const std::vector<workbench::LogSession*> b = pooledSessions();
    DifferenceOutcome outcome =
        computeShownDifference(SessionList(&a, 1), b, *m_workspace, static_cast<std::size_t>(m_current));
    m_lastMillis = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    showErrors(outcome.errors);
    if (!outcome.table) {
        m_status->setText(m_difference ? QStringLiteral("Fix the marked field; the table shows its last good state.")
                                       : QStringLiteral("Fix the marked field to see the difference."));
        return;
    }
    // No table of takes stands behind a difference: the corrections and the
    // way to the General tab wait for the table itself.
    m_shown.reset();
    m_difference = std::move(outcome.table);
    showDifference(*m_difference);
    std::size_t both = 0;
    for (const DifferenceShownCell& cell : m_difference->cells)
        both += cell.numbers.difference.has_value() ? 1 : 0;
    m_status->setText(QStringLiteral("%1 minus %2: %3 of %4 cells · %5 ms")
                          .arg(pooledName(), againstName)
                          .arg(both)
                          .arg(m_difference->cells.size())
                          .arg(m_lastMillis, 0, 'f', 1));
    showSuggested();
}

void TablesTab::showDifference(const ShownDifference& difference)
{
    const bool percent = m_percent->isChecked();
    m_grid->clearTints();
    m_grid->setRowCount(0);
    m_grid->setColCount(static_cast<int>(difference.cols) + 1);
    appendLines(m_grid, percent ? difference.percentTexts : difference.texts);
    m_grid->setCellText(CellRange::cell(0, 0), cornerText() + (percent ? QStringLiteral(" (B - A, %)")
                                                                         : QStringLiteral(" (B - A)")));
    for (std::size_t r = 0; r < difference.rows; ++r)
        for (std::size_t c = 0; c < difference.cols; ++c) {
            const DifferenceShownCell& cell = difference.at(r, c);
            const int row = static_cast<int>(r) + 1;
            const int col = static_cast<int>(c) + 1;
            if (const std::optional<Rgb>& tint = percent ? cell.percentTint : cell.tint)
                m_grid->setCellTint(row, col, toColor(*tint));
            m_grid->setCellToolTip(row, col, fromStd(cell.toolTip));
        }
    fitColumns(m_grid);
}

const ShownDifference* TablesTab::shownDifference() const noexcept
{
    return m_difference ? &*m_difference : nullptr;
}

const TextTable* TablesTab::shownTexts() const
{
    if (m_difference)
        return m_percent->isChecked() ? &m_difference->percentTexts : &m_difference->texts;
    return m_shown ? &m_shown->texts : nullptr;
}

QString TablesTab::cornerText() const
{
    if (m_current < 0)
        return {};
    const Table& draft = m_workspace->tables[static_cast<std::size_t>(m_current)];
    const LogChannels* log = m_columns ? m_columns->log().get() : nullptr;
    return fromStd(draft.twoD() ? expressionHeading(log, draft.y) + " / " + expressionHeading(log, draft.x)
                                : expressionHeading(log, draft.x));
}

}  // namespace dlv
