#pragma once
// The data blocks the program carries: "Resource_1" (sample library archive), "Resource_2"
// (pattern pack archive) and "pngimage_1".."pngimage_3" (sample main pictures).
#include <QByteArray>
#include <QString>

namespace vantorel::resources {

inline const QString kLibraryBlock = QStringLiteral("Resource_1");
inline const QString kPatternBlock = QStringLiteral("Resource_2");
constexpr int kSamplePictureCount = 3;

// The bytes of a block; empty when the program carries no block of that name.
QByteArray embeddedBlock(const QString& name);
// "pngimage_" followed by n.
QString samplePictureBlockName(int n);

} // namespace vantorel::resources
