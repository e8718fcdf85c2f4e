#pragma once
// The program-wide components, brought up and torn down in a fixed order by the application
// object: log, settings, device bridge (skin, MMS and pinyin as they arrive), HTTP, usage statistics with the
// upload thread. UI thread only.

#include "libs/stats/HostInfoRecord.h"

#include <QString>

#include <functional>

class StatUploader;

class CAppComponents {
public:
    CAppComponents() = default;
    ~CAppComponents();
    CAppComponents(const CAppComponents&) = delete;
    CAppComponents& operator=(const CAppComponents&) = delete;

    // Starts everything; false when a component the program cannot run without fails. bridge is
    // the --bridge choice ("sim", "adb", "auto"; empty: the setting). loadSkin runs after the log
    // and settings and before the bridge: when it fails nothing more starts (no phone is touched,
    // no demo phone made, by a program that cannot show a window).
    bool Init(const QString& bridge = {}, const std::function<bool()>& loadSkin = {});
    // Releases in the order of start-up; safe to call twice.
    void Cleanup();

    StatUploader* Uploader() const { return m_uploader; }

    // How long the last statistics upload may take at exit before it is cancelled.
    static constexpr int kExitUploadMs = 200;

private:
    bool m_bridgeStarted = false;
    bool m_curlStarted = false;
    bool m_statsStarted = false;
    StatUploader* m_uploader = nullptr;
};

// Qt's own texts (file chooser, standard buttons) in the program's language, Chinese; false when
// the translations are not installed (the dialogs then stay in English). After the application
// object exists.
bool InstallQtTranslations();

// The start-up host description: program version and the system proxy when the internet
// settings ask for it.
HostInfoRecord StartupHostInfo();
