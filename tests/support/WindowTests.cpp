#include "WindowTests.h"

#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QTest>
#include <QTimer>

namespace fs = std::filesystem;

namespace cw::test {

ScratchAppFolder::ScratchAppFolder()
    : TempFolder("window")
{
    for (const char* name : {"TDS16A.xls", "TDS.txt"}) {
        const fs::path staged = fs::path(CERTWRIGHT_APP_DIR) / name;
        std::error_code ec;
        fs::copy_file(staged, path() / name, ec);
        if (ec)
            qFatal("%s is missing: build the whole project, it stages the template and the sample",
                   staged.string().c_str());
        fs::permissions(path() / name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
}

MessageRecorder::MessageRecorder() { widgets::MessageBox::recordInstead(&messages); }
MessageRecorder::~MessageRecorder() { widgets::MessageBox::recordInstead(nullptr); }

UrlCatcher::UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "open"); }
UrlCatcher::~UrlCatcher() { QDesktopServices::unsetUrlHandler(QStringLiteral("mailto")); }

QList<QUrl> linksMailedBy(QWidget* label)
{
    UrlCatcher catcher;
    QTest::mouseClick(label, Qt::LeftButton);
    return catcher.urls;
}

void onNextModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] { act(QApplication::activeModalWidget()); });
}

} // namespace cw::test
