#include "window/name_completer.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

#include <algorithm>

namespace dlv {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

}  // namespace

NameCompleter::NameCompleter(QLineEdit* edit)
    : QObject(edit), m_edit(edit), m_completer(new QCompleter(this)), m_model(new QStringListModel(this))
{
    m_completer->setModel(m_model);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchContains);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setMaxVisibleItems(12);
    m_completer->setWidget(edit);
    connect(edit, &QLineEdit::textEdited, this, &NameCompleter::onEdited);
    connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this, &NameCompleter::insert);
}

void NameCompleter::setNames(const QStringList& references)
{
    m_model->setStringList(references);
}

NameCompleter::Word NameCompleter::wordBefore(const QString& text, int cursor)
{
    cursor = std::clamp(cursor, 0, static_cast<int>(text.size()));
    // Inside braces every character belongs to the name.
    const int open = text.lastIndexOf(QLatin1Char('{'), cursor - 1);
    if (open >= 0) {
        const int close = text.indexOf(QLatin1Char('}'), open);
        if (close < 0 || close >= cursor)
            return {open, text.mid(open + 1, cursor - open - 1)};
    }
    int start = cursor;
    while (start > 0 && isNameChar(text[start - 1]))
        --start;
    // A number or #N is not a name.
    if (start == cursor || text[start].isDigit() || (start > 0 && text[start - 1] == QLatin1Char('#')))
        return {};
    return {start, text.mid(start, cursor - start)};
}

void NameCompleter::onEdited()
{
    if (m_inserting)
        return;
    const Word word = wordBefore(m_edit->text(), m_edit->cursorPosition());
    if (word.start < 0) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->setCompletionPrefix(word.prefix);
    if (m_completer->completionCount() == 0) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->complete();
}

void NameCompleter::insert(const QString& reference)
{
    const QString text = m_edit->text();
    const int cursor = m_edit->cursorPosition();
    const Word word = wordBefore(text, cursor);
    if (word.start < 0)
        return;
    int end = cursor;
    if (text.mid(word.start, 1) == QStringLiteral("{") && end < text.size() && text[end] == QLatin1Char('}'))
        ++end;  // a closing brace typed ahead is replaced with the name
    const QString updated = text.left(word.start) + reference + text.mid(end);
    m_edit->setText(updated);
    m_edit->setCursorPosition(static_cast<int>(word.start + reference.size()));
    // The completion is an edit by the user: the table follows it.
    m_inserting = true;
    emit m_edit->textEdited(updated);
    m_inserting = false;
}

}  // namespace dlv
