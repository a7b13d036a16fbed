#pragma once

#include "core/Messages.h"

#include <exception>
#include <string>
#include <utility>

namespace cw::core {

// A command's failure as the user is told it: the prompt is whole sentences that say what
// went wrong, naming the file (and the line or cell) and the reason; the title is the
// message's own. Each layer throws its own kind of Failure; the command reports message() as
// it is, so no caller patches a text or picks a title afterwards.
class Failure : public std::exception {
public:
    explicit Failure(Message message) : m_message(std::move(message)) {}
    Failure(std::string prompt, std::string title, Icon icon = Icon::Information)
        : m_message{std::move(prompt), std::move(title), icon}
    {
    }

    const Message& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message.prompt.c_str(); }

private:
    Message m_message;
};

// Titles shared by several layers' failures.
inline constexpr const char* kErrorTitle = "Error!";
inline constexpr const char* kInvalidStatementTitle = "Invalid Text File!";
inline constexpr const char* kInvalidTemplateTitle = "Invalid Template File!";
inline constexpr const char* kFileNotFoundTitle = "File Not Found!";

} // namespace cw::core
