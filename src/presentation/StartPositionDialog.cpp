#include "presentation/StartPositionDialog.h"

#include "session/Numbers.h"
#include "session/TypedStart.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korsa {

StartPositionDialog::StartPositionDialog(const SectionTable &sections, float lapMetres, float start, QWidget *parent)
    : QDialog(parent), sections_(sections), lapMetres_(lapMetres)
{
    setObjectName(QStringLiteral("FrmStartPosition"));
    setWindowTitle(QStringLiteral("Set Start Position"));

    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("txtStartPosition"));
    // The start as it stands, to the digits Save cuts its whole metres from: OK on it as it is
    // changes nothing.
    field_->setText(QString::fromLatin1(StartPositionText(start)) + QStringLiteral(" m"));
    field_->selectAll();
    auto *forms = new QLabel(QStringLiteral("Metres (12345 or 12345 m), kilometres (12.345 km)\nor a percent of "
                                            "the lap (17.1 %). Alt+Left and Alt+Right\nin the window move the start "
                                            "10 m."),
                             this);
    section_ = new QLabel(this);
    section_->setObjectName(QStringLiteral("lblStartSection"));
    savedLine_ = new QLabel(this);
    savedLine_->setObjectName(QStringLiteral("lblSavedLine"));
    savedLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("lblStartProblem"));
    problem_->setWordWrap(true);
    QPalette alert = problem_->palette();
    alert.setColor(QPalette::WindowText, QColor(176, 0, 32));
    problem_->setPalette(alert);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Start position:"), field_);
    form->addRow(QString(), forms);
    form->addRow(QStringLiteral("Section:"), section_);
    form->addRow(QStringLiteral("Save writes:"), savedLine_);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The problem's line keeps its room, so the dialog does not jump as the text is typed.
    problem_->setMinimumHeight(2 * fontMetrics().lineSpacing());
    problem_->setFixedWidth(forms->sizeHint().width() +
                            fontMetrics().horizontalAdvance(QStringLiteral("Save writes: ")));

    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(field_, &QLineEdit::textChanged, this, [this] { Check(); });
    Check();
}

void StartPositionDialog::Check()
{
    const TypedStart typed = ReadTypedStart(field_->text(), lapMetres_);
    metres_ = typed.metres;
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(metres_.has_value());
    problem_->setText(typed.problem);
    if (!metres_) {
        section_->clear();
        savedLine_->clear();
        return;
    }
    const std::optional<int> section = SectionAt(sections_, *metres_, lapMetres_);
    section_->setText(section ? sections_.SectionNames[*section] : QString());
    // The line up to its comment.
    const QByteArray line = SavedStallLine(*metres_);
    savedLine_->setText(QString::fromLatin1(line.left(line.indexOf('\t'))));
}

std::optional<float> AskStartPosition(const SectionTable &sections, float lapMetres, float start, QWidget *parent)
{
    StartPositionDialog dialog(sections, lapMetres, start, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Metres();
}

} // namespace korsa
