#pragma once
// One running program per user: a local socket server whose socket is "VexaPhoneAssistance" in the
// user's own runtime folder ($XDG_RUNTIME_DIR, see PrivateRuntimeFolder), so that another user's
// program, or a file another user made, never stands in the way. A second start finds the server,
// asks the first program to show itself and gives up (Acquire returns OtherRuns). A socket left
// behind by a crashed program is removed and taken over. When the socket can be neither reached
// nor made, Acquire says so (Unavailable, with a log line) and the program runs unguarded.
// UI thread only.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CInstanceGuard : public QObject {
public:
    static constexpr const char* kName = "VexaPhoneAssistance";

    enum class Outcome {
        Held,        // this process holds the guard now
        OtherRuns,   // another start of this user holds it and was asked to show itself
        Unavailable, // no socket could be reached or made (logged); the program goes on unguarded
    };

    // onShow runs (UI thread) each time another start asks this program to show itself. name is the
    // socket's base name, put in the user's runtime folder (a name with a '/' is used as it is).
    explicit CInstanceGuard(std::function<void()> onShow, const QString& name = QString::fromLatin1(kName));
    ~CInstanceGuard() override;

    Outcome Acquire();
    bool IsHeld() const { return m_server != nullptr; }
    // Where the socket is (or would be).
    QString SocketPath() const { return m_path; }
    // Why Acquire gave Unavailable (also logged), for a log opened later; empty otherwise.
    QString Problem() const { return m_problem; }

    // The socket of base name name in the user's runtime folder; empty when there is no such folder.
    static QString SocketPathFor(const QString& name);

private:
    std::function<void()> m_onShow;
    QString m_path;
    QString m_problem;
    QLocalServer* m_server = nullptr;
};
