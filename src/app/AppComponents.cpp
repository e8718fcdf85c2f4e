#include "app/AppComponents.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/adb/BridgeChoice.h"
#include "bridge/sim/SimSeed.h"
#include "libs/http/HttpProxy.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/StatUploader.h"
#include "libs/stats/Stats.h"
#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <curl/curl.h>

CAppComponents::~CAppComponents() {
    Cleanup();
}

HostInfoRecord StartupHostInfo() {
    HostInfoFields fields;
    fields.version = ProgramVersion();
    const HttpProxy proxy = ProxyFromSettings();
    fields.proxyServer = proxy.server;
    fields.proxyCredentials = proxy.credentials;
    return BuildHostInfoRecord(fields);
}

bool CAppComponents::Init(const QString& bridge, const std::function<bool()>& loadSkin) {
    LOG_Init();
    LOG_Info("[APP] VexaMobileAssistance start******************************************************");
    LOG_Level(3);
    PCL_Load();
    if (loadSkin && !loadSkin()) {
        return false;
    }

    // The device bridge. With the simulated phones a new user finds one demo phone attached, so
    // the program shows a connected phone at once.
    if (vexa::InstallBridgeBackend(bridge) == vexa::BridgeBackendKind::Simulated) {
        bool created = false;
        QString error;
        if (!vexa::sim::EnsureDemoPhone(&created, &error)) {
            LOG_Error("[APP] cannot create the demo phone: %s. %s:%d", qUtf8Printable(error), LOG_HERE);
        }
    }
    if (!ppInitialize()) {
        LOG_Error("[APP] ppInitialize failed. %s:%d", LOG_HERE);
        return false;
    }
    m_bridgeStarted = true;

    m_curlStarted = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    m_statsStarted = actst_initialize();
    const HostInfoRecord record = StartupHostInfo();
    actst_hostinfo(&record);
    m_uploader = new StatUploader([](const StatUploader::Cancelled& cancelled) { actst_uploadstart(cancelled); });
    m_uploader->Start();
    return true;
}

void CAppComponents::Cleanup() {
    LOG_Free();
    if (m_bridgeStarted) {
        ppCleanup();
        m_bridgeStarted = false;
    }
    if (m_uploader != nullptr) {
        // A statistics host that does not answer must not hold the program's end.
        m_uploader->Stop(kExitUploadMs);
        delete m_uploader;
        m_uploader = nullptr;
    }
    if (m_statsStarted) {
        actst_uninitialize();
        m_statsStarted = false;
    }
    if (m_curlStarted) {
        curl_global_cleanup();
        m_curlStarted = false;
    }
}

bool InstallQtTranslations() {
    static QTranslator qtTexts; // lives as long as the program's dialogs
    if (!qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        LOG_Info("[APP] Qt's translations are not installed; its dialogs stay in English. %s:%d", LOG_HERE);
        return false;
    }
    return QCoreApplication::installTranslator(&qtTexts);
}
