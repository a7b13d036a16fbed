#include "app/gui/AboutDialog.h"

#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MessageBox.h"
#include "widgets/MailLink.h"

#include <QVBoxLayout>

namespace cw::app {

using widgets::ClickableLabel;
using widgets::MessageBox;
using widgets::openLink;
namespace contact = widgets::contact;

namespace {

QFont headingFont(const QFont& base)
{
    QFont font = base;
    font.setFamilies({QStringLiteral("Tahoma"), base.family()});
    font.setBold(true);
    font.setPointSizeF(9.75);
    return font;
}

QLabel* makeLabel(QLabel* label, QWidget* parent, const char* name)
{
    label->setParent(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
    , m_label1(makeLabel(new QLabel, this, "Label1"))
    , m_label2(makeLabel(new QLabel, this, "Label2"))
    , m_label3(makeLabel(new QLabel, this, "Label3"))
    , m_label4(static_cast<ClickableLabel*>(makeLabel(new ClickableLabel, this, "Label4")))
    , m_label5(makeLabel(new QLabel, this, "Label5"))
    , m_label6(makeLabel(new QLabel, this, "Label6"))
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("About Me"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    for (QLabel* heading : {m_label1, m_label3, m_label5})
        heading->setFont(headingFont(font()));
    const int gap = fontMetrics().height() / 2;
    layout->addWidget(m_label1);
    layout->addWidget(m_label2);
    layout->addSpacing(gap);
    layout->addWidget(m_label3);
    layout->addWidget(m_label4);
    layout->addSpacing(gap);
    layout->addWidget(m_label5);
    layout->addWidget(m_label6);
    layout->addStretch(1);
    // Wide enough that the long paragraphs wrap into a readable block rather than a column.
    setMinimumWidth(fontMetrics().averageCharWidth() * 70);

    connect(m_label4, &ClickableLabel::clicked, this, &AboutDialog::Label4_Click);
    Form_Load();
}

QString AboutDialog::mailLink()
{
    return QStringLiteral("mailto:") + QString::fromUtf8(contact::kSupportAddress);
}

void AboutDialog::Form_Load()
{
    m_label1->setText(QStringLiteral("About Certwright"));
    m_label2->setText(QStringLiteral(
        "The software has been developed to generate Form 16A (TDS Certificates) from the text file which is used "
        "to generate fvu file for filing online etds return with TIN. In case anyone needs to customize the "
        "software against fees they can contact the software developer. Note that the developer is not bound to "
        "accept all the request to customize and has the right to reject the request for customization without "
        "assigning any reason."));
    m_label3->setText(QStringLiteral("About Me"));
    m_label4->setText(MessageBox::displayText(std::string("Name:\t") + contact::kDeveloperName + "\r\n"
                                              + "City:\t" + contact::kHomeCity + "\r\n"
                                              + "Email : " + contact::kSupportAddress));
    m_label5->setText(QStringLiteral("Disclaimer"));
    m_label6->setText(MessageBox::displayText(
        "Every efforts has been made to  avoid errors or omissions in this software. In case any mistake or "
        "discrepancy is found , it may be brought to the notice of the developer which shall be taken care of in "
        "next version.\r\n"
        "The developer will not be responsible for the damages etc in any form or method there from.\r\n"
        "Users are requested to  cross check the provisions of the law  to avoid any doubt."));
}

void AboutDialog::Label4_Click()
{
    openLink(nullptr, mailLink());
}

} // namespace cw::app
