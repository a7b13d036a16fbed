#include "app/TemplateInUseGuard.h"
#include "host/Utf8.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  define NOMINMAX
#  include <windows.h>
#elif defined(CERTWRIGHT_HAVE_XCB)
#  include <xcb/xcb.h>
#  include <cstdlib>
#  include <cstring>
#  include <set>
#endif

namespace cw::app {

namespace {

// Lock files are a few hundred bytes; anything much larger is not one.
constexpr std::uintmax_t kMaxLockFileSize = 64 * 1024;

std::string readSmallFile(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxLockFileSize)
        return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string latin1ToUtf8(std::string_view s)
{
    std::string out;
    for (unsigned char c : s)
        cw::host::appendUtf8(out, c);
    return out;
}

bool printable(std::string_view s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return false;
    return !s.empty();
}

std::string trimBlanks(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ')
        ++start;
    return s.substr(start);
}

#if defined(_WIN32)

std::string wideToUtf8(const wchar_t* text, int length)
{
    if (length <= 0)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    return out;
}

// The enumeration callback: collects every top-level window's title; a title that cannot be
// read counts as empty, which never matches.
BOOL CALLBACK collectTitle(HWND window, LPARAM param)
{
    auto* titles = reinterpret_cast<std::vector<std::string>*>(param);
    const int length = GetWindowTextLengthW(window);
    std::wstring buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = length > 0 ? GetWindowTextW(window, buffer.data(), length + 1) : 0;
    titles->push_back(wideToUtf8(buffer.data(), copied));
    return TRUE;
}

#elif defined(CERTWRIGHT_HAVE_XCB)

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// A text property, or nothing when the window lacks it (or vanished meanwhile).
std::optional<std::string> textProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    if (property == XCB_ATOM_NONE)
        return std::nullopt;
    // Titles longer than 64 KiB are cut; the name would still be found in the first part.
    auto cookie = xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 16384);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<std::string> text;
    if (reply->type != XCB_ATOM_NONE && reply->format == 8) {
        const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
        const std::string_view raw(data, static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        // WM_NAME of type STRING is Latin-1; UTF8_STRING and COMPOUND_TEXT's ASCII part pass as they are.
        text = reply->type == XCB_ATOM_STRING ? latin1ToUtf8(raw) : std::string(raw);
    }
    std::free(reply);
    return text;
}

std::vector<xcb_window_t> windowListProperty(xcb_connection_t* c, xcb_window_t root, xcb_atom_t property)
{
    std::vector<xcb_window_t> windows;
    if (property == XCB_ATOM_NONE)
        return windows;
    auto cookie = xcb_get_property(c, 0, root, property, XCB_ATOM_WINDOW, 0, 65536);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    if (!reply)
        return windows;
    if (reply->format == 32) {
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        windows.assign(ids, ids + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return windows;
}

std::vector<std::string> x11Titles()
{
    std::vector<std::string> titles;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return titles;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return titles;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return titles;
    }
    const xcb_window_t root = it.data->root;
    const xcb_atom_t netWmName = internAtom(c, "_NET_WM_NAME");
    const xcb_atom_t clientList = internAtom(c, "_NET_CLIENT_LIST");

    // The window manager's client list names the application windows even when it has
    // reparented them into frames; the root's children add the unmanaged and hidden ones.
    std::vector<xcb_window_t> windows = windowListProperty(c, root, clientList);
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        windows.insert(windows.end(), children, children + xcb_query_tree_children_length(tree));
        std::free(tree);
    }
    std::set<xcb_window_t> seen;
    for (xcb_window_t window : windows) {
        if (!seen.insert(window).second)
            continue;
        auto title = textProperty(c, window, netWmName);
        if (!title)
            title = textProperty(c, window, XCB_ATOM_WM_NAME);
        titles.push_back(title.value_or(std::string()));
    }
    xcb_disconnect(c);
    return titles;
}

#endif

} // namespace

bool titleShowsWorkbook(std::string_view title, std::string_view name)
{
    if (name.empty())
        return false;
    const auto at = title.find(name);
    return at != std::string_view::npos && at >= 1;
}

std::optional<std::string> findRunningTitle(const std::vector<std::string>& titles, std::string_view name)
{
    for (const auto& title : titles)
        if (titleShowsWorkbook(title, name))
            return title;
    return std::nullopt;
}

std::vector<std::string> topLevelWindowTitles()
{
#if defined(_WIN32)
    std::vector<std::string> titles;
    EnumWindows(collectTitle, reinterpret_cast<LPARAM>(&titles));
    return titles;
#elif defined(CERTWRIGHT_HAVE_XCB)
    return x11Titles();
#else
    return {};
#endif
}

std::string ownerFromLibreOfficeLock(std::string_view content)
{
    // "Full Name,host,system user,date,profile folder;" with ',' ';' and '\' escaped by '\'.
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char ch = content[i];
        if (ch == '\\' && i + 1 < content.size()) {
            fields.back() += content[++i];
        } else if (ch == ',') {
            fields.emplace_back();
        } else if (ch == ';' || ch == '\n' || ch == '\r') {
            break;
        } else {
            fields.back() += ch;
        }
    }
    if (fields.size() < 3)
        return {};
    std::string owner = trimBlanks(fields[0]);
    if (owner.empty())
        owner = trimBlanks(fields[2]);
    return printable(owner) ? owner : std::string();
}

std::string ownerFromExcelOwnerFile(std::string_view bytes)
{
    // The owner file holds the user's name twice: a length byte and that many ANSI bytes,
    // padded to offset 54; then a 16-bit length and the name in UTF-16LE.
    if (bytes.size() < 2)
        return {};
    const auto length = static_cast<unsigned char>(bytes[0]);
    if (length == 0 || length > 53 || bytes.size() < 1u + length)
        return {};
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at])
                                          | (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    if (bytes.size() >= 56) {
        const std::size_t wideLength = u16(54);
        if (wideLength >= 1 && wideLength <= 53 && bytes.size() >= 56 + 2 * wideLength) {
            std::string name;
            bool ok = true;
            for (std::size_t i = 0; i < wideLength; ++i) {
                const std::uint16_t unit = u16(56 + 2 * i);
                if (unit >= 0xD800 && unit < 0xE000) { // names with surrogates: fall back to ANSI
                    ok = false;
                    break;
                }
                cw::host::appendUtf8(name, unit);
            }
            name = trimBlanks(name);
            if (ok && printable(name))
                return name;
        }
    }
    std::string name = trimBlanks(latin1ToUtf8(bytes.substr(1, length)));
    return printable(name) ? name : std::string();
}

std::optional<LockInfo> findLockFile(const std::filesystem::path& workbook)
{
    const auto folder = workbook.parent_path();
    const auto fileName = workbook.filename().string();
    std::error_code ec;

    const auto libreOffice = folder / (".~lock." + fileName + "#");
    if (std::filesystem::is_regular_file(libreOffice, ec))
        return LockInfo{libreOffice, ownerFromLibreOfficeLock(readSmallFile(libreOffice))};

    const auto excel = folder / ("~$" + fileName);
    if (std::filesystem::is_regular_file(excel, ec))
        return LockInfo{excel, ownerFromExcelOwnerFile(readSmallFile(excel))};
    return std::nullopt;
}

core::Message runningTitleMessage(const std::string& title)
{
    return {title + " is found running. Close the file and then try again.", "Running Error!",
            core::Icon::Information};
}

core::Message lockFileMessage(const std::filesystem::path& workbook, const LockInfo& lock)
{
    std::string prompt = workbook.string() + " is open";
    if (!lock.owner.empty())
        prompt += " by " + lock.owner;
    prompt += " in a spreadsheet program. Close the file and then try again.\n\nIf it is not open anywhere, "
              "the lock file " + lock.lockFile.string() + " was left behind: delete it and try again.";
    return {prompt, "Running Error!", core::Icon::Information};
}

std::optional<core::Message> templateInUse(const std::string& name, const std::filesystem::path& templatePath,
                                            const std::vector<std::string>& titles)
{
    if (auto title = findRunningTitle(titles, name))
        return runningTitleMessage(*title);
    if (auto lock = findLockFile(templatePath))
        return lockFileMessage(templatePath, *lock);
    return std::nullopt;
}

std::optional<core::Message> templateInUse(const std::string& name, const std::filesystem::path& templatePath)
{
    return templateInUse(name, templatePath, topLevelWindowTitles());
}

} // namespace cw::app
