#include "app/gui/AboutDialog.h"

#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MailLink.h"
#include "widgets/MessageBox.h"

#include <QVBoxLayout>

namespace cw::app {

using widgets::ClickableLabel;
using widgets::MessageBox;
namespace contact = widgets::contact;

namespace {

QLabel* addLabel(QVBoxLayout* layout, QLabel* label, const char* name, const QString& text)
{
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    layout->addWidget(label);
    return label;
}

QLabel* addHeading(QVBoxLayout* layout, const char* name, const QString& text)
{
    QLabel* heading = addLabel(layout, new QLabel, name, text);
    QFont font = heading->font();
    font.setFamilies({QStringLiteral("Tahoma"), font.family()});
    font.setBold(true);
    font.setPointSizeF(9.75);
    heading->setFont(font);
    return heading;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Me"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    const int gap = fontMetrics().height() / 2;

    addHeading(layout, "programHeading", QStringLiteral("About Certwright"));
    addLabel(layout, new QLabel, "purposeText", QStringLiteral(
        "The software has been developed to generate Form 16A (TDS Certificates) from the text file which is used "
        "to generate fvu file for filing online etds return with TIN. In case anyone needs to customize the "
        "software against fees they can contact the software developer. Note that the developer is not bound to "
        "accept all the request to customize and has the right to reject the request for customization without "
        "assigning any reason."));
    layout->addSpacing(gap);

    addHeading(layout, "developerHeading", QStringLiteral("About Me"));
    auto* developerLink = new ClickableLabel;
    addLabel(layout, developerLink, "developerLink",
             MessageBox::displayText(std::string("Name:\t") + contact::kDeveloperName + "\r\n" + "City:\t"
                                     + contact::kHomeCity + "\r\n" + "Email : " + contact::kSupportAddress));
    layout->addSpacing(gap);

    addHeading(layout, "disclaimerHeading", QStringLiteral("Disclaimer"));
    addLabel(layout, new QLabel, "disclaimerText", MessageBox::displayText(
        "Every efforts has been made to  avoid errors or omissions in this software. In case any mistake or "
        "discrepancy is found , it may be brought to the notice of the developer which shall be taken care of in "
        "next version.\r\n"
        "The developer will not be responsible for the damages etc in any form or method there from.\r\n"
        "Users are requested to  cross check the provisions of the law  to avoid any doubt."));
    layout->addStretch(1);
    // Wide enough that the long paragraphs wrap into a readable block rather than a column.
    setMinimumWidth(fontMetrics().averageCharWidth() * 70);

    // The label lists the details; the link always goes to the program's own mailbox.
    connect(developerLink, &ClickableLabel::clicked, this, [] { widgets::openLink(nullptr, mailLink()); });
}

QString AboutDialog::mailLink()
{
    return QStringLiteral("mailto:") + QString::fromUtf8(contact::kSupportAddress);
}

} // namespace cw::app
