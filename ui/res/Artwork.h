#pragma once
// The console's pictures, drawn by the project and served from Qt resources (":/res/...").
// All pictures have a transparent background (no white colour key is needed).
#include <QIcon>
#include <QPixmap>

namespace res {

// The program icon (window icon, about box, painting while minimised).
QIcon ProgramIcon();

// The engine lamp, 15 x 15: green when the service runs or is starting, red otherwise.
QPixmap Lamp(bool running);

// The dashboard statistics rows: five 16 x 16 images in one strip (80 x 16), index 0..4 =
// start time, online users, online devices, total network flow, alarms.
inline constexpr int kRowIconCount = 5;
QPixmap RowIconStrip();
QIcon RowIcon(int index);

// The main window's tab images, 16 x 16, index 0..3 = monitoring, alarm, setting, logs
// (the tabs use images 0, 2, 1, 3 in tab order).
inline constexpr int kTabImageCount = 4;
inline constexpr int kTabImageMonitoring = 0;
inline constexpr int kTabImageAlarm = 1;
inline constexpr int kTabImageSetting = 2;
inline constexpr int kTabImageLogs = 3;
QPixmap TabImageStrip();
QIcon TabImage(int index);

// Menu item pictures, 16 x 16.
QIcon MenuExitPicture();
QIcon MenuAboutPicture();

// Toolbar pictures, 16 x 15, each with its normal image and its hot image (QIcon::Active).
enum class AccountTool { Add = 0, Modify = 1, Delete = 2, Limits = 3 };
QIcon AccountToolIcon(AccountTool tool);
QIcon AutoRefreshIcon();

}  // namespace res
