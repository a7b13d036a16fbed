// What the writer produces, read by programs that are not ours. The shared reader cross-check
// (xlrd, Apache POI, SheetJS, LibreOffice, Gnumeric) runs once over every accepted corpus file,
// our saved copy of it, a copy changed by a sheet copy and delete, and texts of many scripts
// built here. A reader may fail on a copy only where it fails on the original (some recompute
// volatile or macro functions), xlrd must see in our copy what it sees in the original, and the
// built workbook must pass outright. Then the certificates of templates restyled in LibreOffice
// and in Gnumeric, in the readers, in Gnumeric's and LibreOffice's eyes and on our pages.

#include "TestSupport.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

namespace {

using namespace cw::host;
namespace fs = std::filesystem;

// The readers that failed on each file of a cross-check report; "(no verdict)" when the report
// never reached the file.
std::map<std::string, std::set<std::string>> failingReaders(const std::vector<fs::path>& files, const std::string& report)
{
    std::map<std::string, std::set<std::string>> out;
    for (const fs::path& f : files)
        out[f.string()] = {"(no verdict)"};
    std::istringstream in(report);
    std::string file;
    for (std::string line; std::getline(in, line);) {
        if (out.count(line))
            out[file = line].clear();
        else if (!file.empty() && line.rfind("  => ", 0) == 0)
            file.clear();
        else if (!file.empty() && line.size() > 19 && line[2] != ' ' && line.compare(15, 4, "FAIL") == 0)
            out[file].insert(line.substr(2, line.find(' ', 2) - 2));
    }
    return out;
}

// Texts of many scripts, enough to run the shared strings over many CONTINUE records with
// compressed and UTF-16 strings meeting the record boundaries; numbers and booleans beside them.
Workbook texts()
{
    Workbook wb;
    Sheet& t = wb.addSheet("Texts");
    const char* pieces[] = {"Form 16A ", "é", "₹", "\xF0\x9F\x8D\xA3", "कर", "0123456789"};
    for (int r = 0; r < 3000; ++r) {
        std::string s = "Deductee " + std::to_string(r) + " ";
        for (int k = 0; k < r % 23; ++k)
            s += pieces[(r * 7 + k) % 6];
        t.setValue(r, 0, s);
        t.setValue(r, 1, 1234.5 * r + 0.01);
        t.setValue(r, 2, r % 3 == 0);
    }
    return wb;
}

TEST(Oracles, OurCopiesReadTheSameEverywhere)
{
    cw::test::TempFolder dir("oracles");
    struct Saved {
        fs::path original, copy, changed;
    };
    std::vector<Saved> saved;
    std::vector<fs::path> files;
    for (const cw::test::CorpusFile& f : cw::test::corpusFiles("accept")) {
        Workbook wb = Workbook::open(f.path());
        Saved s{f.path(), dir / ("copy-" + f.file), dir / ("changed-" + f.file)};
        wb.save(s.copy);
        // A structure change rebuilds the link table and drops what would point wrong.
        int first = 0;
        while (wb.sheet(first).kind() != SheetKind::Worksheet)
            ++first;
        const int copy = wb.copySheet(first, wb.sheetCount() - 1, true);
        if (wb.sheetCount() >= 3 && copy != 1)
            wb.deleteSheet(1);
        wb.save(s.changed);
        files.insert(files.end(), {s.original, s.copy, s.changed});
        saved.push_back(s);
    }
    const fs::path built = dir / "texts.xls";
    texts().save(built);
    files.push_back(built);

    std::string cmd = cw::test::shellQuote(cw::test::readerCheck()) + " --strict --dumps " + cw::test::shellQuote(dir / "dumps");
    for (const fs::path& f : files)
        cmd += " " + cw::test::shellQuote(f);
    std::string report;
    cw::test::runCommand(cmd, report);
    const auto failed = failingReaders(files, report);
    auto block = [&](const fs::path& f) { return report.substr(std::min(report.find(f.string()), report.size()), 1500); };
    auto dump = [&](const fs::path& f) { return cw::test::readBytes(dir / "dumps" / (f.filename().string() + ".xlrd.txt")); };

    EXPECT_TRUE(failed.at(built.string()).empty()) << block(built);
    for (const Saved& s : saved) {
        SCOPED_TRACE(s.original.filename().string());
        for (const fs::path& ours : {s.copy, s.changed})
            for (const std::string& reader : failed.at(ours.string()))
                EXPECT_TRUE(failed.at(s.original.string()).count(reader)) << reader << " fails on our copy only\n" << block(ours);
        EXPECT_FALSE(dump(s.copy).empty());
        EXPECT_EQ(dump(s.copy), dump(s.original));
    }
}

// The pages of a PDF that show an image, as poppler's pdfimages lists them.
std::set<int> pagesWithImages(const fs::path& pdf)
{
    std::string list;
    EXPECT_EQ(cw::test::runCommand("pdfimages -list " + cw::test::shellQuote(pdf), list), 0) << list;
    std::set<int> pages;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line);)
        if (line.find(" image ") != std::string::npos)
            pages.insert(std::stoi(line));
    return pages;
}

TEST(Oracles, RestyledTemplatesGiveCertificatesWithTheirPicturesAndComment)
{
    const fs::path app = CERTWRIGHT_APP_DIR, data = fs::path(CERTWRIGHT_SOURCE_DIR) / "tests" / "data";
    const std::string office = "/usr/bin/python3 " + cw::test::shellQuote(fs::path(CERTWRIGHT_SOURCE_DIR) / "tests/host/office.py");
    const std::string logo = cw::test::readBytes(data / "logo.png"), seal = cw::test::readBytes(data / "seal.jpg");
    cw::test::TempFolder dir("restyled");
    std::vector<fs::path> certificates, annexed;
    std::string out;
    for (const std::string tool : {"lo", "gnumeric"}) {
        const fs::path folder = dir / tool;
        cw::test::writeBytes(folder / "TDS.txt", cw::test::readBytes(app / "TDS.txt"));
        ASSERT_EQ(cw::test::runCommand(office + " restyle-" + tool + " " + cw::test::shellQuote(app / "TDS16A.xls") + " " +
                                           cw::test::shellQuote(data / "logo.png") + " " + cw::test::shellQuote(data / "seal.jpg") +
                                           " " + cw::test::shellQuote(folder / "TDS16A.xls"), out), 0) << out;
        ASSERT_EQ(cw::test::runCommand(cw::test::shellQuote(app / "certwright") + " generate --folder " + cw::test::shellQuote(folder), out), 0) << out;
        for (const auto& e : fs::directory_iterator(folder / "Form16A")) {
            certificates.push_back(e.path());
            // Every certificate carries the logo and the comment; one with an annexure, the seal.
            const Workbook wb = Workbook::open(e.path());
            std::vector<std::string> seen;
            for (int s = 0; s < wb.sheetCount(); ++s)
                for (const DrawingObject& o : wb.drawingObjects(s))
                    seen.push_back(o.kind == DrawingKind::Comment ? "comment " + toA1(o.noteCell.row, o.noteCell.col)
                                                                   : std::string(o.image.begin(), o.image.end()) == (s ? seal : logo) ? "picture" : "?");
            std::sort(seen.begin(), seen.end());
            EXPECT_EQ(seen, (wb.sheetCount() == 2 ? std::vector<std::string>{"comment I10", "picture", "picture"}
                                                  : std::vector<std::string>{"comment I10", "picture"})) << e.path();
            if (wb.sheetCount() == 2)
                annexed.push_back(e.path());
        }
    }
    std::string report;
    cw::test::runCommand(cw::test::shellQuote(cw::test::readerCheck()) + " --strict " + [&] {
        std::string files;
        for (const fs::path& f : certificates)
            files += " " + cw::test::shellQuote(f);
        return files;
    }(), report);
    for (const auto& [file, readers] : failingReaders(certificates, report))
        EXPECT_TRUE(readers.empty()) << file << "\n" << report.substr(std::min(report.find(file), report.size()), 1500);

    ASSERT_EQ(annexed.size(), 2u);
    for (const fs::path& cert : annexed) {
        SCOPED_TRACE(cert.string());
        const std::string name = cert.stem().string(), annex = std::to_string(std::stoi(name)) + "A";
        ASSERT_EQ(cw::test::runCommand(office + " objects " + cw::test::shellQuote(cert), out), 0) << out;
        EXPECT_EQ(out, name + " image\n" + name + " comment I10 Checked by the deductor\n" + annex + " image\n");
        ASSERT_EQ(cw::test::runCommand(office + " pdf " + cw::test::shellQuote(cert) + " " + cw::test::shellQuote(dir / "lo.pdf"), out), 0) << out;
        EXPECT_EQ(pagesWithImages(dir / "lo.pdf"), (std::set<int>{1, 2})) << "LibreOffice's pages";
        const fs::path folder = cert.parent_path().parent_path();
        ASSERT_EQ(cw::test::runCommand(cw::test::shellQuote(app / "certwright") + " pdf --folder " + cw::test::shellQuote(folder) + " " + name, out), 0) << out;
        EXPECT_EQ(pagesWithImages(cert.parent_path() / (name + ".pdf")), (std::set<int>{1, 2})) << "our pages";
    }
    // Pictures we can't draw leave their place empty and are named, once each.
    cw::test::writeBytes(dir / "lo" / "Form16A" / "099.xls", cw::test::readBytes(cw::test::corpusDir() / "SimpleWithImages.xls"));
    ASSERT_EQ(cw::test::runCommand(cw::test::shellQuote(app / "certwright") + " pdf --folder " + cw::test::shellQuote(dir / "lo") + " 099", out), 0);
    for (const char* kind : {"is an EMF picture", "is a WMF picture"})
        EXPECT_NE(out.find(kind), std::string::npos) << out;
}

} // namespace
