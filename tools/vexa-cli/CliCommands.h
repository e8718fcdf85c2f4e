#pragma once
// vexa-cli: scripting what the pages do, on the same helpers as the windows. Every command group
// (contacts, calls, sms, backup ...) lives in its own file and registers itself here with a static
// CliRegistration, so adding a group never touches the others.
//
// A group's Run gets the arguments after its name ("export --format csv FILE"), writes result texts
// to ctx.out and errors to ctx.err, and returns the process exit code (0 success).

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <vector>

namespace vexa {
class DeviceSession;
}

// What every command shares: the output streams and the connection made on demand.
class CliContext {
public:
    // bridge: "sim", "adb" or "auto"; empty: VEXA_BRIDGE, else the program's setting.
    CliContext(QTextStream& out, QTextStream& err, QString phone, QString bridge = {})
        : out(out), err(err), m_phone(std::move(phone)), m_bridgeChoice(std::move(bridge)) {}
    ~CliContext();
    CliContext(const CliContext&) = delete;
    CliContext& operator=(const CliContext&) = delete;

    // Connects like the program does (the maker's phones only; the first attached one unless
    // --phone named one) and returns the open session; null after writing the reason to err.
    vexa::DeviceSession* Session();

    QTextStream& out;
    QTextStream& err;

private:
    void ReportUnusablePhoneFiles();

    QString m_phone;
    QString m_bridgeChoice;
    bool m_simulated = false;
    bool m_bridgeStarted = false;
    bool m_connected = false;
};

struct CliCommandGroup {
    const char* name;
    const char* usage; // one or more lines, each a full form after "vexa-cli [--phone SERIAL] "
    int (*run)(CliContext& ctx, const QStringList& args);
};

class CliRegistration {
public:
    explicit CliRegistration(const CliCommandGroup& group);
};

const std::vector<CliCommandGroup>& CliGroups();

// Prints "usage:" and each line of usage as a full form to ctx.err; returns kCliUsage.
int CliUsage(CliContext& ctx, const char* usage);

// The whole command line after the program name; used by main() and by tests.
int RunCli(const QStringList& args, QTextStream& out, QTextStream& err);

// Exit codes shared by the groups.
constexpr int kCliOk = 0;
constexpr int kCliFailed = 1; // the operation failed (message printed)
constexpr int kCliUsage = 2;  // the command line was wrong
