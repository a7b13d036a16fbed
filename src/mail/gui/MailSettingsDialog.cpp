#include "mail/gui/MailSettingsDialog.h"

#include "core/PathText.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace cw::mail {

namespace {

constexpr int kStartTlsPort = 587, kTlsPort = 465;

template <class T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

bool serverParts(const std::string& url, ServerParts& parts)
{
    const std::string full = smtpUrl(url); // with its port
    if (full.empty())
        return false;
    parts.implicitTls = full.rfind("smtps://", 0) == 0;
    const std::string rest = full.substr(parts.implicitTls ? 8 : 7);
    const std::size_t colon = rest.rfind(':');
    parts.host = rest.substr(0, colon);
    parts.port = std::stoi(rest.substr(colon + 1));
    return true;
}

MailSettingsDialog::MailSettingsDialog(Keyring& keyring, const std::string& password, QWidget* parent)
    : QDialog(parent)
    , m_keyring(keyring)
    , m_settings(loadMailSettings())
{
    setObjectName(QStringLiteral("mailSettingsDialog"));
    setWindowTitle(QStringLiteral("Mail Settings"));
    ServerParts parts;
    serverParts(m_settings.url, parts);

    m_host = named(new QLineEdit(qs(parts.host), this), "serverHost");
    m_host->setPlaceholderText(QStringLiteral("mail.example.com"));
    m_port = named(new QSpinBox(this), "serverPort");
    m_port->setRange(1, 65535);
    m_port->setValue(parts.port);
    m_security = named(new QComboBox(this), "serverSecurity");
    m_security->addItems({QStringLiteral("STARTTLS"), QStringLiteral("TLS from the start")});
    m_security->setCurrentIndex(parts.implicitTls ? 1 : 0);
    // The usual port goes with the security chosen, unless the user gave another.
    connect(m_security, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_port->value() == kStartTlsPort || m_port->value() == kTlsPort)
            m_port->setValue(index == 1 ? kTlsPort : kStartTlsPort);
    });
    m_user = named(new QLineEdit(qs(m_settings.user), this), "serverUser");
    m_password = named(new QLineEdit(qs(password), this), "serverPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = named(new QCheckBox(QStringLiteral("&Remember password in the desktop's keyring"), this), "rememberPassword");
    m_remember->setChecked(m_settings.rememberPassword);
    m_from = named(new QLineEdit(qs(m_settings.from), this), "senderAddress");
    m_caFile = named(new QLineEdit(qs(core::pathText(m_settings.caFile)), this), "caFile");
    m_caFile->setPlaceholderText(QStringLiteral("the system's certificates"));
    auto* browse = named(new QPushButton(QStringLiteral("Br&owse…"), this), "caFileBrowse");
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("CA Certificates"), m_caFile->text(),
                                                          QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
        if (!file.isEmpty())
            m_caFile->setText(file);
    });
    m_rate = named(new QSpinBox(this), "sendRate");
    m_rate->setRange(0, 6000);
    m_rate->setSpecialValueText(QStringLiteral("no limit"));
    m_rate->setSuffix(QStringLiteral(" a minute"));
    m_rate->setValue(m_settings.ratePerMinute);
    m_subject = named(new QLineEdit(qs(m_settings.subject), this), "subjectTemplate");
    m_body = named(new QPlainTextEdit(qs(m_settings.body), this), "bodyTemplate");
    m_body->setMinimumHeight(fontMetrics().height() * 8);
    m_protect = named(new QCheckBox(QStringLiteral("&Protect each PDF: it opens with the deductee's PAN"), this), "protectPdfs");
    m_protect->setChecked(m_settings.protect);

    auto* server = new QHBoxLayout;
    server->addWidget(m_host, 1);
    server->addWidget(m_port);
    auto* ca = new QHBoxLayout;
    ca->addWidget(m_caFile, 1);
    ca->addWidget(browse);
    auto* form = new QFormLayout;
    // Rows of two widgets get their label's mnemonic only through a buddy of their own.
    auto* serverLabel = new QLabel(QStringLiteral("Ser&ver:"), this);
    serverLabel->setBuddy(m_host);
    auto* caLabel = new QLabel(QStringLiteral("C&A file:"), this);
    caLabel->setBuddy(m_caFile);
    form->addRow(serverLabel, server);
    form->addRow(QStringLiteral("S&ecurity:"), m_security);
    form->addRow(QStringLiteral("&User:"), m_user);
    form->addRow(QStringLiteral("Pass&word:"), m_password);
    form->addRow(QString(), m_remember);
    form->addRow(QStringLiteral("&From:"), m_from);
    form->addRow(caLabel, ca);
    form->addRow(QStringLiteral("Ra&te:"), m_rate);
    form->addRow(QStringLiteral("Su&bject:"), m_subject);
    form->addRow(QStringLiteral("&Message:"), m_body);
    form->addRow(QString(), m_protect);
    auto* fields = named(new QLabel(QStringLiteral("Fields: {name} {pan} {certificates} {quarter} {year} {deductor} {tan}"), this),
                         "templateFields");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(fields);
    layout->addWidget(buttons);
}

std::string MailSettingsDialog::password() const { return m_password->text().toStdString(); }

MailSettings MailSettingsDialog::fromFields() const
{
    MailSettings s = m_settings;
    const std::string host = m_host->text().trimmed().toStdString();
    s.url = host.empty() ? std::string()
                         : (m_security->currentIndex() == 1 ? "smtps://" : "smtp://") + host + ":" +
                               std::to_string(m_port->value());
    s.user = m_user->text().trimmed().toStdString();
    s.from = m_from->text().trimmed().toStdString();
    s.caFile = core::pathFromText(m_caFile->text().trimmed().toStdString());
    s.ratePerMinute = m_rate->value();
    s.subject = m_subject->text().toStdString();
    s.body = m_body->toPlainText().toStdString();
    s.rememberPassword = m_remember->isChecked();
    s.protect = m_protect->isChecked();
    return s;
}

void MailSettingsDialog::accept()
{
    const MailSettings s = fromFields();
    if (const std::string problem = mailSettingsProblem(s); !problem.empty()) {
        widgets::MessageBox::show(this, {"These settings can't be used: " + problem + ".", "Mail Settings",
                                         core::Icon::Information});
        return;
    }
    // The password of an earlier login is forgotten with it, so the keyring holds none not in use.
    const std::string account = keyringAccount(s.url, s.user), before = keyringAccount(m_settings.url, m_settings.user);
    try {
        if (m_settings.rememberPassword && (before != account || !s.rememberPassword))
            m_keyring.remove(before);
        if (s.rememberPassword && !s.user.empty() && !password().empty())
            m_keyring.write(account, password());
    } catch (const KeyringError& e) {
        widgets::MessageBox::show(this, {std::string("The password is not remembered: ") + e.what() +
                                             ". It is used until the window closes.",
                                         "Mail Settings", core::Icon::Information});
    }
    m_settings = s;
    saveMailSettings(s);
    QDialog::accept();
}

} // namespace cw::mail
