#include "mail/gui/SignPdfsDialog.h"

#include "core/PathText.h"
#include "signing/FolderSigning.h"
#include "printing/PdfSigner.h"
#include "printing/gui/SigningKeyBox.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace cw::mail {

namespace {

QLineEdit* field(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

fs::path pathOf(const QLineEdit* edit)
{
    return core::pathFromText(edit->text().trimmed().toStdString());
}

} // namespace

SignPdfsDialog::SignPdfsDialog(FolderChooser chooser, const fs::path& pdfs, QWidget* parent)
    : QDialog(parent)
    , m_chooser(std::move(chooser))
{
    setObjectName(QStringLiteral("signPdfsDialog"));
    setWindowTitle(QStringLiteral("Sign PDFs"));
    m_pdfs = field(this, "signPdfsFolder");
    m_pdfs->setText(QString::fromStdString(core::pathText(pdfs)));
    m_key = new printing::SigningKeyBox(printing::SigningKeyBox::Signing::Required, this);
    m_protect = new QCheckBox(QStringLiteral("&Protect: each file opens with its deductee's PAN"), this);
    m_protect->setObjectName(QStringLiteral("signProtect"));
    m_out = field(this, "signOutFolder");
    m_out->setPlaceholderText(QStringLiteral("the PDFs' folder/Signed"));
    auto* browsePdfs = new QPushButton(QStringLiteral("&Browse…"), this);
    browsePdfs->setAutoDefault(false);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_pdfs, 1);
    folderRow->addWidget(browsePdfs);
    // A label of its own: one made for a row of several widgets would show the "&".
    auto* folderLabel = new QLabel(QStringLiteral("PDF &folder:"), this);
    folderLabel->setBuddy(m_pdfs);
    auto* form = new QFormLayout;
    form->addRow(folderLabel, folderRow);
    auto* outForm = new QFormLayout;
    outForm->addRow(QString(), m_protect);
    outForm->addRow(QStringLiteral("O&utput folder:"), m_out);
    m_results = new QListWidget(this);
    m_results->setObjectName(QStringLiteral("signResults"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_signButton = buttons->addButton(QStringLiteral("&Sign"), QDialogButtonBox::ActionRole);
    m_signButton->setObjectName(QStringLiteral("signButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_key);
    layout->addLayout(outForm);
    layout->addWidget(m_results, 1);
    layout->addWidget(buttons);
    resize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 34);

    connect(browsePdfs, &QPushButton::clicked, this, &SignPdfsDialog::choosePdfs);
    connect(m_signButton, &QPushButton::clicked, this, &SignPdfsDialog::sign);
    connect(buttons, &QDialogButtonBox::rejected, this, &SignPdfsDialog::reject);
}

SignPdfsDialog::~SignPdfsDialog()
{
    if (m_thread)
        m_thread->wait();
}

void SignPdfsDialog::reject()
{
    if (!m_thread)
        QDialog::reject();
}

void SignPdfsDialog::choosePdfs()
{
    const fs::path folder = m_chooser(this, QStringLiteral("The folder of certificate PDFs"));
    if (!folder.empty())
        m_pdfs->setText(QString::fromStdString(core::pathText(folder)));
}

void SignPdfsDialog::sign()
{
    if (m_thread)
        return;
    m_results->clear();
    const fs::path pdfs = pathOf(m_pdfs);
    const fs::path out = m_out->text().trimmed().isEmpty() ? pdfs / "Signed" : pathOf(m_out);
    std::vector<fs::path> files = signing::pdfFilesIn(pdfs);
    std::shared_ptr<printing::PdfSigner> signer;
    QString problem;
    std::error_code ec;
    // The key before the output folder: a key that cannot sign leaves no empty folder behind.
    if (files.empty())
        problem = QStringLiteral("%1 has no PDF files.").arg(m_pdfs->text());
    else
        try {
            signer = m_key->signer();
        } catch (const std::exception& e) {
            problem = QString::fromStdString(e.what());
        }
    if (problem.isEmpty() && (fs::create_directories(out, ec), !fs::is_directory(out, ec)))
        problem = QStringLiteral("The folder %1 cannot be made.").arg(QString::fromStdString(core::pathText(out)));
    if (!problem.isEmpty()) {
        showResult(problem, true);
        emit signingFinished();
        return;
    }
    // Each file's line reaches the dialog as it is done; the pool of threads stays off the event loop.
    QPointer<SignPdfsDialog> dialog(this);
    const signing::PdfPreparation how{signer.get(), m_protect->isChecked(), std::nullopt, {},
                                     "sign it with certwright sign --sign-box PAGE:X,Y,W,H"};
    auto summary = std::make_shared<QString>();
    m_thread = QThread::create([dialog, files = std::move(files), out, how, signer, summary] {
        std::size_t refused = 0;
        for (const signing::SignedFile& f : signing::signFiles(files, out, how, [dialog](const signing::SignedFile& f) {
                 const QString line = QString::fromStdString(f.refusal.empty() ? core::pathText(f.target) + ": " + f.fields : f.refusal);
                 const bool bad = !f.refusal.empty();
                 QMetaObject::invokeMethod(dialog, [dialog, line, bad] { if (dialog) dialog->showResult(line, bad); },
                                           Qt::QueuedConnection);
             }))
            refused += f.refusal.empty() ? 0 : 1;
        *summary = QStringLiteral("%1 of %2 PDF file(s) signed into %3")
                       .arg(files.size() - refused).arg(files.size()).arg(QString::fromStdString(core::pathText(out)));
    });
    m_signButton->setEnabled(false);
    connect(m_thread, &QThread::finished, this, [this, summary] { finish(*summary); });
    m_thread->start();
}

void SignPdfsDialog::showResult(const QString& line, bool refused)
{
    auto* item = new QListWidgetItem(line, m_results);
    if (refused)
        item->setForeground(Qt::darkRed);
}

void SignPdfsDialog::finish(const QString& summary)
{
    m_thread->deleteLater();
    m_thread = nullptr;
    showResult(summary, false);
    m_signButton->setEnabled(true);
    emit signingFinished();
}

} // namespace cw::mail
