#pragma once

// What many tests need: a scratch folder, file bytes, a reporter that records, the shared test
// material beside the checkout, and running a command while capturing its output.

#include "core/Messages.h"
#include "host/SafeWrite.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace cw::test {

// A fresh, empty folder removed with everything in it at the end of the scope.
class TempFolder {
public:
    explicit TempFolder(const std::string& purpose = "test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// The whole file, or "" when it can't be read.
std::string readBytes(const std::filesystem::path& file);
// Writes the bytes, making the parent folders; the test fails at once when it can't.
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

// A writer that puts the first `n` bytes of a file on the disk and fails there as a full disk
// does, for saves that must fail midway.
inline host::ByteWriter diskFullAfter(std::size_t n)
{
    return [n](std::FILE* f, std::string_view bytes) {
        const std::size_t head = std::min(n, bytes.size());
        if (std::fwrite(bytes.data(), 1, head, f) != head || head < bytes.size())
            return std::make_error_code(std::errc::no_space_on_device);
        return std::error_code{};
    };
}

// A reporter that keeps every message and the last progress report.
struct RecordingReporter : core::Reporter {
    std::vector<core::Message> messages;
    int done = -1;
    int total = -1;
    void message(const core::Message& m) override { messages.push_back(m); }
    void progress(int d, int t) override { done = d, total = t; }
    // The last prompt, or "" when there was none.
    std::string lastPrompt() const { return messages.empty() ? std::string() : messages.back().prompt; }
};

// The shared test material beside the checkout (the .xls corpus, the reader cross-check).
// Throws std::runtime_error saying how to point the build at it when it is missing, so a test
// that needs it fails with that message.
std::filesystem::path sharedDir();
std::filesystem::path corpusDir();
std::filesystem::path readerCheck();

// One row of the corpus manifest.
struct CorpusFile {
    std::string file;
    std::string kind;      // "accept" or "reject"
    std::string features;
    std::filesystem::path path() const { return corpusDir() / file; }
};
// Names the file in test output instead of dumping the object's bytes.
inline void PrintTo(const CorpusFile& f, std::ostream* os) { *os << f.file; }
std::vector<CorpusFile> corpusFiles(const std::string& kind);

// Runs a shell command with its standard output and error in `output`; returns its exit status.
int runCommand(const std::string& command, std::string& output);
// A path quoted for the shell.
std::string shellQuote(const std::filesystem::path& p);

} // namespace cw::test
