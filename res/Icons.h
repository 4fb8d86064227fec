// The program's icon resources: 128 the application and tray icon, 130, 131, 132, 135,
// 136 and 146 the pictures of the navigation tree.
#pragma once

#include <QIcon>

// Icon `id` from the resources (":/icons/<id>.svg"); a null icon for an unknown id.
QIcon AppIcon(unsigned id);
