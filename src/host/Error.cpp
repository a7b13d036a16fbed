#include "host/Error.h"

namespace cw::host {

namespace {
std::string compose(const std::string& message, const std::string& file)
{
    if (file.empty())
        return message;
    return file + ": " + message;
}
} // namespace

Error::Error(Code code, std::string message, std::string file, std::int64_t offset, int recordType)
    : std::runtime_error(compose(message, file))
    , m_code(code)
    , m_message(std::move(message))
    , m_file(std::move(file))
    , m_offset(offset)
    , m_recordType(recordType)
{
}

} // namespace cw::host
