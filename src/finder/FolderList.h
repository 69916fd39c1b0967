#pragma once

#include <QListWidget>
#include <QString>

namespace korsa {

// A folder list in the classic style: the current folder shown open with its parents above it
// (root first, each one step further in) and its subfolders below it, one step further in again.
// A click or the arrow keys highlight an entry; a double-click or Enter opens it. Every change of the
// current folder, by the user or by the program, raises PathChanged.
class FolderList : public QListWidget
{
    Q_OBJECT

public:
    explicit FolderList(QWidget *parent = nullptr);

    // The current folder; empty until one is set.
    QString Path() const;
    // Makes the folder current and lists it. A bare drive means its root. Returns false, changing
    // nothing, when the folder does not exist. A folder whose entries cannot be read is shown
    // without subfolders.
    bool SetPath(const QString &path);
    // The full path of the highlighted entry (the current folder when nothing else is).
    QString HighlightedPath() const;
    // The reason the keyboard focus last left the list.
    Qt::FocusReason LastFocusOutReason() const { return lastFocusOutReason_; }

    static constexpr int PathRole = Qt::UserRole;
    static constexpr int LevelRole = Qt::UserRole + 1;

signals:
    void PathChanged();
    void LostFocus();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Relist();

    QString path_;
    Qt::FocusReason lastFocusOutReason_ = Qt::OtherFocusReason;
};

} // namespace korsa
