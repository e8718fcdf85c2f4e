#include "contacts/CCallRecordWnd.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/ContactTransferUi.h"
#include "controls/VexaMessageBox.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"
#include "skin/SkinRows.h"

#include <QDate>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>

namespace {

// Category rows top to bottom and the call type each keeps.
constexpr int kCategoryTypes[] = {callrecords::CategoryAll, callrecords::CategoryMissed, callrecords::CategoryReceived,
                                  callrecords::CategoryDialled};
constexpr int kCategoryTexts[] = {847, 848, 849, 850};

QString TypeStyle(int type) {
    switch (type) {
    case callrecords::Dialled:
        return QStringLiteral("style_call_out_btn");
    case callrecords::Missed:
        return QStringLiteral("style_call_miss_btn");
    default:
        return QStringLiteral("style_call_in_btn");
    }
}

QString PhoneTypeName(int type) {
    static const std::pair<int, int> names[] = {{1, 688}, {2, 687}, {3, 689}, {4, 690},
                                                {5, 691}, {7, 692}, {9, 693}, {11, 694}};
    for (const auto& [code, id] : names) {
        if (code == type) {
            return Str(id);
        }
    }
    return {};
}

QString DefaultPath(QWidget* parent) {
    QFileDialog dialog(parent, Str(133), QString(), Str(3666));
    dialog.selectFile(SuggestedSavePath(Str(2307), QStringLiteral("csv")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

struct CCallRecordWndTable {
    static const SkinEventRow<CCallRecordWnd> kRows[];
};

const SkinEventRow<CCallRecordWnd> CCallRecordWndTable::kRows[] = {
    {"record_category", kSkinListRow, &CCallRecordWnd::OnCategory},
    {"call_row_*", kSkinCellClick, &CCallRecordWnd::OnRow},
    {"export_call_record", kSkinClick, &CCallRecordWnd::OnExport},
    {"delete_call_record", kSkinClick, &CCallRecordWnd::OnDelete},
    {"record_send_message", kSkinClick, &CCallRecordWnd::OnSendMessage},
    {"record_add_contact", kSkinClick, &CCallRecordWnd::OnAddContact},
    {nullptr, 0, nullptr},
};

CCallRecordWnd::CCallRecordWnd(CSessionGate& gate, QWidget* parent)
    : CMsgWnd(parent), m_gate(gate), m_chooser(&DefaultPath) {}

bool CCallRecordWnd::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("call_record_wnd")) == 0) {
        return false;
    }
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("record_category")))) {
        const QSignalBlocker block(list);
        for (int id : kCategoryTexts) {
            list->addItem(Str(id));
        }
        list->setCurrentRow(0);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("export_call_record")), Str(2308));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("delete_call_record")), Str(851));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("no_record_text")), Str(2304));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_send_message")), Str(992));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_add_contact")), Str(3180));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("record_send_message")), false);
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("record_search")))) {
        search->setPlaceholderText(Str(3630));
        QObject::connect(search, &QLineEdit::textChanged, this, [this](const QString& key) {
            m_key = key;
            FillGroups();
        });
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("record_number_location")), false);
    // The row layouts are templates for the clones, never rows of their own.
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("callrecord_list_item_layout")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("callrecord_detail_list_item_layout")), false);
    Clear();
    return true;
}

void CCallRecordWnd::Clear() {
    m_all.clear();
    m_total = 0;
    FillGroups();
}

void CCallRecordWnd::Reload() {
    {
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::CallRecordList* list = use ? use->GetCallRecords() : nullptr;
        m_all.clear();
        m_total = 0;
        if (list != nullptr) {
            std::lock_guard<std::mutex> calls(LoaderLock(LockCallRecords));
            if (list->IsCallRecordsLoaded()) {
                std::lock_guard<std::mutex> contacts(LoaderLock(LockContacts));
                vexa::ContactBook* book = use->GetContactBook();
                m_all = callrecords::BuildCallGroups(*list, book != nullptr && book->IsContactsLoaded() ? book : nullptr);
                m_total = list->GetCallRecordCount();
            }
        }
    }
    FillGroups();
}

void CCallRecordWnd::SelectCategory(int row) {
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("record_category")))) {
        list->setCurrentRow(row); // reports the choice like a click
    }
}

LRESULT CCallRecordWnd::OnCategory(QWidget*, std::intptr_t row, std::intptr_t) {
    if (row < 0 || row >= 4) {
        return 0;
    }
    m_category = static_cast<int>(row);
    FillGroups();
    return 1;
}

void CCallRecordWnd::Search(const QString& key) {
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("record_search")))) {
        search->setText(key); // reports the change like typing
    }
}

void CCallRecordWnd::SetSendMessage(SendMessageAction send) {
    m_sendMessage = std::move(send);
    FillDetail();
}

void CCallRecordWnd::FillGroups() {
    // The chosen number stays chosen through a reload, a category or a search that still lists it.
    const QString chosen =
        m_selected >= 0 && m_selected < static_cast<int>(m_shown.size()) ? m_shown[static_cast<std::size_t>(m_selected)].number
                                                                         : QString();
    m_shown = callrecords::SearchCallGroups(callrecords::FilterCallGroups(m_all, kCategoryTypes[m_category]), m_key);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_classify")), Str(kCategoryTexts[m_category]));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_title")), FormatText(Str(840), m_total));
    ++m_fillGeneration;
    m_filled = 0;
    m_selected = m_shown.empty() ? -1 : 0;
    for (std::size_t i = 0; i < m_shown.size() && !chosen.isEmpty(); ++i) {
        if (m_shown[i].number == chosen) {
            m_selected = static_cast<int>(i);
            break;
        }
    }
    FillMoreRows();
    FillDetail();
}

bool CCallRecordWnd::FillMoreRows() {
    QWidget* templ = GetPluginByName(this, QStringLiteral("callrecord_list_item_layout"));
    QWidget* box = GetPluginByName(this, QStringLiteral("callrecord_list_contents"));
    const int total = static_cast<int>(m_shown.size());
    const int end = std::min(total, m_filled + kRowsPerSlice);
    const int year = QDate::currentDate().year();
    for (int i = m_filled; i < end && templ != nullptr; ++i) {
        // Rows of an earlier fill are rebound; only missing ones are cloned.
        if (i >= static_cast<int>(m_rows.size())) {
            QWidget* clone = Plugin_Clone(templ, box, -1, QStringLiteral("call_row_%1").arg(i));
            if (clone == nullptr) {
                LOG_Error("Clone plugin failed %s:%d", LOG_HERE);
                return false;
            }
            m_rows.push_back(clone);
        }
        QWidget* row = m_rows[static_cast<std::size_t>(i)];
        const callrecords::CallGroupView& g = m_shown[static_cast<std::size_t>(i)];
        const callrecords::CallRecordData& latest = g.calls.front();
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("call_name")),
                       (g.name.isEmpty() ? g.number : g.name) +
                           (g.calls.size() > 1 ? QStringLiteral(" (%1)").arg(g.calls.size()) : QString()));
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("call_number")), g.name.isEmpty() ? Str(181) : g.number);
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("call_time")),
                       callrecords::CallTimeText(latest.time, latest.time.date().year() != year));
        Plugin_SetStyle(Plugin_GetChild(row, QStringLiteral("call_type_icon")), TypeStyle(latest.type));
        Plugin_SetStyle(row, i == m_selected ? QStringLiteral("contact_row_current") : QStringLiteral("contact_row"));
        Plugin_SetClonedVisible(row, 1);
    }
    m_filled = end;
    // A long call log arrives in slices, so the window keeps answering while it fills.
    return EndRowSlice(this, box, templ, m_rows, m_filled, total, m_fillGeneration, [this] { FillMoreRows(); });
}

void CCallRecordWnd::SelectGroup(int index) {
    if (index >= 0 && index < static_cast<int>(m_shown.size())) {
        m_selected = index;
        FillDetail();
    }
}

LRESULT CCallRecordWnd::OnRow(QWidget* widget, std::intptr_t, std::intptr_t) {
    for (std::size_t i = 0; i < m_rows.size() && static_cast<int>(i) < m_filled; ++i) {
        if (m_rows[i] == widget) {
            SelectGroup(static_cast<int>(i));
            return 1;
        }
    }
    return 0;
}

void CCallRecordWnd::FillDetail() {
    for (std::size_t i = 0; i < m_rows.size() && static_cast<int>(i) < m_filled; ++i) {
        Plugin_SetStyle(m_rows[i], static_cast<int>(i) == m_selected ? QStringLiteral("contact_row_current")
                                                                     : QStringLiteral("contact_row"));
    }
    const bool have = m_selected >= 0 && m_selected < static_cast<int>(m_shown.size());
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("preview_when_no_record")), !have);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("preview_when_have_record")), have);
    for (QWidget* row : m_detailRows) {
        Plugin_Delete(row);
    }
    m_detailRows.clear();
    if (!have) {
        return;
    }
    const callrecords::CallGroupView& g = m_shown[static_cast<std::size_t>(m_selected)];
    const QString name = g.name.isEmpty() ? Str(181) : g.name;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("head_modify_image")), name.left(1));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_name")), name);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_number")), g.number);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_number_type")), PhoneTypeName(g.phoneType));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("record_number_count")),
                   FormatText(Str(2313), static_cast<int>(g.calls.size())));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("record_send_message")), m_sendMessage != nullptr);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("record_add_contact")), g.name.isEmpty() && m_addContact);
    QWidget* templ = GetPluginByName(this, QStringLiteral("callrecord_detail_list_item_layout"));
    QWidget* box = GetPluginByName(this, QStringLiteral("callrecord_detail_contents"));
    for (std::size_t i = 0; i < g.calls.size() && templ != nullptr; ++i) {
        const callrecords::CallRecordData& call = g.calls[i];
        QWidget* row = Plugin_Clone(templ, box, -1, QStringLiteral("call_detail_%1").arg(i));
        if (row == nullptr) {
            LOG_Error("Clone plugin failed %s:%d", LOG_HERE);
            break;
        }
        Plugin_SetStyle(Plugin_GetChild(row, QStringLiteral("detail_type_icon")), TypeStyle(call.type));
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("detail_time")), callrecords::CallTimeText(call.time, true));
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("detail_duration")),
                       call.type == callrecords::Missed ? Str(848) : callrecords::CallDurationText(call.duration));
        Plugin_SetClonedVisible(row, 1);
        m_detailRows.push_back(row);
    }
}

QString CCallRecordWnd::DetailText(const char* widget) const {
    return Plugin_GetText(GetPluginByName(const_cast<CCallRecordWnd*>(this), QString::fromLatin1(widget)));
}

LRESULT CCallRecordWnd::OnExport(QWidget*, std::intptr_t, std::intptr_t) {
    Export();
    return 1;
}

QString CCallRecordWnd::Export() {
    const QString path = m_chooser(this);
    if (path.isEmpty()) {
        return {};
    }
    int count = 0;
    bool ok = false;
    {
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::CallRecordList* list = use ? use->GetCallRecords() : nullptr;
        if (list != nullptr) {
            std::lock_guard<std::mutex> lock(LoaderLock(LockCallRecords));
            ok = list->IsCallRecordsLoaded() && callrecords::ExportCallRecordsCsv(*list, path, &count);
        }
    }
    const QString text = ok ? FormatText(Str(2300), count) : Str(2301);
    VexaMessageBox(text, this, Str(388), 0);
    return text;
}

LRESULT CCallRecordWnd::OnSendMessage(QWidget*, std::intptr_t, std::intptr_t) {
    SendMessageToSelected();
    return 1;
}

LRESULT CCallRecordWnd::OnAddContact(QWidget*, std::intptr_t, std::intptr_t) {
    AddSelectedToContacts();
    return 1;
}

bool CCallRecordWnd::SendMessageToSelected() {
    if (m_selected < 0 || m_selected >= static_cast<int>(m_shown.size())) {
        return false;
    }
    return RunFieldAction(this, FieldAction::SendMessage, m_shown[static_cast<std::size_t>(m_selected)].number,
                          m_sendMessage);
}

bool CCallRecordWnd::AddSelectedToContacts() {
    if (m_selected < 0 || m_selected >= static_cast<int>(m_shown.size()) || !m_addContact) {
        return false;
    }
    const callrecords::CallGroupView& g = m_shown[static_cast<std::size_t>(m_selected)];
    return g.name.isEmpty() && m_addContact(this, g.number);
}

LRESULT CCallRecordWnd::OnDelete(QWidget*, std::intptr_t, std::intptr_t) {
    DeleteSelected();
    return 1;
}

QString CCallRecordWnd::DeleteSelected() {
    if (m_selected < 0 || m_selected >= static_cast<int>(m_shown.size())) {
        VexaMessageBox(Str(855), this, Str(851), 0);
        return Str(855);
    }
    const callrecords::CallGroupView& group = m_shown[static_cast<std::size_t>(m_selected)];
    // Deleted calls cannot come back: ask first, as every other delete does.
    const QString question = FormatText(Str(3500), qUtf8Printable(group.name.isEmpty() ? group.number : group.name),
                                        static_cast<int>(group.records.size()));
    if (VexaMessageBox(question, this, Str(851), 1) != static_cast<int>(IDOK)) {
        return question;
    }
    // The calls shown for the number (the category's), named by id: the list may be reread meanwhile.
    std::vector<std::int64_t> ids;
    for (const vexa::CallRecord* record : group.records) {
        ids.push_back(record->GetId());
    }
    const int ok = RunOnPhone(this, m_gate, Str(851), Str(852), 0, LockCallRecords,
                              [&ids](vexa::DeviceSession& session, const auto& cancelled, const auto& progress) {
                                  vexa::CallRecordList* list = session.GetCallRecords();
                                  if (list == nullptr || !session.IsConnected()) {
                                      return 0;
                                  }
                                  std::atomic<bool> stop{false};
                                  const auto out = callrecords::DeleteCallRecordsById(
                                      *list, ids, &stop, [&](int total, int done) {
                                          progress(total, done);
                                          stop = cancelled();
                                      });
                                  return out.failed ? 0 : 1;
                              });
    Reload();
    if (ok != 1) {
        VexaMessageBox(Str(856), this, Str(851), 0);
        return Str(856);
    }
    return {};
}

LRESULT CCallRecordWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CCallRecordWndTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CMsgWnd::OnMessage(msg, wParam, lParam);
}
