#include "printing/CertificateFolder.h"

#include "core/PathText.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace fs = std::filesystem;

namespace cw::printing {

namespace {

std::string lowered(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string removeAll(std::string s, const std::string& what)
{
    for (auto at = s.find(what); at != std::string::npos; at = s.find(what, at))
        s.erase(at, what.size());
    return s;
}

} // namespace

std::vector<std::string> printListNames(const fs::path& outputFolder)
{
    std::vector<std::string> files;
    std::error_code ec;
    fs::directory_iterator it(outputFolder, ec), end;
    // Whatever cannot be read is left out; the list shows the rest.
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        std::string name = core::pathText(it->path().filename());
        if (name.size() > 4 && lowered(name.substr(name.size() - 4)) == ".xls")
            files.push_back(name);
    }
    // File-name order as the platform's file search gives it: letter case ignored.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        std::string la = lowered(a), lb = lowered(b);
        return la != lb ? la < lb : a < b;
    });
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const std::string& f : files)
        if (std::string name = removeAll(f, ".xls"); isCertificateName(name))
            names.push_back(std::move(name));
    return names;
}

std::optional<std::string> linkedFolderRefusal(const fs::path& outputFolder)
{
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(outputFolder, ec)))
        return std::nullopt;
    const fs::path target = fs::read_symlink(outputFolder, ec);
    return core::pathText(outputFolder) + " is a link" + (ec ? std::string() : " to " + core::pathText(target)) +
           ", not a folder of its own: Certwright keeps its certificates and their PDFs only inside the working "
           "folder. Remove the link, then generate the certificates again.";
}

bool isCertificateName(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

fs::path certificatePath(const fs::path& outputFolder, const std::string& name)
{
    return outputFolder / core::pathFromText(name + ".xls");
}

std::string skippedPrompt(const std::vector<Skipped>& skipped, const std::string& done)
{
    std::string prompt = (skipped.size() == 1 ? "This certificate was not " : "These certificates were not ") + done + ":";
    for (const Skipped& s : skipped)
        prompt += "\n" + s.name + ": " + s.reason;
    return prompt;
}

} // namespace cw::printing
