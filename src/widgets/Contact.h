#pragma once

// Who made Certwright and where users write to: one place, so that every window that shows the
// contact (the main window, About, the acknowledgement dialog, the print window) agrees.
namespace cw::widgets::contact {

inline constexpr const char* kDeveloperName = "Certwright Developers";
inline constexpr const char* kHomeCity = "Bengaluru, India";
inline constexpr const char* kSupportAddress = "support@certwright.example";

} // namespace cw::widgets::contact
