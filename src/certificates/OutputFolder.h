#pragma once

#include <filesystem>
#include <vector>

namespace cw::certificates {

// Form16A replaced as a whole. A run writes its certificates into a fresh folder beside
// Form16A, which takes Form16A's place only once the run has written everything; until then,
// and whatever ends the run (a failure, a kill), Form16A stays as the last complete run left
// it. The fresh folder is named "." "~" "N" and four hex digits: no longer than "Form16A", so
// a path that takes a certificate in Form16A takes it there too.
class OutputFolderReplacement {
public:
    // Refuses (host::Error naming it) a Form16A that is not a folder, a file or a link: the
    // run writes and deletes only inside the application folder. Then makes the fresh folder,
    // or throws host::Error saying why it can't.
    explicit OutputFolderReplacement(const std::filesystem::path& appFolder);
    // Without commit(), the fresh folder goes with everything in it.
    ~OutputFolderReplacement();
    OutputFolderReplacement(const OutputFolderReplacement&) = delete;
    OutputFolderReplacement& operator=(const OutputFolderReplacement&) = delete;

    // Where the run writes its certificates.
    const std::filesystem::path& folder() const { return m_fresh; }
    // Puts the fresh folder in Form16A's place in one step where the system can exchange two
    // folders, else in two renames. Returns the run folder that now holds the old
    // certificates, for the caller to remove when it suits (removeRunFolder); empty when there
    // were none. Throws host::Error when the folders can't be exchanged; Form16A is then as it
    // was.
    std::filesystem::path commit();

private:
    std::filesystem::path m_appFolder;
    std::filesystem::path m_output;
    std::filesystem::path m_fresh;
    bool m_committed = false;
};

// Removes a run folder of ours with everything in it; links inside go, their targets stay.
// Failures are left for removeLeftovers at the next run.
void removeRunFolder(const std::filesystem::path& folder) noexcept;

// Clears what interrupted runs of ours left in the application folder: the temporary files of
// interrupted saves of the template and, in Form16A, of earlier versions' certificates go; a
// Form16A lost between the two renames of a replacement comes back. Returns the run folders
// left behind (fresh ones and set-aside old ones, "." "~" "N"/"O" and four hex digits), which
// hold nothing of value, for the caller to remove (removeRunFolder) when it suits. Nothing else
// is touched, and links are removed, never followed.
std::vector<std::filesystem::path> clearLeftovers(const std::filesystem::path& appFolder);

} // namespace cw::certificates
