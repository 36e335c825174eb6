#pragma once

#include <QFont>
#include <QLabel>
#include <QSize>
#include <QString>

namespace dlv {

// A label that shows its whole text inside its box: the text is drawn in the
// label's font at the largest size, in half points from the font's own size
// down to kMinPointSize, whose text fits the contents rectangle; a text that
// does not fit even then is cut with an ellipsis. font() stays the design
// font. The fit is worked out once per text and box size.
class FitLabel final : public QLabel {
    Q_OBJECT
public:
    static constexpr double kMinPointSize = 6.0;

    explicit FitLabel(const QString& text, QWidget* parent = nullptr);

    // What the current text is drawn in, and what is drawn of it.
    [[nodiscard]] QFont shownFont() const;
    [[nodiscard]] QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Fit {
        QString text;
        QSize box;
        QFont base;
        QFont font;
        QString shown;
    };
    const Fit& fit() const;

    mutable Fit m_fit;
};

}  // namespace dlv
