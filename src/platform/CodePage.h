#pragma once
// The one place that converts between UTF-16 and the "ANSI" code page 936 that files exchanged with
// Windows users of the phones are written in. Nothing else calls iconv directly.
//
// The codec is GB18030, the superset of code page 936: every character 936 holds gets the same
// bytes, and characters it lacks (emoji in messages, Thai, rare hanzi) get four-byte sequences
// instead of being lost as '?'. Decoding never fails: a byte sequence that does not read becomes
// U+FFFD, one per bad byte, and the rest still decodes. Thread-safe.

#include <QByteArray>
#include <QString>

#include <cstddef>

QString AnsiToUnicode(const QByteArray& ansi);
QByteArray UnicodeToAnsi(const QString& text);

// Decodes text in another named character set, by the system converter's name ("BIG5-HKSCS",
// "CP932"); like AnsiToUnicode, a byte sequence that does not read becomes U+FFFD. false (and text
// untouched) when the system has no converter of that name.
bool DecodeNamedCharset(const QByteArray& bytes, const char* charset, QString* text);

// True when every byte sequence of ansi is valid (an empty input is valid).
bool IsValidAnsi(const QByteArray& ansi);

// Writes text as NUL-terminated ANSI into a fixed field of size bytes, cutting it at a character
// boundary so that no part of a multi-byte character is left. size 0 writes nothing.
void CopyAnsiField(char* field, std::size_t size, const QString& text);
