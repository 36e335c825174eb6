#pragma once

#include "datalog/display_text.h"

#include <QString>

#include <string_view>

namespace dlv {

// What a widget shows of log bytes (see shownText): bounded, UTF-8 or Latin-1.
[[nodiscard]] inline QString shownQString(std::string_view bytes, ShownTextOptions options = {})
{
    const std::string text = shownText(bytes, options);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The same bound for a text that is already a QString (messages, tooltips).
[[nodiscard]] inline QString shownQString(const QString& text)
{
    if (text.size() <= static_cast<qsizetype>(kMaxShownChars))
        return text;
    return text.left(static_cast<qsizetype>(kMaxShownChars)) + QChar(0x2026);
}

}  // namespace dlv
