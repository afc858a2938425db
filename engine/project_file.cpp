#include "engine/project_model.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cstring>

namespace vantorel::engine {

namespace {

constexpr qsizetype kHeaderBytes = sizeof(TprojectCFG) + sizeof(TpatternCfg) + sizeof(TSearchOpts);
static_assert(kHeaderBytes == 3440);

// Empty when the counts fit the arrays; otherwise what is wrong, for the error message.
QString countProblem(const TprojectCFG& c) {
    if (c.Vcc < 0 || c.Hcc < 0 || c.AddonTilesCount < 0)
        return QStringLiteral("negative cell count (rows %1, columns %2, ring cells %3)")
            .arg(c.Vcc)
            .arg(c.Hcc)
            .arg(c.AddonTilesCount);
    if (c.Vcc > kMaxCells)
        return QStringLiteral("%1 rows, at most %2 are supported").arg(c.Vcc).arg(kMaxCells);
    if (c.Hcc > kGridSide)
        return QStringLiteral("%1 columns, at most %2 are supported").arg(c.Hcc).arg(kGridSide);
    if (c.AddonTilesCount > kAddonCells)
        return QStringLiteral("%1 ring cells, at most %2 are supported")
            .arg(c.AddonTilesCount)
            .arg(kAddonCells);
    return {};
}

// Copies into one record as much as the buffer still holds.
class SectionReader {
  public:
    explicit SectionReader(const QByteArray& bytes) : m_bytes(bytes) {}
    void read(void* target, std::size_t size) {
        const qsizetype left = m_bytes.size() - m_pos;
        const qsizetype n = std::min<qsizetype>(left, static_cast<qsizetype>(size));
        if (n <= 0) return;
        std::memcpy(target, m_bytes.constData() + m_pos, static_cast<std::size_t>(n));
        m_pos += n;
    }

  private:
    const QByteArray& m_bytes;
    qsizetype m_pos = 0;
};

} // namespace

QByteArray TMosaicProject::SaveProjectBytes(const TSearchOpts& opts) const {
    const QString problem = countProblem(cfg);
    if (!problem.isEmpty())
        throw ProjectFileError(
            QStringLiteral("Cannot save the project: %1.").arg(problem).toStdString());
    const int rows = cfg.Vcc + 1;
    const int columns = cfg.Hcc;
    const qsizetype gridBytes = qsizetype(columns == 0 ? 0 : rows) * columns * sizeof(TCell);
    const qsizetype total =
        kHeaderBytes + gridBytes + qsizetype(cfg.AddonTilesCount) * sizeof(TCell);
    QByteArray out;
    out.reserve(total);
    out.append(reinterpret_cast<const char*>(&cfg), sizeof cfg);
    out.append(reinterpret_cast<const char*>(&patterncfg), sizeof patterncfg);
    out.append(reinterpret_cast<const char*>(&opts), sizeof opts);
    if (columns > 0)
        for (int row = 0; row < rows; ++row)
            out.append(reinterpret_cast<const char*>(Cells[row]),
                       qsizetype(columns) * qsizetype(sizeof(TCell)));
    out.append(reinterpret_cast<const char*>(AddonTiles),
               qsizetype(cfg.AddonTilesCount) * qsizetype(sizeof(TCell)));
    return out;
}

void TMosaicProject::SaveProject(const TSearchOpts& opts) const {
    const QByteArray bytes = SaveProjectBytes(opts);
    const QString path = QDir(cfg.RootPath.str()).filePath(QStringLiteral("Mosaic.Prj"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ProjectFileError(QStringLiteral("Cannot write the project file \"%1\": %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString())
                                   .toStdString());
}

void TMosaicProject::LoadProject(const QString& path, TSearchOpts& opts) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ProjectFileError(QStringLiteral("Cannot open the project file \"%1\": %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString())
                                   .toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ProjectFileError(QStringLiteral("Cannot read the project file \"%1\": %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString())
                                   .toStdString());

    // The counts that size the cell sections come from the file's own configuration, laid
    // over the current one as far as the file reaches; check them before anything changes.
    TprojectCFG next = cfg;
    SectionReader(bytes).read(&next, sizeof next);
    const QString problem = countProblem(next);
    if (!problem.isEmpty())
        throw ProjectFileError(QStringLiteral("The project file \"%1\" is damaged: %2.")
                                   .arg(QDir::toNativeSeparators(path), problem)
                                   .toStdString());

    SectionReader in(bytes);
    in.read(&cfg, sizeof cfg);
    in.read(&patterncfg, sizeof patterncfg);
    in.read(&opts, sizeof opts);
    if (cfg.Hcc > 0)
        for (int row = 0; row <= cfg.Vcc; ++row)
            for (int column = 0; column < cfg.Hcc; ++column)
                in.read(&Cells[row][column], sizeof(TCell));
    for (int i = 0; i < cfg.AddonTilesCount; ++i)
        in.read(&AddonTiles[i], sizeof(TCell));
}

} // namespace vantorel::engine
