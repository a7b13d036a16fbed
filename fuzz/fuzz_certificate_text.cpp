// Arbitrary words with boxes, as the text of a PDF made elsewhere gives them, through the search
// for the deductee's PAN and the other fields. The input is lines "PAGE X Y W H WORD" (numbers
// in points, a page of A4); anything else on a line ends that line's word. Besides crashes and
// sanitizer findings it checks what signing relies on: a PAN found has the form of one, a
// refusal names the document, and the signature's box lies on the last page.
#include "portal/CertificateText.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

using namespace cw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<portal::PageWords> pages;
    std::string line;
    while (std::getline(in, line) && pages.size() < 50) {
        std::istringstream fields(line);
        int page = 0;
        double x = 0, y = 0, w = 0, h = 0;
        std::string word;
        if (!(fields >> page >> x >> y >> w >> h >> word) || page < 0 || page > 20)
            continue;
        while (pages.size() <= static_cast<std::size_t>(page))
            pages.push_back({QSizeF(595, 842), {}});
        pages[static_cast<std::size_t>(page)].words.push_back({QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size())), QRectF(x, y, w, h)});
    }
    const portal::CertificateRead read = portal::findCertificateFields(pages, "fuzzed.pdf");
    if (const auto* f = std::get_if<core::Failure>(&read)) {
        if (f->message().prompt.rfind("fuzzed.pdf: ", 0) != 0)
            std::abort();
        return 0;
    }
    const auto& fields = std::get<portal::CertificateFields>(read);
    static const QRegularExpression pan(QStringLiteral("^(?:[A-Z]{5}[0-9]{4}[A-Z]|PANNOTAVBL|PANAPPLIED|PANINVALID)$"));
    if (!pan.match(QString::fromStdString(fields.pan)).hasMatch())
        std::abort();
    const QRectF& box = fields.signatureBox;
    if (!box.isEmpty() && (box.left() < 0 || box.top() < 0 || box.width() <= 0 || fields.pageSizes.size() != pages.size()))
        std::abort();
    return 0;
}
