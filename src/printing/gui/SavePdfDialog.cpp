#include "printing/gui/SavePdfDialog.h"

#include "core/PathText.h"
#include "printing/PdfSigner.h"
#include "printing/gui/SigningKeyBox.h"
#include "widgets/MessageBox.h"
#include "widgets/ProgressDialog.h"

#include <QEventLoop>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <memory>

namespace fs = std::filesystem;

namespace cw::printing {

namespace {

const char* const kTitle = "Save as PDF";

QHBoxLayout* row(QWidget* a, QWidget* b = nullptr)
{
    auto* layout = new QHBoxLayout;
    layout->addWidget(a);
    if (b)
        layout->addWidget(b);
    return layout;
}

} // namespace

SavePdfDialog::SavePdfDialog(fs::path outputFolder, std::vector<std::string> names, QWidget* parent)
    : QDialog(parent), m_outputFolder(std::move(outputFolder)), m_names(std::move(names))
{
    setWindowTitle(QString::fromLatin1(kTitle));

    auto* files = new QGroupBox(QStringLiteral("Files"), this);
    m_separate = new QRadioButton(QStringLiteral("One PDF file per certificate, beside it in Form16A"), files);
    m_merged = new QRadioButton(QStringLiteral("One PDF file with all marked certificates:"), files);
    // Beside Form16A rather than in it: the next run replaces that folder.
    m_mergedFile = new QLineEdit(QString::fromStdString(core::pathText(m_outputFolder.parent_path() / "Form 16A certificates.pdf")), files);
    auto* browseMerged = new QPushButton(QStringLiteral("Browse…"), files);
    m_separate->setChecked(true);
    auto* filesLayout = new QVBoxLayout(files);
    filesLayout->addWidget(m_separate);
    filesLayout->addWidget(m_merged);
    filesLayout->addLayout(row(m_mergedFile, browseMerged));

    m_signing = new SigningKeyBox(SigningKeyBox::Signing::Optional, this);

    m_protect = new QCheckBox(QStringLiteral("Protect each certificate with the deductee's PAN as its password"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(files);
    layout->addWidget(m_signing);
    layout->addWidget(m_protect);
    layout->addWidget(buttons);

    for (QRadioButton* choice : {m_separate, m_merged})
        connect(choice, &QRadioButton::toggled, this, &SavePdfDialog::updateChoices);
    connect(browseMerged, &QPushButton::clicked, this, &SavePdfDialog::chooseMergedFile);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const PdfRunResult result = save();
        if (!result.done.empty() || !result.skipped.empty())
            accept();
    });
    updateChoices();
}

void SavePdfDialog::updateChoices()
{
    m_mergedFile->setEnabled(m_merged->isChecked());
    // A merged file holds several deductees' certificates: no one PAN can protect it.
    m_protect->setEnabled(!m_merged->isChecked());
    if (m_merged->isChecked())
        m_protect->setChecked(false);
}

void SavePdfDialog::chooseMergedFile()
{
    const QString file = QFileDialog::getSaveFileName(this, QString::fromLatin1(kTitle), m_mergedFile->text(),
                                                      QStringLiteral("PDF files (*.pdf)"));
    if (!file.isEmpty())
        m_mergedFile->setText(file);
}

PdfRunResult SavePdfDialog::save()
{
    PdfRunResult result;
    if (m_saving) // Save again before the progress shows: the run under way writes the same files
        return result;
    std::unique_ptr<PdfSigner> signer;
    PdfRunOptions options;
    try {
        signer = m_signing->signer();
        options.signer = signer.get();
        options.protect = m_protect->isChecked() && !m_merged->isChecked();
        if (m_merged->isChecked())
            options.mergedFile = core::pathFromText(m_mergedFile->text().toStdString());
    } catch (const std::exception& e) {
        widgets::MessageBox::show(this, {e.what(), kTitle, core::Icon::Critical});
        return result;
    }

    // The PDFs are written on a thread of their own. This one shows their progress and waits for
    // the end in an event loop of its own, so that save() still returns what the run did.
    widgets::ProgressDialog progress(this);
    progress.setLabelText(QStringLiteral("Saving certificates as PDF…"));
    progress.setCancelButtonText(QStringLiteral("Cancel"));
    progress.setMinimumDuration(300);
    std::atomic<bool> cancelled{false};
    connect(&progress, &QProgressDialog::canceled, this, [&cancelled] { cancelled = true; });
    options.progress = [&progress, &cancelled](std::size_t done, std::size_t total) {
        QMetaObject::invokeMethod(
            &progress, [&progress, done, total] { progress.setProgress(static_cast<int>(done), static_cast<int>(total)); },
            Qt::QueuedConnection);
        return !cancelled.load();
    };
    std::string failure;
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            result = writeCertificatePdfs(m_outputFolder, m_names, options);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }));
    QEventLoop untilFinished;
    connect(worker.get(), &QThread::finished, &untilFinished, &QEventLoop::quit);
    progress.setProgress(0, static_cast<int>(m_names.size())); // the delay runs from now
    m_saving = true;
    worker->start();
    untilFinished.exec();
    worker->wait();
    m_saving = false;

    if (!failure.empty())
        widgets::MessageBox::show(this, {failure, kTitle, core::Icon::Critical});
    else if (!result.skipped.empty())
        widgets::MessageBox::show(this, {skippedPrompt(result.skipped, "written as PDF"), kTitle, core::Icon::Information});
    for (const std::string& note : failure.empty() ? result.notes : std::vector<std::string>{})
        widgets::MessageBox::show(this, {note, kTitle, core::Icon::Information});
    return result;
}

} // namespace cw::printing
