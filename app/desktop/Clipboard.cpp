#include "app/desktop/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

namespace quiramo::desktop {

Clipboard::Clipboard() : pasteBoard_(QGuiApplication::clipboard()) {}

bool Clipboard::writeToPasteBoard(const std::vector<std::string>& lines) {
    if (!pasteBoard_) return false;
    QStringList text;
    for (const auto& line : lines) text << QString::fromStdString(line);
    const QString joined = text.join(QLatin1Char('\n'));
    pasteBoard_->setText(joined);
    return pasteBoard_->text() == joined;
}

}  // namespace quiramo::desktop
