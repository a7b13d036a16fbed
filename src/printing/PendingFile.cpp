#include "printing/PendingFile.h"

#include "core/PathText.h"
#include "host/Error.h"

namespace fs = std::filesystem;

namespace cw::printing {

namespace {

template <typename Step>
void reported(const fs::path& target, Step step)
{
    try {
        step();
    } catch (const host::Error& e) {
        throw PendingFileError(core::pathText(target) + ": cannot be written (" + e.message() + ")", e.message());
    }
}

} // namespace

PendingFile::PendingFile(fs::path target, host::AtALink links) : m_target(std::move(target))
{
    reported(m_target, [&] { m_file.emplace(m_target, links); });
}

void PendingFile::write(std::string_view bytes)
{
    reported(m_target, [&] { m_file->write(bytes); });
}

void PendingFile::commit()
{
    reported(m_target, [this] { m_file->commit(); });
}

} // namespace cw::printing
