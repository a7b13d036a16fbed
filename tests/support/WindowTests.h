#pragma once

// What the window tests share: a scratch application folder, message boxes recorded instead of
// shown, mail links caught instead of opened, widgets by object name, the modal dialog a click opens.

#include "TestSupport.h"

#include <QList>
#include <QObject>
#include <QUrl>
#include <QWidget>

#include <functional>

namespace cw::test {

// Copies of the staged template workbook and sample statement, as beside an installed program.
class ScratchAppFolder : public TempFolder {
public:
    ScratchAppFolder();
    std::filesystem::path templatePath() const { return path() / "TDS16A.xls"; }
    std::filesystem::path statementPath() const { return path() / "TDS.txt"; }
};

// While it lives, every message box is recorded here instead of shown.
struct MessageRecorder {
    MessageRecorder();
    ~MessageRecorder();
    std::vector<core::Message> messages;
};

// While it lives, every "mailto" link handed to the desktop is caught here instead of opened.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher();
    ~UrlCatcher() override;
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// The links that clicking the label hands to the desktop.
QList<QUrl> linksMailedBy(QWidget* label);

// The child of `parent` with this object name; a missing one stops the test program, naming it.
template <class T = QWidget>
T* child(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("%s has no child %s", qPrintable(parent->objectName()), name);
    return found;
}

// Runs `act` on the modal dialog that the next step opens, once its event loop runs; with
// nullptr when the step opens none (then at the test's next turn of the event loop).
void onNextModal(std::function<void(QWidget* modal)> act);

} // namespace cw::test
