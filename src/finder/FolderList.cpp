#include "finder/FolderList.h"

#include "finder/FinderPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QStyledItemDelegate>

#include <algorithm>

namespace korsa {

namespace {

constexpr int IndentStep = 9;

// Draws each entry moved in by its level.
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem moved(option);
        moved.rect.setLeft(moved.rect.left() + Indent(index));
        QStyledItemDelegate::paint(painter, moved, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += Indent(index);
        return size;
    }

private:
    static int Indent(const QModelIndex &index) { return index.data(FolderList::LevelRole).toInt() * IndentStep; }
};

// A small manila folder, drawn open (flap folded forward) or closed.
QIcon FolderIcon(bool open)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0, 0, 0));
    const QColor back(192, 192, 0);
    const QColor front(255, 255, 0);
    // The back with its tab.
    painter.setBrush(back);
    painter.drawPolygon(
        QPolygon({QPoint(1, 3), QPoint(6, 3), QPoint(7, 4), QPoint(13, 4), QPoint(13, 13), QPoint(1, 13)}));
    painter.setBrush(front);
    if (open) {
        painter.setBrush(QColor(255, 255, 255));
        painter.drawRect(3, 5, 9, 5);
        painter.setBrush(front);
        painter.drawPolygon(QPolygon({QPoint(4, 7), QPoint(15, 7), QPoint(12, 13), QPoint(1, 13)}));
    } else {
        painter.drawRect(1, 6, 12, 7);
    }
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Selected);
    return icon;
}

} // namespace

FolderList::FolderList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("dirList"));
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setIconSize(QSize(16, 16));
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) { SetPath(item->data(PathRole).toString()); });
}

QString FolderList::Path() const { return path_; }

bool FolderList::SetPath(const QString &path)
{
    const QString folder = finder::CleanFolder(path);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        // The entry may name a folder that has gone: show what is there now.
        if (!path_.isEmpty())
            Relist();
        return false;
    }
    if (folder == path_)
        return true;
    path_ = folder;
    Relist();
    emit PathChanged();
    return true;
}

QString FolderList::HighlightedPath() const
{
    const QListWidgetItem *item = currentItem();
    return item ? item->data(PathRole).toString() : path_;
}

void FolderList::focusOutEvent(QFocusEvent *event)
{
    QListWidget::focusOutEvent(event);
    lastFocusOutReason_ = event->reason();
    // Switching to another window is no move within the dialog.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit LostFocus();
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    // Enter opens the highlighted folder, as a double-click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        SetPath(HighlightedPath());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::Relist()
{
    static const QIcon openIcon = FolderIcon(true);
    static const QIcon closedIcon = FolderIcon(false);

    // A folder that cannot be read simply lists no subfolders. Hidden ones are listed too: Steam
    // keeps its libraries below ~/.local and ~/.steam.
    QStringList subfolders = QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    std::sort(subfolders.begin(), subfolders.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });

    const QSignalBlocker blocker(this);
    clear();
    const QStringList chain = finder::FolderChain(path_);
    QListWidgetItem *current = nullptr;
    for (int level = 0; level < chain.size(); ++level) {
        auto *entry = new QListWidgetItem(openIcon, finder::FolderDisplayName(chain.at(level)), this);
        entry->setData(PathRole, chain.at(level));
        entry->setData(LevelRole, level);
        current = entry;
    }
    for (const QString &name : subfolders) {
        auto *entry = new QListWidgetItem(closedIcon, name, this);
        entry->setData(PathRole, finder::ChildFolder(path_, name));
        entry->setData(LevelRole, chain.size());
    }
    setCurrentItem(current);
    if (current)
        scrollToItem(current);
}

} // namespace korsa
