#pragma once

#include "core/Failure.h"

#include <string>

namespace cw::import {

// A statement Certwright cannot take, with a message for the user that names the file or the
// line of TDS.txt and what is wrong with it. `line` is 0 when the fault is the whole file's.
class StatementError : public core::Failure {
public:
    StatementError(int line, std::string prompt)
        : core::Failure(std::move(prompt), core::kInvalidStatementTitle), m_line(line)
    {
    }
    int line() const { return m_line; }

private:
    int m_line;
};

} // namespace cw::import
