#include "tilelib/tile_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <type_traits>

namespace vantorel::tilelib {

static_assert(std::is_trivially_copyable_v<TTilelib>);

namespace {

constexpr std::size_t kCfgSize = sizeof(TtileLibCfg);
constexpr std::size_t kCountOffset = kCfgSize;
constexpr std::size_t kItemsOffset = kCountOffset + sizeof(std::int32_t);
constexpr std::size_t kItemsSize = sizeof(TTileItem) * std::size_t(kTileSlots);
constexpr std::size_t kEnableOffset = kItemsOffset + kItemsSize;
static_assert(kEnableOffset + kTileSlots == kTileLibFileSize);
// The object is the file image too, which lets tests compare the two directly.
static_assert(offsetof(TTilelib, Count) == kCountOffset);
static_assert(offsetof(TTilelib, items) == kItemsOffset);
static_assert(offsetof(TTilelib, ItemEnable) == kEnableOffset);

// Joins folder and name with one separator, whether or not folder already ends in one.
QString joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

QString slotPath(const TTilelib& lib, int i, const char* sub) {
    if (i < 0 || i >= kTileSlots) return {};
    return joinPath(joinPath(lib.rootPath(), QLatin1String(sub)), lib.items[i].FileName.str());
}

int usedSlots(const TTilelib& lib) {
    return std::clamp<int>(lib.Count, 0, kTileSlots);
}

// Copies the part of [src, src + n) that falls in the field at [offset, offset + size).
void copyField(void* field, std::size_t offset, std::size_t size, const char* src, std::size_t n) {
    if (n <= offset) return;
    std::memcpy(field, src + offset, std::min(size, n - offset));
}

QByteArray readUpTo(const QString& path, std::size_t maxBytes, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = f.errorString();
        return {};
    }
    QByteArray data = f.read(qint64(maxBytes));
    if (f.error() != QFileDevice::NoError && error) *error = f.errorString();
    return data;
}

} // namespace

TtileLibCfg DefaultTileLibCfg() {
    TtileLibCfg cfg;
    std::memset(&cfg, 0, sizeof cfg);
    cfg.brand.set(QStringLiteral("N/A"));
    cfg.name.set(QStringLiteral("N/A"));
    cfg.widthPx = 400;
    cfg.heightPx = 300;
    cfg.shape = 0;
    return cfg;
}

std::unique_ptr<TTilelib> TTilelib::create() {
    // Value-initialisation zero-fills the whole object.
    return std::unique_ptr<TTilelib>(new TTilelib());
}

void TTilelib::emptytilelib() {
    cfg = DefaultTileLibCfg();
    Count = 0;
    for (TTileItem& item : items)
        item.FileName.set(QString());
}

void TTilelib::ZeroUsecount() {
    for (int i = 0; i < usedSlots(*this); ++i)
        items[i].usecount = 0;
}

QString TTilelib::GetFullName(int i) const {
    return slotPath(*this, i, "ready");
}

QString TTilelib::GetsourceName(int i) const {
    return slotPath(*this, i, "source");
}

bool TTilelib::ImgFileExists(const QString& fileName) const {
    // Compare in stored form, so a name with characters the code page lacks still
    // matches the tile that was added under it.
    ShortString<255> probe;
    probe.set(fileName);
    for (int i = 0; i < usedSlots(*this); ++i) {
        const ShortString<255>& n = items[i].FileName;
        if (n.len == probe.len && std::memcmp(n.text, probe.text, probe.len) == 0) return true;
    }
    return false;
}

QString TTilelib::rootPath() const {
    return cfg.Rootpath.str();
}

void TTilelib::SaveTilelib() const {
    if (cfg.Rootpath.empty()) throw TileLibError("cannot save the tile library: it has no folder");
    const QString path = ImgLibFileName(rootPath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw TileLibError(QStringLiteral("cannot write \"%1\": %2")
                               .arg(QDir::toNativeSeparators(path), f.errorString())
                               .toStdString());
    const auto put = [&f](const void* p, std::size_t n) {
        return f.write(static_cast<const char*>(p), qint64(n)) == qint64(n);
    };
    const bool ok = put(&cfg, kCfgSize) && put(&Count, sizeof Count) && put(items, kItemsSize) &&
                    put(ItemEnable, sizeof ItemEnable);
    if (!ok || !f.commit())
        throw TileLibError(QStringLiteral("cannot write \"%1\": %2")
                               .arg(QDir::toNativeSeparators(path), f.errorString())
                               .toStdString());
}

void TTilelib::LoadTilelib(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile())
        throw TileLibError(
            QStringLiteral("tile library file \"%1\" does not exist").arg(shown).toStdString());
    QString error;
    const QByteArray data = readUpTo(path, kTileLibFileSize, &error);
    if (!error.isEmpty())
        throw TileLibError(
            QStringLiteral("cannot read \"%1\": %2").arg(shown, error).toStdString());

    const char* src = data.constData();
    const auto n = static_cast<std::size_t>(data.size());

    // Check the count a short or damaged file would leave before touching the object.
    std::int32_t newCount = Count;
    copyField(&newCount, kCountOffset, sizeof newCount, src, n);
    if (newCount < 0 || newCount > kTileSlots)
        throw TileLibError(QStringLiteral("tile library file \"%1\" is damaged: it claims %2 tiles "
                                          "(at most %3 fit)")
                               .arg(shown)
                               .arg(newCount)
                               .arg(kTileSlots)
                               .toStdString());
    QString folder = QFileInfo(path).absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    folder = QDir::toNativeSeparators(folder);
    ShortString<255> root;
    root.set(folder);
    if (root.str() != folder)
        throw TileLibError(
            QStringLiteral("the folder \"%1\" cannot be used for a tile library: its "
                           "path is longer than 255 bytes or holds characters "
                           "outside Windows-1252")
                .arg(folder)
                .toStdString());

    copyField(&cfg, 0, kCfgSize, src, n);
    Count = newCount;
    copyField(items, kItemsOffset, kItemsSize, src, n);
    copyField(ItemEnable, kEnableOffset, sizeof ItemEnable, src, n);
    cfg.Rootpath = root;
}

QString ImgLibFileName(const QString& folder) {
    return joinPath(folder, QStringLiteral("imagelib.dat"));
}

QString PreviewFileName(const QString& folder) {
    return joinPath(folder, QStringLiteral("preview.jpg"));
}

bool IsTileLibFolder(const QString& folder) {
    return QFileInfo(ImgLibFileName(folder)).isFile();
}

TtileLibCfg ReadTileLibCfg(const QString& path) {
    TtileLibCfg cfg = DefaultTileLibCfg();
    const QByteArray data = readUpTo(path, kCfgSize, nullptr);
    copyField(&cfg, 0, kCfgSize, data.constData(), std::size_t(data.size()));
    return cfg;
}

std::int32_t ReadTileLibCount(const QString& path) {
    const QByteArray data = readUpTo(path, kItemsOffset, nullptr);
    if (std::size_t(data.size()) < kItemsOffset) return 0;
    std::int32_t count = 0;
    std::memcpy(&count, data.constData() + kCountOffset, sizeof count);
    return count;
}

void ListTileLibs(QStringList& names, QStringList& folders, const QStringList& roots) {
    names.clear();
    folders.clear();
    for (const QString& root : roots) {
        if (root.isEmpty()) continue;
        const QStringList entries =
            QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& entry : entries) {
            const QString d = joinPath(root, entry);
            if (!IsTileLibFolder(d)) continue;
            names << ReadTileLibCfg(ImgLibFileName(d)).name.str();
            folders << d;
        }
    }
}

} // namespace vantorel::tilelib
