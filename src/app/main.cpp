// certwright: with no arguments the main window; with a subcommand, the same work headless.
#include "cli/GenerateCli.h"
#include "cli/Inspect.h"
#include "Generate.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app{"Certwright: Form 16A certificates from a Form 26Q e-TDS statement", "certwright"};
    app.require_subcommand(0, 1);

    std::string inspectPath;
    auto* inspect = app.add_subcommand("inspect", "List the sheets and non-empty cells of an .xls workbook");
    inspect->add_option("FILE", inspectPath, "The workbook")->required();

    std::string generateFolder;
    auto* generate = app.add_subcommand(
        "generate", "Generate the Form 16A certificates from TDS.txt and TDS16A.xls (exit status 0 on success)");
    generate->add_option("--folder", generateFolder,
                         "The folder holding TDS.txt and TDS16A.xls (default: the program's folder)");

    CLI11_PARSE(app, argc, argv);

    if (*inspect)
        return cw::app::runInspect(inspectPath, std::cout, std::cerr);
    if (*generate)
        return cw::app::runGenerate(generateFolder.empty() ? cw::app::applicationFolder(argv[0])
                                                           : std::filesystem::path(generateFolder),
                                    std::cout, std::cerr);

    std::cerr << "certwright: the window is not built yet; use a subcommand (see --help)\n";
    return 2;
}
