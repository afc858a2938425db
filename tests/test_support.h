#pragma once
// Helpers shared by the tests: scratch folders, synthetic pictures, image comparison.
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace vantorel::test {

// A fresh folder removed at the end of the test.
class ScratchDir {
  public:
    ScratchDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

  private:
    QTemporaryDir m_dir;
};

// The whole content of a file; empty when it cannot be read.
QByteArray readAll(const QString& path);
// Replaces a file's content; a failure fails the running test.
void writeAll(const QString& path, const QByteArray& bytes);

// A w x h ARGB32 picture filled with one opaque colour.
QImage solidImage(int w, int h, unsigned rgb);
// A w x h picture whose colour changes smoothly across it (for decode and scale checks).
QImage gradientImage(int w, int h);

// Largest per-channel difference over all pixels; INT_MAX when sizes differ. When it is
// above tolerance, writes both pictures and their difference beside the test log.
int compareImages(const QImage& actual, const QImage& expected, int tolerance, const QString& name);

} // namespace vantorel::test
