#include "device/CHomeParts.h"

#include "device/HomeTexts.h"
#include "libs/stats/Stats.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

struct CDeviceDataShowTable {
    static const SkinEventRow<CDeviceDataShow> kRows[];
};

const SkinEventRow<CDeviceDataShow> CDeviceDataShowTable::kRows[] = {
    {"To_sms_tab_btn", kSkinClick, &CDeviceDataShow::OnSms},
    {"To_contact_tab_btn", kSkinClick, &CDeviceDataShow::OnContacts},
    {"To_app_tab_btn", kSkinClick, &CDeviceDataShow::OnApps},
    {nullptr, 0, nullptr},
};

CDeviceDataShow::CDeviceDataShow(CMsgWnd* target, UINT message, QWidget* parent)
    : CMsgWnd(parent), m_target(target), m_message(message) {}

bool CDeviceDataShow::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("device_data_show")) == 0) {
        return false;
    }
    SetCounts(0, 0, 1);
    return true;
}

void CDeviceDataShow::SetCounts(int messages, int contacts, int appCount, int agentApps) {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("To_sms_tab_btn")), MessageCountText(messages));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("To_contact_tab_btn")), ContactCountText(contacts));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("To_app_tab_btn")), AppCountText(appCount, agentApps));
}

LRESULT CDeviceDataShow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    HandleSkinMessage(this, CDeviceDataShowTable::kRows, msg, wParam, lParam, result);
    return result;
}

LRESULT CDeviceDataShow::OnSms(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x50);
    if (m_target != nullptr) {
        m_target->PostMessage(m_message, 1);
    }
    return 0;
}

LRESULT CDeviceDataShow::OnContacts(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x4E);
    if (m_target != nullptr) {
        m_target->PostMessage(m_message, 2);
    }
    return 0;
}

LRESULT CDeviceDataShow::OnApps(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x4D);
    if (m_target != nullptr) {
        m_target->PostMessage(m_message, 3);
    }
    return 0;
}

struct CMemoryDataTable {
    static const SkinEventRow<CMemoryData> kRows[];
};

const SkinEventRow<CMemoryData> CMemoryDataTable::kRows[] = {
    {"files_manage", kSkinClick, &CMemoryData::OnFilesManage},
    {nullptr, 0, nullptr},
};

CMemoryData::CMemoryData(CMsgWnd* owner, UINT ownerMessage, QWidget* parent)
    : CMsgWnd(parent), m_owner(owner), m_ownerMessage(ownerMessage) {}

bool CMemoryData::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("Memory_Data_Window")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("memory_data_caption")), Str(2213));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("Mobile_Static_caption")), Str(2211));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("MemCard_Static_caption")), Str(2212));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("files_manage")), Str(2214));
    const struct {
        const char* name;
        int text;
    } legend[] = {{"legend_system", 2221}, {"legend_picture", 2222}, {"legend_video", 2223},
                  {"legend_music", 2224},  {"legend_app", 2225},     {"legend_others", 2226}};
    for (const auto& l : legend) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(l.name)), Str(l.text));
    }
    // Until the figures say the phone has storage to browse.
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("files_manage")), false);
    return true;
}

void CMemoryData::Show(const StorageFigures& f) {
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("files_manage")), f.hasPhoneStorage || f.hasCard);
    const int length = StorageBarLength(f.hasCard);
    const char* const phoneBars[] = {"Mobile_System_Memory_rect", "Mobile_Picture_Memory_rect",
                                     "Mobile_Video_Memory_rect",  "Mobile_Music_Memory_rect",
                                     "Mobile_App_Memory_rect",    "Mobile_Others_Memory_rect"};
    const std::int64_t phoneOthers =
        StorageOthers(f.phoneTotal, {f.phone[0], f.phone[1], f.phone[2], f.phone[3], f.phone[4]}, f.phoneFree);
    for (int i = 0; i < 6; ++i) {
        const std::int64_t size = i < 5 ? f.phone[i] : phoneOthers;
        if (QWidget* bar = GetPluginByName(this, QString::fromLatin1(phoneBars[i]))) {
            bar->setFixedWidth(StorageBarWidth(size, f.phoneTotal, length));
        }
    }
    QWidget* phoneState = GetPluginByName(this, QStringLiteral("Mobile_Memory_State_rect"));
    QWidget* phoneText = GetPluginByName(this, QStringLiteral("Mobile_Total_Volume"));
    if (phoneState != nullptr) {
        phoneState->setFixedWidth(length);
    }
    if (phoneText != nullptr) {
        phoneText->setFixedWidth(length);
    }
    Plugin_SetText(phoneText, StorageTotalText(f.phoneTotal, f.phoneFree));

    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("SD_Mem_Data_layout")), f.hasCard);
    if (f.hasCard) {
        const char* const cardBars[] = {"SDcard_Picture_Memory_rect", "SDcard_Video_Memory_rect",
                                        "SDcard_Music_Memory_rect", "SDcard_App_Memory_rect",
                                        "SDcard_Others_Memory_rect"};
        const std::int64_t cardOthers =
            StorageOthers(f.cardTotal, {f.card[0], f.card[1], f.card[2], f.card[3]}, f.cardFree);
        for (int i = 0; i < 5; ++i) {
            const std::int64_t size = i < 4 ? f.card[i] : cardOthers;
            if (QWidget* bar = GetPluginByName(this, QString::fromLatin1(cardBars[i]))) {
                bar->setFixedWidth(StorageBarWidth(size, f.cardTotal, length));
            }
        }
        if (QWidget* state = GetPluginByName(this, QStringLiteral("MemCard_Memory_State_rect"))) {
            state->setFixedWidth(length);
        }
        QWidget* cardText = GetPluginByName(this, QStringLiteral("MemCard_Total_Volume"));
        if (cardText != nullptr) {
            cardText->setFixedWidth(200);
        }
        Plugin_SetText(cardText, StorageTotalText(f.cardTotal, f.cardFree));
    }
}

LRESULT CMemoryData::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    HandleSkinMessage(this, CMemoryDataTable::kRows, msg, wParam, lParam, result);
    return result;
}

LRESULT CMemoryData::OnFilesManage(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_owner != nullptr) {
        m_owner->SendMessage(m_ownerMessage);
    }
    actst_record(0x58);
    return 0;
}
