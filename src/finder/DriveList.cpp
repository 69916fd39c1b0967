#include "finder/DriveList.h"

#include "finder/FinderPaths.h"
#include "finder/Places.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFontMetrics>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

namespace korsa {

namespace {

constexpr int OpensAtRole = Qt::UserRole + 1;

} // namespace

DriveList::DriveList(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("drvList"));
    setEditable(false);
    // Long paths keep their ends in sight, and the open list is as wide as its entries need.
    view()->setTextElideMode(Qt::ElideMiddle);
    for (const finder::Place &place : finder::DrivePlaces(QDir::homePath()))
        AddPlace(place.label, place.path, place.opensAt);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit DriveChanged(); });
}

QString DriveList::Drive() const { return currentIndex() < 0 ? QString() : itemData(currentIndex()).toString(); }

QString DriveList::OpeningFolder() const
{
    const QString opensAt = currentIndex() < 0 ? QString() : itemData(currentIndex(), OpensAtRole).toString();
    return opensAt.isEmpty() ? Drive() : opensAt;
}

QString DriveList::DriveOf(const QString &path) const
{
    const QString folder = finder::CleanFolder(path);
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (finder::IsSameOrBelow(folder, root) && root.size() > best.size())
            best = root;
    }
    if (best.isEmpty()) {
        const QStringList chain = finder::FolderChain(folder);
        if (!chain.isEmpty())
            best = chain.first();
    }
    return best;
}

void DriveList::SetDriveFromPath(const QString &path)
{
    const QString drive = DriveOf(path);
    if (drive.isEmpty())
        return;
    AddDrive(drive);
    setCurrentIndex(findData(drive));
}

void DriveList::paintEvent(QPaintEvent *)
{
    // As the combo box paints itself, but a long entry gives up its middle rather than its end.
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width() - 2);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void DriveList::AddDrive(const QString &root) { AddPlace(QString(), root); }

void DriveList::AddPlace(const QString &label, const QString &folder, const QString &opensAt)
{
    const QString drive = finder::CleanFolder(folder);
    if (drive.isEmpty() || findData(drive) >= 0)
        return;
    // Adding an entry is no change of drive: the current one stays current, and none is made
    // current when there was none.
    const QSignalBlocker blocker(this);
    const QString current = Drive();
    addItem(label.isEmpty() || label == drive ? drive : QStringLiteral("%1 (%2)").arg(label, drive), drive);
    setItemData(count() - 1, opensAt, OpensAtRole);
    setCurrentIndex(current.isEmpty() ? -1 : findData(current));
    QFontMetrics metrics(view()->font());
    view()->setMinimumWidth(std::max(view()->minimumWidth(), metrics.horizontalAdvance(itemText(count() - 1)) + 32));
}

} // namespace korsa
