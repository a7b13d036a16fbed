#include "ackn/gui/AcknDialog.h"

#include "ackn/AcknRegister.h"
#include "widgets/Buttons.h"
#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MailLink.h"
#include "widgets/MessageBox.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace cw::ackn {

using widgets::MessageBox;

namespace {

QLabel* makeLabel(const char* text, bool bold, qreal points)
{
    auto* label = new QLabel(MessageBox::displayText(text));
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setBold(bold);
    font.setPointSizeF(points);
    label->setFont(font);
    return label;
}

QLineEdit* makeEdit(const QString& name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

} // namespace

AcknDialog::AcknDialog(std::filesystem::path templatePath, QWidget* parent)
    : QDialog(parent)
    , m_templatePath(std::move(templatePath))
{
    setObjectName(QStringLiteral("acknDialog"));
    setWindowTitle(QStringLiteral("Acknowledgement No."));
    setModal(true);

    // A column per entry, a row per quarter; the acknowledgement column gets the room, as a
    // 15-digit number needs it.
    auto* acknFrame = new QGroupBox(QStringLiteral("Enter Acknowledgement Numbers"));
    acknFrame->setObjectName(QStringLiteral("acknFrame"));
    auto* grid = new QGridLayout(acknFrame);
    // The frame's title already sets the headings apart from the frame's top.
    const QMargins margins = grid->contentsMargins();
    grid->setContentsMargins(margins.left(), margins.top() / 3, margins.right(), margins.bottom());
    const char* const headings[] = {"Quarter No.", "Acknowledgement (PRN) No.", "Date of Filing\r(dd/mm/yyyy)"};
    for (int column = 0; column < 3; ++column)
        grid->addWidget(makeLabel(headings[column], true, 8), 0, column, Qt::AlignLeft | Qt::AlignBottom);
    const QFontMetrics metrics = fontMetrics();
    const int prnWidth = metrics.horizontalAdvance(QString(30, QLatin1Char('0')));
    const int dateWidth = metrics.horizontalAdvance(QStringLiteral("00/00/0000")) + metrics.averageCharWidth() * 4;
    for (int q = 0; q < 4; ++q) {
        const QString quarter = QString::number(q + 1);
        auto* number = new QLabel(quarter);
        number->setAlignment(Qt::AlignCenter);
        grid->addWidget(number, q + 1, 0);
        m_prnEdits[q] = makeEdit(QStringLiteral("prnEdit") + quarter);
        m_prnEdits[q]->setMinimumWidth(prnWidth);
        grid->addWidget(m_prnEdits[q], q + 1, 1);
        m_dateEdits[q] = makeEdit(QStringLiteral("dateEdit") + quarter);
        m_dateEdits[q]->setFixedWidth(dateWidth);
        grid->addWidget(m_dateEdits[q], q + 1, 2);
    }
    grid->setColumnStretch(1, 1);

    auto* serialFrame = new QGroupBox(QStringLiteral("Enter Certificate Serial Number"));
    serialFrame->setObjectName(QStringLiteral("serialFrame"));
    auto* serialRow = new QHBoxLayout(serialFrame);
    serialRow->addWidget(makeLabel("Enter Certificate Number to start from", true, 9));
    m_serialEdit = makeEdit(QStringLiteral("serialEdit"));
    serialRow->addWidget(m_serialEdit, 1);

    m_supportLink = new widgets::ClickableLabel;
    m_supportLink->setObjectName(QStringLiteral("supportLink"));
    m_supportLink->setTextFormat(Qt::PlainText);
    m_supportLink->setText(QString::fromUtf8(widgets::contact::kSupportAddress));
    QFont linkFont = m_supportLink->font();
    linkFont.setBold(true);
    linkFont.setPointSizeF(9);
    linkFont.setUnderline(true);
    m_supportLink->setFont(linkFont);
    QPalette linkPalette = m_supportLink->palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
    m_supportLink->setPalette(linkPalette);
    QPushButton* okButton = widgets::pushButton("okButton", "&OK");
    QPushButton* cancelButton = widgets::pushButton("cancelButton", "Cancel/E&xit");
    // The two buttons as one pair, of one width.
    const int buttonWidth = std::max(okButton->sizeHint().width(), cancelButton->sizeHint().width());
    okButton->setMinimumWidth(buttonWidth);
    cancelButton->setMinimumWidth(buttonWidth);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(m_supportLink);
    bottomRow->addStretch(1);
    bottomRow->addWidget(okButton);
    bottomRow->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(acknFrame);
    layout->addWidget(serialFrame);
    layout->addLayout(bottomRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Down the acknowledgement column, down the date column, then the serial number.
    std::vector<QWidget*> tabOrder(m_prnEdits.begin(), m_prnEdits.end());
    tabOrder.insert(tabOrder.end(), m_dateEdits.begin(), m_dateEdits.end());
    tabOrder.insert(tabOrder.end(), {m_serialEdit, okButton, cancelButton});
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(okButton, &QPushButton::clicked, this, &AcknDialog::save);
    connect(cancelButton, &QPushButton::clicked, this, &AcknDialog::reject);
    connect(m_supportLink, &widgets::ClickableLabel::clicked, this, &AcknDialog::mailSupport);
    m_prnEdits[0]->setFocus();
}

bool AcknDialog::load()
{
    AcknEntries entries;
    try {
        entries = loadAcknRegister(m_templatePath);
    } catch (const std::exception& e) {
        MessageBox::show(parentWidget(), {e.what(), "Acknowledgement No.", core::Icon::Critical});
        return false;
    }
    m_serialEdit->setText(QString::fromStdString(entries.serial));
    for (int q = 0; q < 4; ++q) {
        m_prnEdits[q]->setText(QString::fromStdString(entries.prn[q]));
        m_dateEdits[q]->setText(QString::fromStdString(entries.filedOn[q]));
    }
    m_prnEdits[0]->setFocus();
    return true;
}

AcknEntries AcknDialog::entries() const
{
    AcknEntries entries;
    entries.serial = m_serialEdit->text().toStdString();
    for (int q = 0; q < 4; ++q) {
        entries.prn[q] = m_prnEdits[q]->text().toStdString();
        entries.filedOn[q] = m_dateEdits[q]->text().toStdString();
    }
    return entries;
}

QLineEdit* AcknDialog::box(int number) const
{
    if (number >= 1 && number <= 4)
        return m_prnEdits[number - 1];
    if (number >= 5 && number <= 8)
        return m_dateEdits[number - 5];
    return number == 9 ? m_serialEdit : nullptr;
}

void AcknDialog::save()
{
    std::optional<EntryProblem> problem;
    try {
        problem = saveAcknRegister(m_templatePath, entries());
    } catch (const std::exception& e) {
        // The save is atomic: the template is as it was, and the entries are still here to retry.
        MessageBox::show(this, {e.what(), "Acknowledgement No.", core::Icon::Critical});
        return;
    }
    if (problem) {
        // The message names the box; the focus goes there with the entry selected for retyping.
        MessageBox::show(this, {problem->message, "Invalid Entry!", core::Icon::Information});
        if (QLineEdit* named = box(problem->box)) {
            named->setFocus();
            named->selectAll();
        }
        return;
    }
    accept();
}

void AcknDialog::mailSupport()
{
    widgets::openMailTo(this, m_supportLink->text());
}

} // namespace cw::ackn
