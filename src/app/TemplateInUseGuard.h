#pragma once

#include "core/Messages.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cw::app {

// The workbook-in-use guard. Before anything touches the template workbook we look for signs
// that it is open elsewhere, because a spreadsheet program holding it would lose or overwrite
// what we save. Two signs count:
//  - a top-level window whose title holds the name ("Microsoft Excel - TDS16A.xls"), found
//    where the name begins at the title's second character or later — a title that begins with
//    it is not taken as the workbook's window;
//  - an office suite's lock file beside the template (LibreOffice ".~lock.TDS16A.xls#", Excel
//    "~$TDS16A.xls"), since LibreOffice names its window "TDS16A.xls - LibreOffice Calc", which
//    the title rule never catches.
// Nothing here shows anything: the caller shows the returned message and ends its command.

// The title rule on one title: the first case-sensitive occurrence of `name` starts at index 1
// or later. An empty title or name never matches.
bool titleShowsWorkbook(std::string_view title, std::string_view name);

// The first title of `titles` that matches, in the order given.
std::optional<std::string> findRunningTitle(const std::vector<std::string>& titles, std::string_view name);

// The titles of all top-level windows of the desktop, hidden ones included, as UTF-8: X11
// through xcb when a display can be reached, EnumWindows on Windows; empty where neither is
// available (e.g. Wayland without XWayland, a console), leaving the lock files as the only sign.
std::vector<std::string> topLevelWindowTitles();

// A lock file left by an office suite for the workbook at `workbook`.
struct LockInfo {
    std::filesystem::path lockFile;
    std::string owner; // who holds it, when the lock file records it; else empty
};
std::optional<LockInfo> findLockFile(const std::filesystem::path& workbook);

// Owner names as the two suites record them; exposed for tests. Both return empty for
// content they do not recognise.
std::string ownerFromLibreOfficeLock(std::string_view content);
std::string ownerFromExcelOwnerFile(std::string_view bytes);

// The prompts, "Running Error!" with the information icon.
core::Message runningTitleMessage(const std::string& title);
core::Message lockFileMessage(const std::filesystem::path& workbook, const LockInfo& lock);

// The guard: window titles first (with `name`, "TDS16A"), then the template's lock files.
// Returns the message to show when the workbook is in use; nothing when the caller may go on.
// `titles` replaces the desktop's titles (tests); by default they are read from the desktop.
std::optional<core::Message> templateInUse(const std::string& name, const std::filesystem::path& templatePath);
std::optional<core::Message> templateInUse(const std::string& name, const std::filesystem::path& templatePath,
                                            const std::vector<std::string>& titles);

} // namespace cw::app
