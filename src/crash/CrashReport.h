#pragma once
// Reading a crash report ("ERRORLOG.TXT") back for the reporter window. The file comes from a
// program that was failing, so anything goes: it may be cut short, huge, or not UTF-8. Any thread.

#include <QString>

struct CrashReport {
    bool found = false;    // the file exists and could be read
    QString text;          // what is shown and sent; at most the first maxBytes of the file
    QString summary;       // the first line ("vexa-assistant caused an Access Violation (0x0000000b)")
    bool complete = false; // the end line "===== [end of ERRORLOG.TXT] =====" is there
    bool cut = false;      // the file was longer than maxBytes
    bool notUtf8 = false;  // the bytes were not UTF-8 and were read as Latin-1 (nothing is lost)
};

// Reads the report at path (a regular file only).
CrashReport ReadCrashReport(const QString& path, qint64 maxBytes = 4 * 1024 * 1024);
