#pragma once

#include "core/Failure.h"
#include "host/SafeWrite.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace cw::printing {

// What PendingFile throws: the message names the target; `reason` is the system's own words.
struct PendingFileError : core::Failure {
    PendingFileError(const std::string& message, std::string why) : core::Failure(message, core::kErrorTitle), reason(std::move(why)) {}
    std::string reason;
};

// A host::FileReplacement whose failures read as the PDF and CSV writers report them: made
// before the work, so that a folder that takes no new file is found first, then written once
// and moved into place (through a link at the target, which stays a link, unless told to replace it). What a killed run
// left, the next writing run removes.
class PendingFile {
public:
    // Throws PendingFileError naming the target when the folder cannot take a new file.
    explicit PendingFile(std::filesystem::path target, host::AtALink links = host::AtALink::WriteThrough);

    const std::filesystem::path& target() const { return m_target; }

    // Writes the file's contents, once. Throws PendingFileError naming the target.
    void write(std::string_view bytes);
    // Moves the file into the target's place. Throws PendingFileError naming the target.
    void commit();

private:
    std::filesystem::path m_target;
    std::optional<host::FileReplacement> m_file;
};

} // namespace cw::printing
