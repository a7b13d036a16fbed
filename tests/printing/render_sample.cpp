// Writes a sample certificate as PDF: a developer's tool to look at the renderer's output.
#include "SampleCertificate.h"
#include "printing/WorkbookPrinter.h"

#include <QGuiApplication>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::cerr << "usage: render_sample OUT.pdf PAYMENTS\n";
        return 2;
    }
    auto book = cw::printing::test::sampleCertificate(7, std::atoi(argv[2]));
    std::cout << cw::printing::writePdf(book, argv[1]) << " page(s)\n";
    return 0;
}
