#include "device/CConnectHwndobj.h"

#include "bridge/api/DeviceBridge.h"
#include "controls/VexaMessageBox.h"
#include "device/CTipOfIncompatiblePhoneModel.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "libs/stats/Stats.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStyle>
#include <QUrl>

namespace {
const QString kRowPrefix = QStringLiteral("usb_device_list_item_template");
} // namespace

struct CConnectHwndobjTable {
    static const SkinEventRow<CConnectHwndobj> kRows[];
};

const SkinEventRow<CConnectHwndobj> CConnectHwndobjTable::kRows[] = {
    {"usb_device_list_item_template*", kSkinListRow, &CConnectHwndobj::OnDeviceRow},
    {"wifi_connect_btn", kSkinClick, &CConnectHwndobj::OnWifiConnect},
    {"cannot_connect", kSkinClick, &CConnectHwndobj::OnCannotConnect},
    {nullptr, 0, nullptr},
};

CConnectHwndobj::CConnectHwndobj(CDeviceList& devices, DeviceNameAdapter& names, CMsgWnd* owner, QWidget* parent)
    : CMsgWnd(parent), m_devices(devices), m_names(names), m_owner(owner) {}

int CConnectHwndobj::ListHeight(int count) {
    return qMin(count * kRowHeight + 1, kMaxListHeight);
}

bool CConnectHwndobj::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("connect_wnd")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("usb_title")), Str(2206));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("no_device_text")), Str(2217));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("wifi_title")), Str(2207));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("wifi_hint")), Str(2208));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("wifi_connect_btn")), Str(743));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("cannot_connect")), Str(2209));

    // The verification code is typed into a plain edit field hosted in "edit_name".
    m_edit = new QLineEdit;
    m_edit->setObjectName(QStringLiteral("wifi_code_edit"));
    m_edit->setMaxLength(32);
    m_edit->setPlaceholderText(Str(2208));
    if (AppSkin() != nullptr) {
        m_edit->setFont(AppSkin()->Resources()->Font(QStringLiteral("font_default")));
    }
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("edit_name")), m_edit);

    RebuildList();
    return true;
}

QWidget* CConnectHwndobj::Row(int index) const {
    return index >= 0 && index < m_rows.size() ? m_rows[index] : nullptr;
}

int CConnectHwndobj::ListFrameHeight() const {
    QWidget* frame = GetPluginByName(const_cast<CConnectHwndobj*>(this), QStringLiteral("usb_device_layout"));
    return frame != nullptr ? frame->maximumHeight() : 0;
}

bool CConnectHwndobj::IsListShown() const {
    QWidget* frame = GetPluginByName(const_cast<CConnectHwndobj*>(this), QStringLiteral("usb_device_layout"));
    return frame != nullptr && !frame->isHidden();
}

QString CConnectHwndobj::DeviceRowText(const QString& name, const QString& serial, bool simulated, bool connected) {
    return name + (simulated ? Str(2706) : QString()) + (connected ? Str(2707) : QString()) + u'\n' + serial;
}

void CConnectHwndobj::RebuildList() {
    for (QWidget* row : m_rows) {
        Plugin_Delete(row);
    }
    m_rows.clear();
    m_rowDevices.clear();

    QWidget* templ = GetPluginByName(this, kRowPrefix);
    QWidget* list = GetPluginByName(this, QStringLiteral("usb_device_list"));
    const int count = m_devices.GetDeviceCount();
    const vexa::DeviceBridge* bridge = ppGetBridge();
    const bool simulated = bridge != nullptr && bridge->IsSimulated();
    const QString connected = m_devices.CurrentSerial();
    for (int i = 0; i < count; ++i) {
        DeviceRecord record;
        if (!m_devices.GetDeviceRecord(i, record)) {
            continue;
        }
        QWidget* row =
            Plugin_Clone(templ, list, static_cast<int>(m_rows.size()), kRowPrefix + QString::number(m_rows.size()));
        if (row == nullptr) {
            break;
        }
        Plugin_SetText(row, DeviceRowText(m_names.GetDisplayName(record.Serial(), record.Model()), record.Serial(),
                                          simulated, record.Serial() == connected));
        // Two phones of one model share a name; the serial line and the mark tell them apart.
        row->setProperty("connected", record.Serial() == connected);
        row->style()->unpolish(row);
        row->style()->polish(row);
        Plugin_SetClonedVisible(row, 1);
        m_rows << row;
        m_rowDevices << qMakePair(record.Model(), record.Serial());
    }
    QWidget* frame = GetPluginByName(this, QStringLiteral("usb_device_layout"));
    const bool empty = m_rows.isEmpty();
    // A phone whose data cannot be read is there all the same: the tip says so (above the other
    // phones, if any) instead of asking for a cable.
    const QStringList unreadable = m_devices.UnreadablePhones();
    QWidget* tip = GetPluginByName(this, QStringLiteral("no_device_text"));
    Plugin_SetText(tip, unreadable.isEmpty()
                            ? Str(2217)
                            : FormatText(Str(3465), qUtf8Printable(unreadable.join(QStringLiteral("”、“")))));
    Plugin_SetStyle(tip, unreadable.isEmpty() ? QStringLiteral("secondary") : QStringLiteral("error_text"));
    Plugin_SetVisible(frame, !empty);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("no_device_tip")), empty || !unreadable.isEmpty());
    if (frame != nullptr) {
        frame->setFixedHeight(ListHeight(static_cast<int>(m_rows.size())));
    }
}

LRESULT CConnectHwndobj::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CConnectHwndobjTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    if (msg == WM_CONNECT_REBUILD) {
        RebuildList();
    }
    return 0;
}

LRESULT CConnectHwndobj::OnDeviceRow(QWidget* widget, std::intptr_t, std::intptr_t) {
    actst_record(0x31);
    bool ok = false;
    const int index = Plugin_GetName(widget).mid(kRowPrefix.size()).toInt(&ok);
    if (!ok || index < 0 || index >= m_rowDevices.size()) {
        return 0;
    }
    const auto& [model, serial] = m_rowDevices[index];
    if (IsIncompatibleModel(model)) {
        ShowIncompatibleModelTip(this);
        return 0;
    }
    if (m_owner != nullptr) {
        m_owner->PostValue(WM_CONNECT_REQUEST, serial, 0);
    }
    return 0;
}

LRESULT CConnectHwndobj::OnWifiConnect(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x32);
    const QString code = m_edit != nullptr ? m_edit->text().trimmed() : QString();
    if (code.isEmpty()) {
        VexaMessageBox(Str(669), this, Str(330), 0);
        return 0;
    }
    if (m_owner != nullptr) {
        m_owner->PostValue(WM_CONNECT_REQUEST, code, 1);
    }
    return 0;
}

LRESULT CConnectHwndobj::OnCannotConnect(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x30);
    // The help page ships beside the program; without a browser the box says the essentials.
    const QString help = ExecutableDirectory() + QStringLiteral("/pages/connect_help.html");
    if (!QFileInfo::exists(help) || !QDesktopServices::openUrl(QUrl::fromLocalFile(help))) {
        VexaMessageBox(FormatText(Str(2705), qUtf8Printable(QDir::toNativeSeparators(help))), this, Str(330), 0);
    }
    return 0;
}
