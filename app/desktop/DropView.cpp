#include "app/desktop/DropView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "platform/Log.h"

namespace quiramo::desktop {

namespace {

QStringList localFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

// A drag is taken when it can be copied and carries at least one file.
bool acceptable(const QDropEvent* event) {
    return (event->possibleActions() & Qt::CopyAction) && !localFiles(event->mimeData()).isEmpty();
}

}  // namespace

DropView::DropView(QWidget* parent) : QTableView(parent), dragDropPrompt_(new QLabel(viewport())) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    dragDropPrompt_->setAlignment(Qt::AlignCenter);
    dragDropPrompt_->setWordWrap(true);
    dragDropPrompt_->setAttribute(Qt::WA_TransparentForMouseEvents);
    dragDropPrompt_->setForegroundRole(QPalette::PlaceholderText);
    QFont font = dragDropPrompt_->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    dragDropPrompt_->setFont(font);
}

void DropView::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptable(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DropView::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptable(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DropView::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
}

void DropView::dropEvent(QDropEvent* event) {
    if (!acceptable(event)) {
        event->ignore();
        return;
    }
    const QStringList paths = localFiles(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    platform::log("<Info> Number of files drag-and-dropped: %li", static_cast<long>(paths.size()));
    for (const QString& path : paths) emit dropViewAddFileMsg({{QStringLiteral("filename"), path}});
}

void DropView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    dragDropPrompt_->setGeometry(viewport()->rect().adjusted(24, 24, -24, -24));
}

}  // namespace quiramo::desktop
