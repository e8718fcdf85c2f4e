#include "messages/CSelectContactOrNumber.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "controls/VexaMessageBox.h"
#include "device/LoadDataHelper.h"
#include "device/RunOnPhone.h"
#include "device/SessionGate.h"
#include "messages/RecipientCandidates.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include <mutex>
#include <set>

struct CSelectContactOrNumberTable {
    static const SkinEventRow<CSelectContactOrNumber> kRows[];
};

const SkinEventRow<CSelectContactOrNumber> CSelectContactOrNumberTable::kRows[] = {
    {"choose_contact_class", kSkinChoice, &CSelectContactOrNumber::OnClass},
    {"sel_all", kSkinCheck, &CSelectContactOrNumber::OnSelectAll},
    {"button_ok", kSkinClick, &CSelectContactOrNumber::OnOk},
    {"button_cancel", kSkinClick, &CSelectContactOrNumber::OnCancel},
    {"Button_Close", kSkinClick, &CSelectContactOrNumber::OnCancel},
    {nullptr, 0, nullptr},
};

CSelectContactOrNumber::CSelectContactOrNumber(CSessionGate& gate, QWidget* parent)
    : CSkinDialog(parent), m_gate(gate) {}

bool CSelectContactOrNumber::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_ok")}, {QStringLiteral("button_cancel")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("select_contact_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(2474));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("sel_all")), Str(2462));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(2476));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_cancel")), Str(2477));
    // Class codes: 0 phone, 1 SIM 1, 2 SIM 2, 3 all, 4 favourites, 5 ungrouped, 100 + n group n.
    m_classCodes = {3, 0, 1, 2, 4, 5};
    if (auto* combo = qobject_cast<QComboBox*>(GetPluginByName(this, QStringLiteral("choose_contact_class")))) {
        combo->addItems({Str(346), Str(347), Str(744), Str(745), Str(2484), Str(2485)});
        // The groups are the book's: read with the contacts, off the UI thread.
        RunOnPhone(
            m_gate, this,
            [](vexa::DeviceSession& session) {
                QStringList groups;
                if (vexa::ContactBook* book = session.GetContactBook()) {
                    std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
                    for (int i = 0; i < book->GetGroupCount(); ++i) {
                        const vexa::Group* group = book->GetGroupAt(i);
                        groups << (group != nullptr ? group->GetName() : QString());
                    }
                }
                return groups;
            },
            [this, combo](std::optional<QStringList> groups) {
                for (int i = 0; groups && i < groups->size(); ++i) {
                    if (!groups->at(i).isEmpty()) {
                        m_classCodes.push_back(100 + i);
                        combo->addItem(groups->at(i));
                    }
                }
            });
    }
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("Contact_search_ctrl")))) {
        search->setPlaceholderText(Str(2486));
        QObject::connect(search, &QLineEdit::textChanged, this, [this](const QString& text) { SetSearch(text); });
    }
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("contact_list")))) {
        QObject::connect(list, &QListWidget::itemChanged, this, [this, list](QListWidgetItem* item) {
            if (!m_filling) {
                SetRowChecked(list->row(item), item->checkState() == Qt::Checked);
            }
        });
    }
    Load(3);
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    CentreOver(parentWidget());
    CreateShadow();
    return true;
}

void CSelectContactOrNumber::Load(int classCode) {
    m_entries.clear();
    Fill();
    ++m_loading;
    const int generation = ++m_generation;
    RunOnPhone(
        m_gate, this,
        [classCode](vexa::DeviceSession& session) {
            std::vector<Entry> entries;
            vexa::ContactBook* book = session.GetContactBook();
            if (book == nullptr) {
                return entries;
            }
            std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
            if (!book->IsContactsLoaded()) {
                book->LoadContacts();
            }
            for (const messages::RecipientCandidate& c : messages::ReadRecipientCandidates(*book, classCode)) {
                entries.push_back({c.name, c.number, false});
            }
            return entries;
        },
        [this, generation](std::optional<std::vector<Entry>> entries) {
            --m_loading;
            if (generation == m_generation) {
                OnLoaded(entries ? std::move(*entries) : std::vector<Entry>());
            }
        });
}

void CSelectContactOrNumber::OnLoaded(std::vector<Entry> entries) {
    m_entries = std::move(entries);
    Fill();
}

void CSelectContactOrNumber::Fill() {
    m_shown.clear();
    for (int i = 0; i < static_cast<int>(m_entries.size()); ++i) {
        const Entry& e = m_entries[i];
        if (m_search.isEmpty() || e.name.contains(m_search, Qt::CaseInsensitive) || e.number.contains(m_search)) {
            m_shown.push_back(i);
        }
    }
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("contact_list")))) {
        m_filling = true;
        list->clear();
        for (int index : m_shown) {
            auto* item = new QListWidgetItem(m_entries[index].name + QStringLiteral("  ") + m_entries[index].number, list);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(m_entries[index].checked ? Qt::Checked : Qt::Unchecked);
        }
        m_filling = false;
    }
    UpdateCount();
}

QStringList CSelectContactOrNumber::Rows() const {
    QStringList rows;
    for (int index : m_shown) {
        rows << m_entries[index].name + u'<' + m_entries[index].number + u'>';
    }
    return rows;
}

void CSelectContactOrNumber::SetClass(int classIndex) {
    if (classIndex >= 0 && classIndex < static_cast<int>(m_classCodes.size())) {
        Load(m_classCodes[classIndex]);
    }
}

void CSelectContactOrNumber::SetSearch(const QString& text) {
    m_search = text.trimmed();
    Fill();
}

void CSelectContactOrNumber::SetRowChecked(int row, bool checked) {
    if (row >= 0 && row < static_cast<int>(m_shown.size())) {
        m_entries[m_shown[row]].checked = checked;
        UpdateCount();
    }
}

int CSelectContactOrNumber::CheckedContacts() const {
    std::set<QString> names;
    for (const Entry& e : m_entries) {
        if (e.checked) {
            names.insert(e.name);
        }
    }
    return static_cast<int>(names.size());
}

void CSelectContactOrNumber::UpdateCount() {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("tip_of_sel_count")), FormatText(Str(2434), CheckedContacts()));
}

LRESULT CSelectContactOrNumber::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSelectContactOrNumberTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CSelectContactOrNumber::OnClass(QWidget*, std::intptr_t index, std::intptr_t) {
    SetClass(static_cast<int>(index));
    return 0;
}

LRESULT CSelectContactOrNumber::OnSelectAll(QWidget*, std::intptr_t on, std::intptr_t) {
    for (int index : m_shown) {
        m_entries[index].checked = on != 0;
    }
    Fill();
    return 0;
}

LRESULT CSelectContactOrNumber::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    m_chosen.clear();
    for (const Entry& e : m_entries) {
        if (e.checked) {
            m_chosen << e.name + u'<' + e.number + u'>';
        }
    }
    if (m_chosen.isEmpty()) {
        VexaMessageBox(Str(2435), this, Str(330), 0);
        return 0;
    }
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CSelectContactOrNumber::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}
