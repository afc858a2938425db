#include "test_support.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>

namespace vantorel::test {

ScratchDir::ScratchDir() : m_dir(QDir::tempPath() + QStringLiteral("/vantorel-test-XXXXXX")) {}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

QImage solidImage(int w, int h, unsigned rgb) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(0xFF000000u | rgb);
    return img;
}

QImage gradientImage(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1),
                           (x + y) * 255 / std::max(1, w + h - 2));
    }
    return img;
}

int compareImages(const QImage& actual, const QImage& expected, int tolerance,
                  const QString& name) {
    if (actual.size() != expected.size()) return INT_MAX;
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    QImage diff(a.size(), QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* le = reinterpret_cast<const QRgb*>(e.constScanLine(y));
        auto* ld = reinterpret_cast<QRgb*>(diff.scanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = std::abs(qRed(la[x]) - qRed(le[x]));
            const int dg = std::abs(qGreen(la[x]) - qGreen(le[x]));
            const int db = std::abs(qBlue(la[x]) - qBlue(le[x]));
            const int da = std::abs(qAlpha(la[x]) - qAlpha(le[x]));
            worst = std::max({worst, dr, dg, db, da});
            ld[x] = qRgb(std::min(255, dr * 8), std::min(255, dg * 8), std::min(255, db * 8));
        }
    }
    if (worst > tolerance) {
        const QString base = QDir::currentPath() + QLatin1Char('/') + name;
        a.save(base + QStringLiteral("-actual.png"));
        e.save(base + QStringLiteral("-expected.png"));
        diff.save(base + QStringLiteral("-diff.png"));
    }
    return worst;
}

} // namespace vantorel::test
