// Fills APPFOLDER/Form16A with the certificates of the sample statement: a developer's tool and
// the material of scripts/test-print.
#include "PrintTestSupport.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_certificates APPFOLDER\n";
        return 2;
    }
    try {
        std::cout << cw::printing::test::generateSampleCertificates(argv[1]).string() << "\n";
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
