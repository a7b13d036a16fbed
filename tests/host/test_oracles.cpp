// What the writer produces, read by programs that are not ours. The shared reader cross-check
// (xlrd, Apache POI, SheetJS, LibreOffice, Gnumeric) runs once over every accepted corpus file,
// our saved copy of it, and a copy changed by a sheet copy and delete. A reader may fail on a
// copy only where it fails on the original (some recompute volatile or macro functions), and
// xlrd must see in our copy what it sees in the original. Then templates restyled elsewhere.

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

std::string q(const fs::path& p) { return cw::test::shellQuote(p); }

// The cross-check's report on the files, and the readers that failed on each file ("(no
// verdict)" when the report never reached it).
std::map<std::string, std::set<std::string>> failingReaders(const std::vector<fs::path>& files, std::string& report,
                                                            const std::string& options = "")
{
    std::string cmd = q(cw::test::readerCheck()) + " --strict " + options;
    for (const fs::path& f : files)
        cmd += " " + q(f);
    cw::test::runCommand(cmd, report);
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

TEST(Oracles, OurCopiesReadTheSameEverywhere)
{
    cw::test::TempFolder dir("oracles");
    std::vector<fs::path> files; // of each corpus file: the original, our copy, our changed copy
    for (const cw::test::CorpusFile& f : cw::test::corpusFiles("accept")) {
        Workbook wb = Workbook::open(f.path());
        const fs::path copy = dir / ("copy-" + f.file), changed = dir / ("changed-" + f.file);
        wb.save(copy);
        // A structure change rebuilds the link table and drops what would point wrong.
        int first = 0;
        while (wb.sheet(first).kind() != SheetKind::Worksheet)
            ++first;
        if (wb.copySheet(first, wb.sheetCount() - 1, true) != 1 && wb.sheetCount() >= 3)
            wb.deleteSheet(1);
        wb.save(changed);
        files.insert(files.end(), {f.path(), copy, changed});
    }

    std::string report;
    const auto failed = failingReaders(files, report, "--dumps " + q(dir / "dumps"));
    auto block = [&](const fs::path& f) { return report.substr(std::min(report.find(f.string()), report.size()), 1500); };
    auto dump = [&](const fs::path& f) { return cw::test::readBytes(dir / "dumps" / (f.filename().string() + ".xlrd.txt")); };
    for (std::size_t k = 0; k < files.size(); k += 3) {
        SCOPED_TRACE(files[k].filename().string());
        for (const fs::path& ours : {files[k + 1], files[k + 2]})
            for (const std::string& reader : failed.at(ours.string()))
                EXPECT_TRUE(failed.at(files[k].string()).count(reader)) << reader << " fails on our copy only\n" << block(ours);
        EXPECT_FALSE(dump(files[k + 1]).empty());
        EXPECT_EQ(dump(files[k + 1]), dump(files[k]));
    }
}

// The pages of a PDF that show an image, as poppler's pdfimages lists them ("1 2").
std::string pagesWithImages(const fs::path& pdf)
{
    std::string pages;
    EXPECT_EQ(cw::test::runCommand("pdfimages -list " + q(pdf) + " | awk 'NR > 2 { print $1 }' | sort -un | xargs", pages), 0);
    return pages;
}

// A logo on "Form 16A", a seal on "Annex" and a comment, put there with LibreOffice and with
// Gnumeric as a user would: every certificate of a run (one with an annexure) carries them, to
// our reader and in the cross-check; Gnumeric lists them; LibreOffice's PDF and ours show both
// pictures on their pages.
TEST(Oracles, RestyledTemplatesGiveCertificatesWithTheirPicturesAndComment)
{
    const fs::path app = CERTWRIGHT_APP_DIR, data = fs::path(CERTWRIGHT_SOURCE_DIR) / "tests" / "data";
    const std::string office = "/usr/bin/python3 " + q(fs::path(CERTWRIGHT_SOURCE_DIR) / "tests/host/office.py") + " ";
    const std::string certwright = q(app / "certwright"), logo = cw::test::readBytes(data / "logo.png");
    cw::test::TempFolder dir("restyled");
    std::vector<fs::path> certificates, annexed;
    std::string out;
    for (const std::string tool : {"lo", "gnumeric"}) {
        const fs::path folder = dir / tool;
        cw::test::writeBytes(folder / "TDS.txt", cw::test::readBytes(app / "TDS.txt"));
        ASSERT_EQ(cw::test::runCommand(office + "restyle-" + tool + " " + q(app / "TDS16A.xls") + " " + q(data / "logo.png") + " " +
                                           q(data / "seal.jpg") + " " + q(folder / "TDS16A.xls"), out), 0) << out;
        ASSERT_EQ(cw::test::runCommand(certwright + " generate --folder " + q(folder), out), 0) << out;
        for (const auto& e : fs::directory_iterator(folder / "Form16A")) {
            certificates.push_back(e.path()); // the register too: every reader must take it
            if (e.path().filename() == "Register.xls")
                continue;
            const Workbook wb = Workbook::open(e.path());
            std::multiset<std::string> seen, want = {"comment I10", "image/png"};
            for (int s = 0; s < wb.sheetCount(); ++s)
                for (const DrawingObject& o : wb.drawingObjects(s))
                    seen.insert(o.kind == DrawingKind::Comment ? "comment " + toA1(o.noteCell.row, o.noteCell.col)
                                : o.format == PictureFormat::Png ? std::string(o.image.begin(), o.image.end()) == logo ? "image/png" : "?"
                                                                 : o.format == PictureFormat::Jpeg ? "image/jpeg" : "?");
            if (wb.sheetCount() == 2)
                want.insert("image/jpeg"), annexed.push_back(e.path());
            EXPECT_EQ(seen, want) << e.path();
        }
    }
    std::string report;
    for (const auto& [file, readers] : failingReaders(certificates, report))
        EXPECT_TRUE(readers.empty()) << file << "\n" << report.substr(std::min(report.find(file), report.size()), 1500);

    ASSERT_EQ(annexed.size(), 2u);
    for (const fs::path& cert : annexed) {
        SCOPED_TRACE(cert.string());
        const std::string name = cert.stem().string();
        ASSERT_EQ(cw::test::runCommand(office + "objects " + q(cert), out), 0) << out;
        EXPECT_EQ(out, name + " image\n" + name + " comment I10 Checked by the deductor\n" + std::to_string(std::stoi(name)) + "A image\n");
        ASSERT_EQ(cw::test::runCommand(office + "pdf " + q(cert) + " " + q(dir / "lo.pdf"), out), 0) << out;
        EXPECT_EQ(pagesWithImages(dir / "lo.pdf"), "1 2\n") << "LibreOffice's pages";
        ASSERT_EQ(cw::test::runCommand(certwright + " pdf --folder " + q(cert.parent_path().parent_path()) + " " + name, out), 0) << out;
        EXPECT_EQ(pagesWithImages(cert.parent_path() / (name + ".pdf")), "1 2\n") << "our pages";
    }
    // Pictures we can't draw leave their place empty and are named.
    cw::test::writeBytes(dir / "lo" / "Form16A" / "099.xls", cw::test::readBytes(cw::test::corpusDir() / "SimpleWithImages.xls"));
    ASSERT_EQ(cw::test::runCommand(certwright + " pdf --folder " + q(dir / "lo") + " 099", out), 0);
    for (const char* kind : {"is an EMF picture", "is a WMF picture"})
        EXPECT_NE(out.find(kind), std::string::npos) << out;

    // 512 bytes zeroed across a picture-store entry's header: the template is refused, named,
    // before any work, and stays as it was; no Form16A is made.
    const fs::path damaged = dir / "damaged";
    std::string bytes = cw::test::readBytes(dir / "lo" / "TDS16A.xls");
    const std::size_t entry = bytes.find(std::string("\x62\x00\x07\xF0", 4)); // an FBSE of a PNG
    ASSERT_NE(entry, std::string::npos);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(entry), 512, '\0');
    cw::test::writeBytes(damaged / "TDS16A.xls", bytes);
    cw::test::writeBytes(damaged / "TDS.txt", cw::test::readBytes(app / "TDS.txt"));
    EXPECT_EQ(cw::test::runCommand(certwright + " generate --folder " + q(damaged) + " 2>&1", out), 1) << out;
    EXPECT_NE(out.find("The template workbook " + (damaged / "TDS16A.xls").string() +
                       " cannot be used: the store of its pictures (the drawing group) is damaged."),
              std::string::npos) << out;
    EXPECT_EQ(cw::test::readBytes(damaged / "TDS16A.xls"), bytes);
    EXPECT_FALSE(fs::exists(damaged / "Form16A"));
}

} // namespace
