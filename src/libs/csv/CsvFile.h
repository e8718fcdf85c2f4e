#pragma once
// Reading and writing CSV files line by line.
//
// CCsvFileReaderEx detects the encoding (UTF-16LE or UTF-8 with a byte order mark; otherwise UTF-8
// when the start of the file is valid UTF-8, else the ANSI code page 936) and yields one logical
// line at a time: a quoted cell may hold line breaks, so a logical line can span several physical
// ones. It never holds more than the current line in memory; a logical line longer than
// kMaxLineChars is an error, not an allocation. One object per thread.

#include "platform/AtomicFile.h"

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

    // Opens the file; nonzero on success. Only regular files are opened (see platform/ReadFile.h).
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
    QString m_pending; // the rest of a physical line after a record ended by a lone CR
};

// Writes lines with "\r\n" after each, in UTF-16LE with a byte order mark, UTF-8 with one, or ANSI.
// Either into a device the caller owns (Start), or into a file (Open): the file's lines go to a
// temporary file that replaces the target only on a successful Close, so a failed or abandoned
// write leaves an existing file as it was.
class CCsvFileWriter {
public:
    enum class Encoding { Utf16LeBom, Utf8Bom, Ansi };

    CCsvFileWriter();
    ~CCsvFileWriter();
    CCsvFileWriter(const CCsvFileWriter&) = delete;
    CCsvFileWriter& operator=(const CCsvFileWriter&) = delete;

    IoResult Start(QIODevice& device, Encoding encoding);
    bool Open(const QString& path, Encoding encoding);
    bool WriteLine(const QString& line);
    // Opened by path: puts the file in place. Started on a device: true when every write succeeded.
    bool Close();
    QString ErrorString() const;

private:
    std::unique_ptr<CAtomicFile> m_file;
    QIODevice* m_device = nullptr;
    Encoding m_encoding = Encoding::Utf16LeBom;
    QString m_error;
};
