#include "resources/embedded_content.h"

#include <QFile>

namespace vantorel::resources {

QByteArray embeddedBlock(const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) return {};
    QFile f(QStringLiteral(":/vantorel/content/") + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QString samplePictureBlockName(int n) {
    return QStringLiteral("pngimage_%1").arg(n);
}

} // namespace vantorel::resources
