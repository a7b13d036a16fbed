#pragma once

#include <QPushButton>
#include <QString>

namespace cw::widgets {

// A button Enter never presses: in these windows Enter in a box must not generate, save or send
// half-typed work; only a click or the access key does.
inline QPushButton* pushButton(const char* objectName, const QString& caption, QWidget* parent = nullptr)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    return button;
}

inline QPushButton* pushButton(const char* objectName, const char* caption, QWidget* parent = nullptr)
{
    return pushButton(objectName, QString::fromUtf8(caption), parent);
}

} // namespace cw::widgets
