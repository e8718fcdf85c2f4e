#pragma once
// The result of a file or device operation: success, or the reason it failed in words fit for the
// log and, where a window shows it, for the user. Marked nodiscard so a failed write cannot go
// unnoticed.

#include <QString>

#include <utility>

struct [[nodiscard("a failed write must be reported or handled")]] IoResult {
    bool ok = false;
    QString error; // empty when ok

    static IoResult Ok() { return {true, {}}; }
    static IoResult Fail(QString why) { return {false, std::move(why)}; }

    explicit operator bool() const { return ok; }
};
