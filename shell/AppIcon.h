#pragma once

#include <QIcon>

// The window icon, drawn here in two sizes (32 x 32 and 16 x 16, 16 colours).
QIcon MakeAppIcon();
