#pragma once

#include <QListWidget>
#include <QString>

namespace korsa {

// The files (not folders) of one folder whose names match a pattern, compared without regard to
// case, sorted by name. Selecting a file by mouse or keyboard raises FileClicked; a double-click
// on a file raises FileDoubleClicked.
class FileList : public QListWidget
{
    Q_OBJECT

public:
    explicit FileList(QWidget *parent = nullptr);

    QString Path() const { return path_; }
    // Lists the folder anew; the selection is lost.
    void SetPath(const QString &folder);
    // Lists the folder anew with the pattern ("*" and "?" wildcards); the selection is lost.
    void SetPattern(const QString &pattern);
    // The selected file's bare name; empty when none is selected.
    QString FileName() const;
    // Selects the file of that name as a click would; false when it is not listed.
    bool SelectFile(const QString &name);
    // The mouse press that is on its way ends no selection: the list changed under the pointer
    // after the press was made, so the entry under it is not the one the user aimed at.
    void IgnorePendingPress();

signals:
    void FileClicked();
    void FileDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void Relist();

    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    bool ignorePress_ = false;
    bool ignoringClicks_ = false;
    quint64 ignoredPressAt_ = 0;
};

} // namespace korsa
