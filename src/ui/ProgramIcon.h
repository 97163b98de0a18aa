#pragma once
// The program's icon, drawn rather than shipped, for the window, the tray and the about box.
#include <QIcon>

namespace kestrom {

QIcon ProgramIcon();

}  // namespace kestrom
