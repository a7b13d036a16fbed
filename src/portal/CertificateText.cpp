#include "portal/CertificateText.h"

#include "core/PathText.h"

#include <poppler/qt6/poppler-form.h>
#include <poppler/qt6/poppler-qt6.h>

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <set>

namespace fs = std::filesystem;

namespace cw::portal {

namespace {

using Label = std::initializer_list<const char*>;

// A label: its words' box, and the box of its last line (what stands right of it).
struct Found {
    QRectF box;
    QRectF lastLine;
};

core::Failure refusal(const std::string& name, const std::string& reason)
{
    return core::Failure(name + ": " + reason, core::kErrorTitle);
}

// A word as labels are compared: small letters, without the punctuation around it.
QString plain(const QString& text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && !text[from].isLetterOrNumber())
        ++from;
    while (to > from && !text[to - 1].isLetterOrNumber())
        --to;
    return text.mid(from, to - from).toLower();
}

// Whether `next` continues a label after `prev`: on the same line just right of it, or at the
// start of the next line within the label's column.
bool continues(const QRectF& prev, const QRectF& next, const QRectF& label)
{
    const double h = std::max(prev.height(), 1.0);
    const bool sameLine = std::abs(next.center().y() - prev.center().y()) < 0.5 * h;
    if (sameLine)
        return next.left() >= prev.right() - 0.5 * h && next.left() - prev.right() < 2.5 * h;
    const bool nextLine = next.top() > prev.top() + 0.5 * h && next.top() - prev.bottom() < 1.2 * h;
    return nextLine && next.left() >= label.left() - 4 * h && next.left() <= label.right() + h;
}

// Every place on the page where the label's words stand in order.
std::vector<Found> findLabel(const PageWords& page, Label label)
{
    std::vector<QString> parts;
    for (const char* p : label)
        parts.push_back(QString::fromLatin1(p));
    std::vector<QString> plainWords;
    for (const Word& w : page.words)
        plainWords.push_back(plain(w.text));
    std::vector<Found> found;
    for (std::size_t start = 0; start < page.words.size(); ++start) {
        if (plainWords[start] != parts[0])
            continue;
        Found f{page.words[start].box, page.words[start].box};
        QRectF prev = f.box;
        bool whole = true;
        for (std::size_t k = 1; k < parts.size() && whole; ++k) {
            const Word* best = nullptr;
            for (std::size_t i = 0; i < page.words.size(); ++i) {
                const QRectF& b = page.words[i].box;
                if (plainWords[i] != parts[k] || !continues(prev, b, f.box))
                    continue;
                if (!best || std::hypot(b.left() - prev.right(), b.top() - prev.top()) <
                                 std::hypot(best->box.left() - prev.right(), best->box.top() - prev.top()))
                    best = &page.words[i];
            }
            if (!best) {
                whole = false;
                break;
            }
            if (best->box.top() > prev.bottom() - 0.5 * prev.height())
                f.lastLine = best->box;
            else
                f.lastLine = f.lastLine.united(best->box);
            f.box = f.box.united(best->box);
            prev = best->box;
        }
        if (whole)
            found.push_back(f);
    }
    return found;
}

// The word of the form `pattern` under the label (in its column, the nearest below) or right of
// its last line on the same line, the one `underFirst` says first; empty when there is none.
QString valueOf(const PageWords& page, const Found& label, const QRegularExpression& pattern, bool underFirst = true)
{
    static const QRegularExpression edges(QStringLiteral("^[^A-Za-z0-9]+|[^A-Za-z0-9]+$"));
    const double h = std::max(label.lastLine.height(), 1.0);
    const Word* under = nullptr;
    const Word* right = nullptr;
    for (const Word& w : page.words) {
        const QString text = QString(w.text).remove(edges);
        if (!pattern.match(text).hasMatch())
            continue;
        const QRectF& b = w.box;
        const bool inColumn = b.right() > label.box.left() - h && b.left() < label.box.right() + h;
        if (inColumn && b.top() >= label.box.bottom() - 0.3 * h && b.top() - label.box.bottom() < 6 * h) {
            if (!under || b.top() < under->box.top())
                under = &w;
        }
        const bool onLine = std::abs(b.center().y() - label.lastLine.center().y()) < 0.6 * h;
        if (onLine && b.left() >= label.lastLine.right() - 0.5 * h && b.left() - label.lastLine.right() < 30 * h) {
            if (!right || b.left() < right->box.left())
                right = &w;
        }
    }
    const Word* w = underFirst ? (under ? under : right) : (right ? right : under);
    return w ? QString(w->text).remove(edges) : QString();
}

// The first value of the form `pattern` beside any of the labels, over all pages.
std::string firstValue(const std::vector<PageWords>& pages, std::initializer_list<Label> labels, const QRegularExpression& pattern)
{
    for (const PageWords& page : pages)
        for (Label label : labels)
            for (const Found& f : findLabel(page, label)) {
                const QString v = valueOf(page, f, pattern, false);
                if (!v.isEmpty())
                    return v.toStdString();
            }
    return {};
}

const QRegularExpression& panForm()
{
    static const QRegularExpression re(QStringLiteral("^(?:[A-Z]{5}[0-9]{4}[A-Z]|PANNOTAVBL|PANAPPLIED|PANINVALID)$"));
    return re;
}

// Above the signature's caption on the last page: as wide as the caption (at least two inches),
// three lines of the caption's height.
QRectF signatureBox(const PageWords& page)
{
    for (Label caption : {Label{"signature", "of", "person", "responsible", "for", "deduction", "of", "tax"},
                          Label{"signature", "of", "the", "person", "responsible", "for", "deduction", "of", "tax"}}) {
        const std::vector<Found> found = findLabel(page, caption);
        if (found.empty())
            continue;
        const QRectF c = found.back().box;
        const double height = std::clamp(c.height() * 3.5, 24.0, 48.0);
        const double width = std::max(c.width(), 144.0);
        QRectF box(c.left(), c.top() - height - 1, width, height);
        box.moveLeft(std::clamp(box.left(), 0.0, std::max(0.0, page.size.width() - width)));
        box.moveTop(std::max(0.0, box.top()));
        return box;
    }
    return {};
}

} // namespace

CertificateRead findCertificateFields(const std::vector<PageWords>& pages, const std::string& name)
{
    const std::initializer_list<Label> deducteeLabels = {
        {"pan", "of", "the", "deductee"}, {"pan", "of", "deductee"}, {"pan", "no", "of", "the", "payee"}, {"pan", "of", "the", "payee"}};
    std::set<std::string> pans;
    bool labelled = false;
    for (const PageWords& page : pages)
        for (Label label : deducteeLabels)
            for (const Found& f : findLabel(page, label)) {
                labelled = true;
                const QString pan = valueOf(page, f, panForm());
                if (!pan.isEmpty())
                    pans.insert(pan.toStdString());
            }
    if (!labelled)
        return refusal(name, "no label \"PAN of the Deductee\" in its text; it is not a Form 16A certificate we can read");
    if (pans.empty())
        return refusal(name, "no PAN under or beside the label \"PAN of the Deductee\"");
    if (pans.size() > 1)
        return refusal(name, "two different deductee PANs (" + *pans.begin() + " and " + *std::next(pans.begin()) +
                                 "); one certificate is for one deductee");
    CertificateFields fields;
    fields.pan = *pans.begin();
    static const QRegularExpression anyValue(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9/-]*$"));
    static const QRegularExpression year(QStringLiteral("^[0-9]{4}-[0-9]{2}(?:[0-9]{2})?$"));
    static const QRegularExpression quarter(QStringLiteral("^Q[1-4]$"));
    static const QRegularExpression tan(QStringLiteral("^[A-Z]{4}[0-9]{5}[A-Z]$"));
    fields.certificateNo = firstValue(pages, {{"certificate", "no"}, {"certificate", "number"}}, anyValue);
    fields.assessmentYear = firstValue(pages, {{"assessment", "year"}}, year);
    fields.quarter = firstValue(pages, {{"quarter"}}, quarter);
    fields.tan = firstValue(pages,
                            {{"tan", "of", "the", "deductor"}, {"tan", "of", "deductor"}, {"tan", "no", "of", "the", "person", "deducting", "tax"}},
                            tan);
    for (const PageWords& page : pages)
        fields.pageSizes.push_back(page.size);
    if (!pages.empty())
        fields.signatureBox = signatureBox(pages.back());
    return fields;
}

// One blank page, the least the library opens; it rebuilds the cross-reference table itself.
constexpr char kBlankPdf[] = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                             "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 10 10]>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";

PdfLibrarySession::PdfLibrarySession()
{
    // Quiet first: the library notes on standard error that the blank page has no table.
    Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
    m_held = Poppler::Document::loadFromData(QByteArray(kBlankPdf));
}

PdfLibrarySession::~PdfLibrarySession() = default;

CertificateRead readCertificatePdf(const fs::path& file, const std::string& password)
{
    const std::string name = core::pathText(file);
    QFile in(QString::fromStdString(name));
    if (!in.open(QIODevice::ReadOnly))
        return refusal(name, "cannot be read (" + in.errorString().toStdString() + ")");
    return readCertificatePdf(in.readAll(), name, password);
}

CertificateRead readCertificatePdf(const QByteArray& bytes, const std::string& name, const std::string& password)
{
    // A PDF starts with its header, perhaps after a little rubbish.
    if (!bytes.left(1024).contains("%PDF-"))
        return refusal(name, "is not a PDF file");
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(bytes);
    if (!doc)
        return refusal(name, "is damaged; its PDF structure cannot be read");
    const bool encrypted = doc->isLocked();
    if (encrypted) {
        if (password.empty())
            return refusal(name, "is encrypted by its maker; give its password with --input-password FILE");
        if (doc->unlock(QByteArray::fromStdString(password), QByteArray::fromStdString(password)))
            return refusal(name, "is encrypted, and the password given does not open it");
    }
    std::vector<PageWords> pages;
    for (int p = 0; p < doc->numPages(); ++p) {
        std::unique_ptr<Poppler::Page> page = doc->page(p);
        if (!page)
            return refusal(name, "is damaged; its page " + std::to_string(p + 1) + " cannot be read");
        PageWords words;
        words.size = page->pageSizeF();
        for (const std::unique_ptr<Poppler::TextBox>& box : page->textList())
            words.words.push_back({box->text(), box->boundingBox()});
        pages.push_back(std::move(words));
    }
    CertificateRead read = findCertificateFields(pages, name);
    if (auto* fields = std::get_if<CertificateFields>(&read)) {
        fields->encrypted = encrypted;
        fields->alreadySigned = !doc->signatures().empty();
    }
    return read;
}

} // namespace cw::portal
