#pragma once

#include <QFrame>
#include <QStringList>

class QLabel;
class QToolButton;

namespace dlv {

struct ReadResult;

// The reader's warnings as shown: one text per warning, in the reader's order.
[[nodiscard]] QStringList readWarningTexts(const ReadResult& result);

// A bar above the general data grid that says what was odd about the log just
// read ("3,412 takes have fewer fields than the names line"), one line per
// warning, with a close button. Not modal: the log is open and usable while
// it shows. Hidden while there is nothing to say.
class WarningBar final : public QFrame {
    Q_OBJECT
public:
    explicit WarningBar(QWidget* parent = nullptr);

    // Shows the warnings about the log named fileName, or hides the bar when
    // there are none. Each text starts with a capital letter here.
    // details: how a log of another format was read ("MLG 2, 782 channels,
    // ..."), shown first; empty for the own format.
    void showWarnings(const QString& fileName, const QStringList& warnings, const QString& details = {});
    [[nodiscard]] QStringList warnings() const { return m_warnings; }
    [[nodiscard]] QString text() const;

    // Hides the bar, as its close button does.
    void dismiss();

signals:
    // The user closed the bar.
    void dismissed();

private:
    QLabel* m_text = nullptr;
    QToolButton* m_close = nullptr;
    QStringList m_warnings;
};

}  // namespace dlv
