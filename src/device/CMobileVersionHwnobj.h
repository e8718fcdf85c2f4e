#pragma once
// The home page's firmware line: the phone's firmware version and "检查更新", which runs the
// update: the query behind a busy dialog, the offer, an optional backup, the download and the
// installation behind progress dialogs, then the phone's reboot. Phone and network work runs on
// workers (the session inside the gate); the widget only shows results. A phone that cannot be
// updated over its link gets no button but the reason. UI thread only.

#include "platform/CMsgWnd.h"

#include <cstdint>
#include <functional>

class CSessionGate;

namespace firmware {
struct FirmwareCheck;
struct DownloadProgress;
}

// The download dialog's reminder: head, then the package's name and its size done of all,
// percentage, speed and time left, as the file manager's transfers show them.
QString FirmwareDownloadText(const QString& head, const QString& packageName, const firmware::DownloadProgress& at);

class CMobileVersionHwnobj : public CMsgWnd {
public:
    explicit CMobileVersionHwnobj(CSessionGate& gate, QWidget* parent = nullptr);
    bool Create();

    // mayChange: false while an install runs (the update would take the phone away); backup: the
    // home page's backup, true when a package was written.
    void SetActions(std::function<bool()> mayChange, std::function<bool()> backup);
    // What the home page read of the phone; phoneKey names it for the check after its restart.
    void Fill(const QString& firmwareVersion, bool canUpdate, const QString& phoneKey = {});
    void Clear();

    // The whole chain; returns when it ended (each step's dialogs are modal).
    void CheckAndUpdate();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnCheck(QWidget*, std::intptr_t, std::intptr_t);
    bool Download(const firmware::FirmwareCheck& offer, bool afterBackup, QString* packagePath);
    bool Install(const firmware::FirmwareCheck& offer, const QString& packagePath, bool useCard);

    CSessionGate& m_gate;
    std::function<bool()> m_mayChange;
    std::function<bool()> m_backup;
    QString m_version;
    QString m_phoneKey;
    friend struct CMobileVersionHwnobjTable;
};
