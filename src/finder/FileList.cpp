#include "finder/FileList.h"

#include "finder/FinderPaths.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStyledItemDelegate>

#include <algorithm>

namespace korsa {

namespace {

// Rows a little taller than the text, so that underscores are not cut off.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 2);
    }
};

} // namespace

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("filList"));
    setItemDelegate(new RowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!selectedItems().isEmpty())
            emit FileClicked();
    });
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        if (item->isSelected())
            emit FileDoubleClicked();
    });
}

void FileList::SetPath(const QString &folder)
{
    path_ = finder::CleanFolder(folder);
    Relist();
}

void FileList::SetPattern(const QString &pattern)
{
    pattern_ = pattern;
    Relist();
}

QString FileList::FileName() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

bool FileList::SelectFile(const QString &name)
{
    const QList<QListWidgetItem *> found = findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    setCurrentItem(found.first());
    return true;
}

void FileList::IgnorePendingPress() { ignorePress_ = true; }

void FileList::mousePressEvent(QMouseEvent *event)
{
    if (ignorePress_) {
        ignorePress_ = false;
        ignoringClicks_ = true;
        ignoredPressAt_ = event->timestamp();
        event->accept();
        return;
    }
    // The second press of a double-click that began with an ignored press goes the same way.
    if (ignoringClicks_ && event->timestamp() >= ignoredPressAt_ &&
        event->timestamp() - ignoredPressAt_ <= quint64(QApplication::doubleClickInterval())) {
        event->accept();
        return;
    }
    ignoringClicks_ = false;
    QListWidget::mousePressEvent(event);
}

void FileList::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Only ever comes as part of a double-click: when its first press was ignored, so is this.
    if (ignoringClicks_) {
        ignoringClicks_ = false;
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

void FileList::Relist()
{
    QStringList names;
    if (!path_.isEmpty()) {
        const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern_),
                                            QRegularExpression::CaseInsensitiveOption);
        // A folder that cannot be read, or has gone, lists nothing.
        for (const QString &name : QDir(path_).entryList(QDir::Files)) {
            if (expression.match(name).hasMatch())
                names.append(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });

    const QSignalBlocker blocker(this);
    clear();
    addItems(names);
    setCurrentRow(-1);
}

} // namespace korsa
