#pragma once
// The one place that converts between UTF-16 and the "ANSI" code page 936 (GBK) that files
// exchanged with Windows users of the phones are written in. Nothing else calls iconv directly.
//
// Decoding never fails: a byte sequence that is not GBK becomes U+FFFD, one per bad byte, and the
// rest still decodes. Encoding replaces characters GBK cannot hold with '?'. Thread-safe.

#include <QByteArray>
#include <QString>

#include <cstddef>

QString AnsiToUnicode(const QByteArray& ansi);
QByteArray UnicodeToAnsi(const QString& text);

// True when every byte sequence of ansi is valid GBK (an empty input is valid).
bool IsValidAnsi(const QByteArray& ansi);

// Writes text as NUL-terminated ANSI into a fixed field of size bytes, cutting it at a character
// boundary so that no half of a double-byte character is left. size 0 writes nothing.
void CopyAnsiField(char* field, std::size_t size, const QString& text);
