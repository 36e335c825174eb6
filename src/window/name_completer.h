#pragma once

#include <QObject>
#include <QStringList>

class QCompleter;
class QLineEdit;
class QStringListModel;

namespace dlv {

// Completion of names inside an expression field: offers the log's
// parameters and the calculated channels for the word being typed (after
// an opening brace: everything since it), matching anywhere in the name, and
// puts the chosen name in place of that word, in braces where it needs them.
// Owned by the line edit it serves.
class NameCompleter final : public QObject {
    Q_OBJECT
public:
    explicit NameCompleter(QLineEdit* edit);

    // Names as they are written in expressions ("RPM", "{O2 (mV)}").
    void setNames(const QStringList& references);
    [[nodiscard]] QCompleter* completer() const noexcept { return m_completer; }

    // The word before the cursor that completion works on: where it starts
    // and what is matched. Start -1: nothing to complete.
    struct Word {
        int start = -1;
        QString prefix;
    };
    [[nodiscard]] static Word wordBefore(const QString& text, int cursor);

private:
    void onEdited();
    void insert(const QString& reference);

    QLineEdit* m_edit;
    QCompleter* m_completer;
    QStringListModel* m_model;
    bool m_inserting = false;  // our own textEdited after a completion
};

}  // namespace dlv
