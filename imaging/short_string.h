#pragma once
// Length-prefixed single-byte strings as they lie in the data files, and their conversion
// to and from QString through Windows-1252.
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantorel::imaging {

// Encodes text as Windows-1252; characters that code page cannot hold become '_'.
QByteArray toCp1252(const QString& text);
// Decodes Windows-1252 bytes (undefined code points map to U+FFFD).
QString fromCp1252(const char* data, std::size_t length);

// A length byte followed by Capacity bytes; bytes after the text are undefined.
template <std::size_t Capacity> struct ShortString {
    static_assert(Capacity <= 255);
    std::uint8_t len;
    char text[Capacity];

    // Stores text, cut to Capacity bytes, with unrepresentable characters replaced.
    void set(const QString& value) {
        const QByteArray bytes = toCp1252(value);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(bytes.size()), Capacity);
        len = static_cast<std::uint8_t>(n);
        std::memcpy(text, bytes.constData(), n);
        std::memset(text + n, 0, Capacity - n);
    }
    // The text, with a damaged length byte read only up to the capacity.
    QString str() const { return fromCp1252(text, std::min<std::size_t>(len, Capacity)); }
    bool empty() const { return len == 0; }
};

} // namespace vantorel::imaging
