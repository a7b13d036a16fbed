#pragma once

#include <filesystem>
#include <iosfwd>
#include <QGuiApplication>

#include <memory>
#include <string>
#include <vector>


namespace cw::app {

// The Qt application object the drawing commands need (fonts, PDF writer, printers). Where no
// display is available it runs on the offscreen platform, so the commands work on a server.
std::unique_ptr<QGuiApplication> startGuiSession(int& argc, char** argv);

// `certwright pdf`: writes Form16A/NNN.pdf beside each named certificate of the application
// folder (all certificates when none are named). Returns 0 when all were written, 1 when any
// was skipped (each named on `err` with the reason), 2 when there was nothing to write.
int runPdf(const std::filesystem::path& appFolder, const std::vector<std::string>& names, std::ostream& out,
           std::ostream& err);

} // namespace cw::app
