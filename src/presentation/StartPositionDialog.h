#pragma once

#include "session/Sections.h"

#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace korsa {

// Options > Set Start Position...: a start typed in metres, kilometres or percent of the lap. Under
// the field it shows the section the start falls in and the stall_0 line Save would write, or why
// the text is refused; OK takes only a start on the lap.
class StartPositionDialog : public QDialog
{
    Q_OBJECT

public:
    StartPositionDialog(const SectionTable &sections, float lapMetres, float start, QWidget *parent = nullptr);

    // The start typed, while the text is one the dialog takes.
    std::optional<float> Metres() const { return metres_; }

private:
    void Check();

    const SectionTable &sections_;
    float lapMetres_;
    std::optional<float> metres_;
    QLineEdit *field_ = nullptr;
    QLabel *section_ = nullptr;
    QLabel *savedLine_ = nullptr;
    QLabel *problem_ = nullptr;
    QDialogButtonBox *buttons_ = nullptr;
};

// Shows the dialog over the window, the field holding `start`: the start accepted, or nothing.
std::optional<float> AskStartPosition(const SectionTable &sections, float lapMetres, float start, QWidget *parent);

} // namespace korsa
