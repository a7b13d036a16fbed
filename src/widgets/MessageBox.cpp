#include "widgets/MessageBox.h"

#include <QMessageBox>

namespace cw::widgets {

std::vector<core::Message>* MessageBox::s_sink = nullptr;

void MessageBox::recordInstead(std::vector<core::Message>* sink)
{
    s_sink = sink;
}

QString MessageBox::displayText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A closing line break would only add an empty line under the text.
    while (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    return shown;
}

void MessageBox::show(QWidget* parent, const core::Message& message)
{
    if (s_sink) {
        s_sink->push_back(message);
        return;
    }
    const auto icon = message.icon == core::Icon::Critical ? QMessageBox::Critical : QMessageBox::Information;
    QMessageBox box(icon, QString::fromStdString(message.title), displayText(message.prompt), QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace cw::widgets
