#pragma once

#include <filesystem>

class QListWidget;

namespace cw::printing {

// Fills the print window's list with the certificates of the output folder, one item per
// certificate workbook in file-name order, each named by its file name without ".xls". A folder
// that cannot be read leaves the list short or empty; nothing is reported.
void FillPrintList(QListWidget& list, const std::filesystem::path& outputFolder);

} // namespace cw::printing
