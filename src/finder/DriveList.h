#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

namespace korsa {

// A drop-down of drives: the places a user keeps files in (DrivePlaces: on Windows the drive
// letters and the Steam libraries; elsewhere "/", the home folder, the Steam libraries, the mounted
// file systems), each named and with its folder. Every change of the current drive, by the user or by the program,
// raises DriveChanged.
class DriveList : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveList(QWidget *parent = nullptr);

    // The current drive's folder ("/", "/media/usb", "C:\"); empty when there is none.
    QString Drive() const;
    // The folder the current drive opens at: its own, or for a Steam library its steamapps/common.
    QString OpeningFolder() const;
    // The drive that holds the path: the longest drive folder that the path lies in.
    QString DriveOf(const QString &path) const;
    // Makes the drive that holds the path current; raises DriveChanged if that is a change.
    void SetDriveFromPath(const QString &path);
    // Adds a drive folder to the end of the list (if not there yet), shown by its path. Used when a
    // path lies on a drive the list does not know, and by tests to offer a drive that is not there.
    void AddDrive(const QString &root);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void AddPlace(const QString &label, const QString &folder, const QString &opensAt = QString());

signals:
    void DriveChanged();
};

} // namespace korsa
