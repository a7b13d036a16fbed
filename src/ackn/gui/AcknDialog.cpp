#include "ackn/gui/AcknDialog.h"

#include "ackn/AcknRegister.h"
#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "host/Error.h"
#include "widgets/MessageBox.h"
#include "widgets/MailLink.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace cw::ackn {

namespace {

// Label1..Label8; Label9 shows the support address.
const char* const kCaptions[] = {"Quarter No.", "Acknowledgement (PRN) No.", "Date of Filing\r(dd/mm/yyyy)",
                                 "1", "2", "3", "4", "Enter Certificate Number to start from"};

void applyFont(QWidget* widget, bool bold, qreal points)
{
    QFont font = widget->font();
    font.setBold(bold);
    font.setPointSizeF(points);
    widget->setFont(font);
}

} // namespace

AcknDialog::AcknDialog(std::filesystem::path templatePath, QWidget* parent)
    : QDialog(parent)
    , m_templatePath(std::move(templatePath))
{
    setObjectName(QStringLiteral("frmAckn"));
    setWindowTitle(QStringLiteral("Acknowledgement No."));
    setModal(true);

    m_frame1 = new QGroupBox(QStringLiteral("Enter Acknowledgement Numbers"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame2 = new QGroupBox(QStringLiteral("Enter Certificate Serial Number"), this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));

    for (int i = 0; i < 9; ++i) {
        QWidget* owner = i < 7 ? static_cast<QWidget*>(m_frame1) : i == 7 ? static_cast<QWidget*>(m_frame2) : this;
        QLabel* label = i == 8 ? (m_label9 = new widgets::ClickableLabel(owner)) : new QLabel(owner);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setTextFormat(Qt::PlainText);
        m_labels[i] = label;

        auto* text = new QLineEdit(i < 8 ? static_cast<QWidget*>(m_frame1) : m_frame2);
        text->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        m_texts[i] = text;
    }
    for (int i = 0; i < 3; ++i) {
        applyFont(m_labels[i], true, 8);
        m_labels[i]->setWordWrap(true);
    }
    for (int i = 3; i < 7; ++i)
        m_labels[i]->setAlignment(Qt::AlignCenter);
    applyFont(m_labels[7], true, 9);
    applyFont(m_labels[8], true, 9);
    QFont linkFont = m_label9->font();
    linkFont.setUnderline(true);
    m_label9->setFont(linkFont);
    QPalette linkPalette = m_label9->palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
    m_label9->setPalette(linkPalette);

    m_cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("CmdOK"));
    m_cmdExit = new QPushButton(QStringLiteral("Cancel/E&xit"), this);
    m_cmdExit->setObjectName(QStringLiteral("CmdExit"));
    // Enter in a box must not save half-typed entries: only a click or the access key does.
    for (QPushButton* button : {m_cmdOK, m_cmdExit}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    // Down the acknowledgement column, down the date column, then the serial number.
    QWidget* previous = m_texts[0];
    for (QWidget* next : {static_cast<QWidget*>(m_texts[1]), static_cast<QWidget*>(m_texts[2]),
                          static_cast<QWidget*>(m_texts[3]), static_cast<QWidget*>(m_texts[4]),
                          static_cast<QWidget*>(m_texts[5]), static_cast<QWidget*>(m_texts[6]),
                          static_cast<QWidget*>(m_texts[7]), static_cast<QWidget*>(m_texts[8]),
                          static_cast<QWidget*>(m_cmdOK), static_cast<QWidget*>(m_cmdExit)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(m_cmdOK, &QPushButton::clicked, this, &AcknDialog::CmdOK_Click);
    connect(m_cmdExit, &QPushButton::clicked, this, &AcknDialog::reject);
    connect(m_label9, &widgets::ClickableLabel::clicked, this, &AcknDialog::Label9_Click);

    layOut();
    m_texts[0]->setFocus();
}

void AcknDialog::layOut()
{
    // The form was drawn in twips (15 to a pixel at 96 dpi) for an 8-point system font; grow
    // it evenly until the widest one-line captions fit the fonts actually in use, so that the
    // proportions stay. Qt maps these device-independent pixels to the screen's scale.
    qreal grow = std::max<qreal>(1.0, fontMetrics().height() / 13.0);
    const auto fit = [&](QLabel* label, const QString& text, int widthTwips) {
        const int needed = label->fontMetrics().horizontalAdvance(text) + label->fontMetrics().averageCharWidth();
        grow = std::max(grow, needed / (widthTwips / 15.0));
    };
    fit(m_labels[1], QString::fromLatin1(kCaptions[1]), 2895);
    fit(m_labels[7], QString::fromLatin1(kCaptions[7]), 3375);
    fit(m_labels[8], QString::fromUtf8(widgets::contact::kSupportAddress), 2535);
    const qreal scale = grow / 15.0;
    const auto px = [scale](int twips) { return static_cast<int>(std::lround(twips * scale)); };
    const auto place = [&](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(px(left), px(top), px(width), px(height));
    };

    setFixedSize(px(5595), px(3840));
    place(m_frame1, 120, 120, 5415, 2295);
    place(m_labels[0], 120, 240, 855, 375);
    place(m_labels[1], 1080, 240, 2895, 375);
    place(m_labels[2], 4080, 240, 1215, 375);
    for (int q = 0; q < 4; ++q) {
        const int top = 720 + 360 * q;
        place(m_labels[3 + q], 120, top, 855, 255);
        place(m_texts[q], 1080, top, 2895, 285);
        place(m_texts[4 + q], 4080, top, 1215, 285);
    }
    place(m_frame2, 120, 2520, 5415, 735);
    place(m_labels[7], 120, 240, 3375, 375);
    place(m_texts[8], 3600, 240, 1695, 375);
    place(m_labels[8], 120, 3360, 2535, 375);
    place(m_cmdOK, 2760, 3360, 1215, 375);
    place(m_cmdExit, 4080, 3360, 1455, 375);

    // Line edits and the two-line heading need their font's height, whatever the twips said.
    const int boxHeight = std::max(px(285), m_texts[0]->sizeHint().height());
    for (QLineEdit* text : m_texts)
        text->resize(text->width(), std::max(text->height(), boxHeight));
    for (int q = 0; q < 4; ++q) // the quarter numbers level with their boxes
        m_labels[3 + q]->setGeometry(m_labels[3 + q]->x(), m_texts[q]->y(), m_labels[3 + q]->width(), m_texts[q]->height());
    for (int i = 0; i < 3; ++i) {
        QLabel* heading = m_labels[i];
        heading->resize(heading->width(), std::max(heading->height(), heading->fontMetrics().lineSpacing() * 2));
    }
}

bool AcknDialog::Form_Load()
{
    for (int i = 0; i < 8; ++i)
        m_labels[i]->setText(widgets::MessageBox::displayText(kCaptions[i]));
    m_labels[8]->setText(QString::fromUtf8(widgets::contact::kSupportAddress));
    for (QLineEdit* text : m_texts)
        text->clear();

    AcknEntries entries;
    try {
        entries = loadAcknRegister(m_templatePath);
    } catch (const std::exception& e) {
        widgets::MessageBox::show(parentWidget(), {e.what(), "Acknowledgement No.", core::Icon::Critical});
        return false;
    }
    m_texts[8]->setText(QString::fromStdString(entries.serial));
    for (int q = 0; q < 4; ++q) {
        m_texts[q]->setText(QString::fromStdString(entries.prn[q]));
        m_texts[4 + q]->setText(QString::fromStdString(entries.filedOn[q]));
    }
    m_texts[0]->setFocus();
    return true;
}

AcknEntries AcknDialog::entries() const
{
    AcknEntries entries;
    entries.serial = m_texts[8]->text().toStdString();
    for (int q = 0; q < 4; ++q) {
        entries.prn[q] = m_texts[q]->text().toStdString();
        entries.filedOn[q] = m_texts[4 + q]->text().toStdString();
    }
    return entries;
}

void AcknDialog::CmdOK_Click()
{
    std::optional<EntryProblem> problem;
    try {
        problem = saveAcknRegister(m_templatePath, entries());
    } catch (const std::exception& e) {
        // The save is atomic: the template is as it was, and the entries are still here to retry.
        widgets::MessageBox::show(this, {e.what(), "Acknowledgement No.", core::Icon::Critical});
        return;
    }
    if (problem) {
        // The message names the box; the focus goes there with the entry selected for retyping.
        widgets::MessageBox::show(this, {problem->message, "Invalid Entry!", core::Icon::Information});
        if (problem->box >= 1 && problem->box <= 9) {
            QLineEdit* box = m_texts[problem->box - 1];
            box->setFocus();
            box->selectAll();
        }
        return;
    }
    accept();
}

void AcknDialog::Label9_Click()
{
    widgets::openMailTo(this, m_label9->text());
}

} // namespace cw::ackn
