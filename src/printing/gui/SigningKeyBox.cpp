#include "printing/gui/SigningKeyBox.h"

#include "core/Failure.h"
#include "core/PathText.h"
#include "printing/PdfSigner.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace cw::printing {

SigningKeyBox::SigningKeyBox(Signing signing, QWidget* parent) : QGroupBox(QStringLiteral("Digital signature"), parent)
{
    auto* layout = new QVBoxLayout(this);
    if (signing == Signing::Optional) {
        m_unsigned = new QRadioButton(QStringLiteral("Do not sign"), this);
        layout->addWidget(m_unsigned);
    }
    m_signPkcs12 = new QRadioButton(QStringLiteral("Sign with a certificate file (.pfx, .p12):"), this);
    m_signPkcs12->setObjectName(QStringLiteral("signWithFile"));
    m_pkcs12 = new QLineEdit(this);
    m_pkcs12->setObjectName(QStringLiteral("signKeyFile"));
    auto* browse = new QPushButton(QStringLiteral("Browse…"), this);
    browse->setAutoDefault(false);
    m_signNickname = new QRadioButton(QStringLiteral("Sign with a certificate of the NSS database or a token:"), this);
    m_signNickname->setObjectName(QStringLiteral("signWithNickname"));
    m_nickname = new QLineEdit(this);
    m_nickname->setObjectName(QStringLiteral("signNickname"));
    m_nickname->setPlaceholderText(QStringLiteral("token:nickname"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("signKeyPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    (m_unsigned ? m_unsigned : m_signPkcs12)->setChecked(true);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_pkcs12, 1);
    fileRow->addWidget(browse);
    layout->addWidget(m_signPkcs12);
    layout->addLayout(fileRow);
    layout->addWidget(m_signNickname);
    layout->addWidget(m_nickname);
    auto* passwordForm = new QFormLayout;
    passwordForm->addRow(QStringLiteral("Password or PIN:"), m_password);
    layout->addLayout(passwordForm);

    for (QRadioButton* choice : {m_unsigned, m_signPkcs12, m_signNickname})
        if (choice)
            connect(choice, &QRadioButton::toggled, this, &SigningKeyBox::updateChoices);
    connect(browse, &QPushButton::clicked, this, &SigningKeyBox::choosePkcs12);
    updateChoices();
}

void SigningKeyBox::updateChoices()
{
    m_pkcs12->setEnabled(m_signPkcs12->isChecked());
    m_nickname->setEnabled(m_signNickname->isChecked());
    m_password->setEnabled(!m_unsigned || !m_unsigned->isChecked());
}

void SigningKeyBox::choosePkcs12()
{
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("The signing key"), m_pkcs12->text(),
                                                      QStringLiteral("Certificate files (*.pfx *.p12)"));
    if (!file.isEmpty()) {
        m_pkcs12->setText(file);
        m_signPkcs12->setChecked(true);
    }
}

std::unique_ptr<PdfSigner> SigningKeyBox::signer() const
{
    const std::string password = m_password->text().toStdString();
    if (m_signPkcs12->isChecked()) {
        const QString file = m_pkcs12->text().trimmed();
        if (file.isEmpty())
            throw core::Failure("Give the certificate file (.pfx, .p12) to sign with.", core::kErrorTitle);
        return PdfSigner::fromPkcs12(core::pathFromText(file.toStdString()), password);
    }
    if (m_signNickname->isChecked()) {
        const QString nickname = m_nickname->text().trimmed();
        if (nickname.isEmpty())
            throw core::Failure("Give the nickname of the certificate to sign with.", core::kErrorTitle);
        return PdfSigner::fromNssCertificate(nickname.toStdString(), {}, password);
    }
    return nullptr;
}

} // namespace cw::printing
