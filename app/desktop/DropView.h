#pragma once
// The queue table, which is also the window's drop target: it takes lists of files dragged
// from a file manager and hands each path on as a "DropViewAddFileMsg" with the user info
// {"filename": path}, in the order of the dragged list. While the queue is empty it shows
// the drop prompt over its empty area.

#include <QLabel>
#include <QTableView>
#include <QVariantMap>

namespace quiramo::desktop {

class DropView : public QTableView {
    Q_OBJECT
  public:
    explicit DropView(QWidget* parent = nullptr);

    QLabel* dragDropPrompt() const { return dragDropPrompt_; }

  signals:
    void dropViewAddFileMsg(const QVariantMap& userInfo);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* dragDropPrompt_;
};

}  // namespace quiramo::desktop
