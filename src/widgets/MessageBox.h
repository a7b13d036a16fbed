#pragma once

#include "core/Messages.h"

#include <QString>

#include <vector>

class QWidget;

namespace cw::widgets {

// Every user message goes through here: a modal box with the prompt, title and icon and an OK
// button. Tests switch it to recording, so that no box blocks them and they can check each
// prompt, title and icon exactly as the command produced it.
class MessageBox {
public:
    static void show(QWidget* parent, const core::Message& message);

    // While set, show() appends to `sink` instead of showing a box; nullptr shows boxes again.
    static void recordInstead(std::vector<core::Message>* sink);

    // Prompts are written with the line breaks of the platform they came from (a bare carriage
    // return, CR LF); a label draws a lone CR as a blank, so show each as a line feed.
    static QString displayText(const std::string& text);

private:
    static std::vector<core::Message>* s_sink;
};

} // namespace cw::widgets
