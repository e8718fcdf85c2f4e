#pragma once
// One running program per user: a local socket server named "VexaPhoneAssistance". A second start
// finds the server, asks the first program to show itself and gives up (Acquire returns false).
// A server left behind by a crashed program is removed and taken over. UI thread only.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CInstanceGuard : public QObject {
public:
    static constexpr const char* kName = "VexaPhoneAssistance";

    // onShow runs (UI thread) each time another start asks this program to show itself.
    explicit CInstanceGuard(std::function<void()> onShow, const QString& name = QString::fromLatin1(kName));
    ~CInstanceGuard() override;

    // True when this process now holds the guard; false when another one runs (it was asked to show
    // itself) or the guard cannot be set up.
    bool Acquire();
    bool IsHeld() const { return m_server != nullptr; }

private:
    std::function<void()> m_onShow;
    QString m_name;
    QLocalServer* m_server = nullptr;
};
