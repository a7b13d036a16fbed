#include "ModPrintListBox.h"

#include "CertificateFolder.h"

#include <QListWidget>

namespace cw::printing {

void FillPrintList(QListWidget& list, const std::filesystem::path& outputFolder)
{
    for (const std::string& name : printListNames(outputFolder))
        list.addItem(QString::fromStdString(name));
}

} // namespace cw::printing
