#include "AppIcon.h"

#include <QFile>

QIcon LoadApplicationIcon() {
    QIcon clIcon;
    for (int lSize : {16, 32, 48, 64, 256}) {
        const QString clstrFile = QStringLiteral(":/icons/%1.png").arg(lSize);
        if (QFile::exists(clstrFile))
            clIcon.addFile(clstrFile, QSize(lSize, lSize));
    }
    return clIcon;
}
