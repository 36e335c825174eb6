#pragma once

#include "render/fit_text.h"

#include <QFont>
#include <QLabel>
#include <QSize>
#include <QString>

namespace dlv {

// A label that shows its whole text inside its box: the text is drawn at the
// largest size of the label's font, down to kMinPointSize, that fits the
// contents rectangle (see fitText); font() stays the design font.
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
    // Worked out again when the text, the box or the font changes.
    const FittedText& fit() const;

    mutable QString m_fitText;
    mutable QSize m_fitBox;
    mutable QFont m_fitBase;
    mutable FittedText m_fit;
};

}  // namespace dlv
