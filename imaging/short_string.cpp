#include "imaging/short_string.h"

namespace vantorel::imaging {

namespace {
// Code points of Windows-1252 bytes 0x80..0x9F; 0 marks the five undefined bytes.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
} // namespace

QByteArray toCp1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(static_cast<char>(u));
            continue;
        }
        char mapped = '_';
        for (int i = 0; i < 32; ++i) {
            if (kHigh[i] != 0 && kHigh[i] == u) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.append(mapped);
    }
    return out;
}

QString fromCp1252(const char* data, std::size_t length) {
    QString out;
    out.reserve(static_cast<qsizetype>(length));
    for (std::size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b >= 0x80 && b < 0xA0) {
            const char16_t u = kHigh[b - 0x80];
            out.append(QChar(u != 0 ? u : char16_t(0xFFFD)));
        } else {
            out.append(QChar(char16_t(b)));
        }
    }
    return out;
}

} // namespace vantorel::imaging
