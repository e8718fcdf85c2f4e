#pragma once
// Reading and writing CSV files line by line.
//
// CCsvFileReaderEx detects the encoding (UTF-16LE or UTF-8 with a byte order mark; otherwise UTF-8
// when the start of the file is valid UTF-8, else the ANSI code page 936) and yields one logical
// line at a time: a quoted cell may hold line breaks, so a logical line can span several physical
// ones. It never holds more than the current line in memory; a logical line longer than
// kMaxLineChars is an error, not an allocation. One object per thread.

#include <QFile>
#include <QString>

#include <memory>

class CCsvFileReaderEx {
public:
    enum class Encoding { Unknown, Utf8, Utf16Le, Ansi };
    static constexpr qsizetype kMaxLineChars = 4 * 1024 * 1024;

    CCsvFileReaderEx();
    ~CCsvFileReaderEx();
    CCsvFileReaderEx(const CCsvFileReaderEx&) = delete;
    CCsvFileReaderEx& operator=(const CCsvFileReaderEx&) = delete;

    // Opens the file; nonzero on success.
    int SetFilePath(const QString& path);
    // The next logical line without its terminator; nonzero while a line was read. Returns 0 at the
    // end of the file and on an error (see HasError).
    int GetNextLine(QString& line);

    Encoding DetectedEncoding() const { return m_encoding; }
    bool HasError() const { return !m_error.isEmpty(); }
    QString ErrorString() const { return m_error; }

private:
    bool ReadPhysicalLine(QString& line, bool& sawTerminator);

    QFile m_file;
    Encoding m_encoding = Encoding::Unknown;
    QString m_error;
    bool m_atEnd = false;
};

// Writes lines with "\r\n" after each, in UTF-16LE with a byte order mark, UTF-8 with one, or ANSI.
class CCsvFileWriter {
public:
    enum class Encoding { Utf16LeBom, Utf8Bom, Ansi };

    bool Open(const QString& path, Encoding encoding);
    bool WriteLine(const QString& line);
    bool Close();
    QString ErrorString() const { return m_file.errorString(); }

private:
    QFile m_file;
    Encoding m_encoding = Encoding::Utf16LeBom;
};
