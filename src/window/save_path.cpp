#include "window/save_path.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace dlv {

QString withChosenExtension(const QString& chosen, const QString& selectedFilter)
{
    if (chosen.isEmpty() || chosen.endsWith(QLatin1Char('/')) || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(selectedFilter);
    return match.hasMatch() ? chosen + QLatin1Char('.') + match.captured(1) : chosen;
}

QString askSavePath(QWidget* parent, const QString& title, const QString& filters)
{
    QString selected = filters.section(QStringLiteral(";;"), 0, 0);
    const QString chosen = QFileDialog::getSaveFileName(parent, title, QString(), filters, &selected);
    return withChosenExtension(chosen, selected);
}

}  // namespace dlv
