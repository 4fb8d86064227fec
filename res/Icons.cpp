#include "Icons.h"

#include <QFile>

// The resources live in a static library: referencing their initialiser here keeps the
// linker from dropping them. (Q_INIT_RESOURCE must not stand inside a namespace.)
static void InitIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

QIcon AppIcon(unsigned id) {
    InitIconResources();
    const QString path = QStringLiteral(":/icons/%1.svg").arg(id);
    if (!QFile::exists(path)) return {};
    return QIcon(path);
}
