#pragma once

#include <stdexcept>
#include <string>

namespace cw::import {

// A statement Certwright cannot take, with a message for the user that names the line of
// TDS.txt and what is wrong with it.
class StatementError : public std::runtime_error {
public:
    StatementError(int line, const std::string& message)
        : std::runtime_error(message), m_line(line) {}
    int line() const { return m_line; }

private:
    int m_line;
};

} // namespace cw::import
