// The home page's firmware line offscreen against vexa-services and simulated phones.
#include "ControlsTestSupport.h"
#include "LocalServices.h"
#include "SimPageEnvironment.h"
#include "UiThreadCheck.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimPhones.h"
#include "controls/CVexaProgressDlg.h"
#include "device/CMobileUpdateInfoDlg.h"
#include "device/CMobileVersionHwnobj.h"
#include "device/DeviceConnection.h"
#include "device/FirmwareUpdate.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

class FirmwareWidgetTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    QTemporaryDir m_servicesData;
    std::unique_ptr<vexa::services::CServicesThread> m_services;
    std::unique_ptr<CSimPageEnvironment> m_env;
    CSessionGate m_gate;
    std::unique_ptr<CMobileVersionHwnobj> m_widget;
    bool m_mayChange = true;

    vexa::DeviceSession* Connect(const QString& serial, const QString& firmwareText) {
        QString error;
        if (!vexa::sim::CreatePhone({.model = "V960", .serial = serial, .firmware = firmwareText, .sdCard = true},
                                    &error) ||
            ppGetBridge()->ConnectUsbDevice(serial) == 0) {
            return nullptr;
        }
        vexa::DeviceSession* session = ppGetBridge()->GetSession();
        session->GetDeviceInfo()->RefreshInfo();
        m_gate.SetUsable(true);
        m_widget->Fill(firmwareText, session->CanRebootToUpdate(), serial);
        return session;
    }
    static bool Shown(CMsgWnd* root, const char* name) {
        QWidget* w = GetPluginByName(root, QString::fromLatin1(name));
        return w != nullptr && w->isVisibleTo(root);
    }
    // Answers the offer with the button of that name once it shows.
    static void AnswerOffer(const char* button) {
        WhenModal<CMobileUpdateInfoDlg>([button](CMobileUpdateInfoDlg* dlg) {
            QTest::mouseClick(GetPluginByName(dlg, QString::fromLatin1(button)), Qt::LeftButton);
        });
    }

private slots:
    void initTestCase() {
        QVERIFY(m_skin.Get() != nullptr);
        curl_global_init(CURL_GLOBAL_DEFAULT);
        m_services = std::make_unique<vexa::services::CServicesThread>(m_servicesData.path());
        QString error;
        QVERIFY2(m_services->Start(&error), qPrintable(error));
    }
    void cleanupTestCase() { m_services.reset(); }

    void init() {
        qputenv("VEXA_FIRMWARE_HOST", m_services->Url().toUtf8());
        m_env = std::make_unique<CSimPageEnvironment>();
        QVERIFY(m_env->Started());
        m_mayChange = true;
        m_widget = std::make_unique<CMobileVersionHwnobj>(m_gate);
        QVERIFY(m_widget->Create());
        m_widget->SetActions([this] { return m_mayChange; }, [] { return false; });
        m_widget->show();
        SetActivityState(ActivityIdle);
    }

    void cleanup() {
        m_widget.reset();
        m_gate.SetUsable(false);
        m_env.reset();
        qunsetenv("VEXA_FIRMWARE_HOST");
    }

    void anOfferIsDownloadedInstalledAndThePhoneComesBackUpdated() {
        vexa::DeviceSession* session = Connect(QStringLiteral("FW-UI"), QStringLiteral("VEXA-UI 2.1.0"));
        QVERIFY(session != nullptr);
        QVERIFY(Shown(m_widget.get(), "check_version_btn"));
        QVERIFY(!Shown(m_widget.get(), "firmware_note"));
        QCOMPARE(Plugin_GetText(GetPluginByName(m_widget.get(), QStringLiteral("show_version"))),
                 FormatText(Str(3102), "VEXA-UI 2.1.0"));
        QString offered;
        WhenModal<CMobileUpdateInfoDlg>([&offered](CMobileUpdateInfoDlg* dlg) {
            offered = Plugin_GetText(GetLayoutRoot(dlg)) + u'|' +
                      Plugin_GetText(GetPluginByName(dlg, QStringLiteral("mobile_new_version"))) + u'|' +
                      Plugin_GetText(GetPluginByName(dlg, QStringLiteral("mobile_version_storage")));
            QTest::mouseClick(GetPluginByName(dlg, QStringLiteral("ok_btn")), Qt::LeftButton);
        });
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_widget->CheckAndUpdate();
        QCOMPARE(offered, Str(320) + u'|' + FormatText(Str(3104), "VEXA-UI 2.2.0") + u'|' +
                              FormatText(Str(3112), qUtf8Printable(Str(3113))));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(145));
        QCOMPARE(CVexaMessageBoxImpl::LastCaption(), Str(320));
        QVERIFY2(!PCL_GetPendingFirmware(QStringLiteral("FW-UI")).isEmpty(), "checked again when the phone is back");
        PCL_SetPendingFirmware(QStringLiteral("FW-UI"), QString());
        QCOMPARE(GetActivityState(), int(ActivityDisconnected));
        QVERIFY(!session->IsConnected()); // restarting; what lands where: FirmwareUpdateTest
    }

    void aDamagedPackageEndsInTheTipAndNeverReachesThePhone() {
        vexa::DeviceSession* session = Connect(QStringLiteral("FW-BAD"), QStringLiteral("CORRUPT-UI 1.0"));
        QVERIFY(session != nullptr);
        AnswerOffer("ok_btn");
        bool tipShown = false;
        WhenModal<CMobileUpdateTipDlg>([&tipShown](CMobileUpdateTipDlg* tip) {
            tipShown = true;
            QTest::mouseClick(GetPluginByName(tip, QStringLiteral("btn_ok")), Qt::LeftButton);
        });
        m_widget->CheckAndUpdate();
        QVERIFY(tipShown);
        QCOMPARE(GetActivityState(), int(ActivityIdle));
        QVERIFY(session->IsConnected());
        for (const char* where : {"/mnt/sdcard/update.zip", "/mnt/sdcard/external_sd/update.zip"}) {
            QVERIFY2(!session->GetFileSystem()->PathExists(QString::fromLatin1(where)), where);
        }
        QCOMPARE(session->GetDeviceInfo()->GetFirmwareVersion(), QStringLiteral("CORRUPT-UI 1.0"));
        QVERIFY(QDir(firmware::DownloadFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void aCancelledDownloadSaysSoAndLeavesNothing() {
        vexa::DeviceSession* session = Connect(QStringLiteral("FW-SLOW"), QStringLiteral("SLOW-UI 1.0"));
        QVERIFY(session != nullptr);
        AnswerOffer("ok_btn");
        QString figures;
        WhenModal<CVexaProgressDlg>([&figures](CVexaProgressDlg* dlg) {
            // The package trickles in: the reminder gains its name, size, percentage and speed line.
            QWidget* remind = GetPluginByName(dlg, QStringLiteral("remind"));
            QTRY_VERIFY_WITH_TIMEOUT(Plugin_GetText(remind).count(u'\n') == 2, 20000);
            figures = Plugin_GetText(remind);
            QTest::mouseClick(GetPluginByName(dlg, QStringLiteral("cancel_button")), Qt::LeftButton);
        });
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_widget->CheckAndUpdate();
        const QStringList lines = figures.split(u'\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], Str(154));
        QCOMPARE(lines[1], QStringLiteral("SLOW-UI_9.0.0.pkg"));
        QVERIFY2(lines[2].contains(QStringLiteral("% ")) && lines[2].contains(QStringLiteral("/s")), qPrintable(lines[2]));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(148));
        QCOMPARE(GetActivityState(), int(ActivityIdle));
        QVERIFY(session->IsConnected());
    }

    void refusalsEndTheChainWithTheirMessageAndALinkThatCannotUpdateSaysWhy() {
        QVERIFY(Connect(QStringLiteral("FW-NO"), QStringLiteral("VEXA-UI 2.1.0")) != nullptr);
        // Declining the offer: nothing follows.
        AnswerOffer("cancle_btn");
        CVexaMessageBoxImpl::SetNextAnswer(1);
        const QString before = CVexaMessageBoxImpl::LastText();
        m_widget->CheckAndUpdate();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), before);
        QCOMPARE(GetActivityState(), int(ActivityIdle));
        CVexaMessageBoxImpl::SetNextAnswer(1); // the unused answer is taken back
        (void)VexaMessageBox(QStringLiteral("-"), nullptr, QString(), 0);

        // While an install runs.
        m_mayChange = false;
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_widget->CheckAndUpdate();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(664));
        m_mayChange = true;

        qunsetenv("VEXA_FIRMWARE_HOST");
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_widget->CheckAndUpdate();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(152));
        QCOMPARE(GetActivityState(), int(ActivityIdle));

        // A link that cannot update shows the reason instead of the button.
        m_widget->Fill(QStringLiteral("VEXA-UI 2.1.0"), false);
        QVERIFY(!Shown(m_widget.get(), "check_version_btn"));
        QVERIFY(Shown(m_widget.get(), "firmware_note"));
        QCOMPARE(GetPluginByName(m_widget.get(), QStringLiteral("firmware_note"))->toolTip(), Str(3101));
        m_widget->Clear();
        QVERIFY(!Shown(m_widget.get(), "show_version"));
        QVERIFY(!Shown(m_widget.get(), "firmware_note"));
    }
};

VEXA_QTEST_MAIN(FirmwareWidgetTest)
#include "FirmwareWidgetTest.moc"
