#pragma once

#include <QGroupBox>

#include <memory>

class QLineEdit;
class QRadioButton;

namespace cw::printing {

class PdfSigner;

// "Digital signature": the key to sign with, a .p12 (.pfx) file or a certificate of the user's
// NSS database (a token's included), and its password or PIN. Where signing is optional, "Do
// not sign" comes first and is chosen. "Save as PDF…" and "Sign PDFs…" ask for a key with it.
class SigningKeyBox : public QGroupBox {
    Q_OBJECT
public:
    enum class Signing { Optional, Required };
    SigningKeyBox(Signing signing, QWidget* parent);

    QRadioButton* pkcs12Choice() const { return m_signPkcs12; }
    QLineEdit* pkcs12Edit() const { return m_pkcs12; }
    QLineEdit* passwordEdit() const { return m_password; }

    // The signer of the chosen key, null for "Do not sign". Throws core::Failure with a message
    // for the user when no key is given or the key cannot sign.
    std::unique_ptr<PdfSigner> signer() const;

private:
    void updateChoices();
    void choosePkcs12();

    QRadioButton* m_unsigned = nullptr;
    QRadioButton* m_signPkcs12;
    QLineEdit* m_pkcs12;
    QRadioButton* m_signNickname;
    QLineEdit* m_nickname;
    QLineEdit* m_password;
};

} // namespace cw::printing
