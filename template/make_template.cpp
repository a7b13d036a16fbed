// Writes the shipped template workbook: certwright_make_template OUTPUT.xls
#include "host/Error.h"
#include "Template.h"

#include <exception>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: certwright_make_template OUTPUT.xls\n";
        return 2;
    }
    try {
        const std::filesystem::path out = argv[1];
        cw::tmpl::buildTemplate().save(out);
    } catch (const std::exception& e) {
        std::cerr << "certwright_make_template: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
