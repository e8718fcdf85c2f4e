#include "contacts/CContactEditDlg.h"

#include "contacts/CEditNameDlg.h"

#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QBoxLayout>
#include <QBuffer>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QCheckBox>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using contacts::EditMode;
using contacts::FieldKind;

struct CContactEditDlgTable {
    static const SkinEventRow<CContactEditDlg> kRows[];
};

const SkinEventRow<CContactEditDlg> CContactEditDlgTable::kRows[] = {
    {"save_modification", kSkinClick, &CContactEditDlg::OnSave},
    {"cancel_modification", kSkinClick, &CContactEditDlg::OnCancel},
    {"Button_Close", kSkinClick, &CContactEditDlg::OnCancel},
    {"set_photo", kSkinClick, &CContactEditDlg::OnSetPhoto},
    {"delete_photo", kSkinClick, &CContactEditDlg::OnDeletePhoto},
    {"field_type", kSkinDropDown, &CContactEditDlg::OnTypeMenu},
    {"modify_ring", kSkinDropDown, &CContactEditDlg::OnRingMenu},
    {"edit_name_detail", kSkinClick, &CContactEditDlg::OnEditName},
    {nullptr, 0, nullptr},
};

namespace {

// The kind of entry behind a section's type chooser; notes have none.
bool KindOf(int section, FieldKind* kind) {
    static const FieldKind kinds[] = {FieldKind::Phone, FieldKind::Email, FieldKind::Web, FieldKind::Address,
                                      FieldKind::Im};
    if (section < 0 || section >= CContactEditDlg::SecNote) {
        return false;
    }
    *kind = kinds[section];
    return true;
}

// The birthday's picker. Without a birthday it stands at its lowest date, shown as 3631; its calendar
// then opens on a likely year instead of that far-off month.
class CBirthdayEdit : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        const bool unset = date() == minimumDate();
        QDateEdit::mousePressEvent(event);
        if (QCalendarWidget* calendar = calendarWidget(); unset && calendar != nullptr) {
            calendar->setCurrentPage(QDate::currentDate().year() - 30, 1);
        }
    }
};

const QDate kNoBirthday(1900, 1, 1);
const QString kBirthdayFormat = QStringLiteral("yyyy-MM-dd");

QLineEdit* EditIn(QWidget* row, const char* name) {
    return qobject_cast<QLineEdit*>(Plugin_GetChild(row, QString::fromLatin1(name)));
}

QString TextIn(QWidget* row, const char* name) {
    const QLineEdit* box = EditIn(row, name);
    return box != nullptr ? box->text().trimmed() : QString();
}

} // namespace

CContactEditDlg::CContactEditDlg(const vexa::Contact& contact, bool isNew, std::vector<GroupChoice> groups,
                                 QByteArray photo, QWidget* parent)
    : CSkinDialog(parent), m_choosePicture([](QWidget* owner) {
          return QFileDialog::getOpenFileName(owner, Str(227), QString(),
                                              Str(302) + QStringLiteral(" (*.png *.jpg *.jpeg *.bmp *.gif)"));
      }),
      m_chooseSound([](QWidget* owner) {
          return QFileDialog::getOpenFileName(owner, Str(232), QString(), Str(3667));
      }),
      m_editNameParts([](QWidget* owner, vexa::NameParts* parts) {
          CEditNameDlg dialog(*parts, owner);
          if (dialog.DoModal() != static_cast<int>(IDOK)) {
              return false;
          }
          *parts = dialog.Parts();
          return true;
      }),
      m_contact(contact), m_isNew(isNew), m_sim(contact.GetStorage() != vexa::STORAGE_PHONE),
      m_groups(std::move(groups)), m_photo(std::move(photo)) {}

bool CContactEditDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("save_modification")}, {QStringLiteral("cancel_modification")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("contact_edit_dialog")) == 0) {
        return false;
    }
    const auto text = [this](const char* name, const QString& value) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), value);
    };
    text("caption_title", Str(m_isNew ? 3157 : 3158));
    text("name_label", Str(3159));
    text("nickname_label", Str(3160));
    text("company_label", Str(244));
    text("department_label", Str(245));
    text("title_label", Str(246));
    text("birthday_label", Str(3161));
    text("ring_label", Str(3179));
    text("edit_name_detail", Str(252));
    text("favorite_contact", Str(3162));
    text("group_caption", Str(3163));
    text("set_photo", Str(230));
    text("delete_photo", Str(229));
    text("save_modification", Str(133));
    text("cancel_modification", Str(722));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("section_template")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("field_row_template")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("address_row_template")), false);
    ShowTip({});

    Filter(Box(QStringLiteral("modify_name")), m_sim ? EditMode::SimName : EditMode::None, kMaxText);
    for (const char* name : {"modify_nickname", "edit_company_name", "edit_department_name", "edit_title_name"}) {
        Filter(Box(QString::fromLatin1(name)), EditMode::None, kMaxText);
    }
    if (QWidget* box = GetPluginByName(this, QStringLiteral("birthday_box"))) {
        auto* birthday = new CBirthdayEdit(box);
        birthday->setObjectName(QStringLiteral("modify_birthday"));
        birthday->setDisplayFormat(kBirthdayFormat);
        birthday->setCalendarPopup(true);
        birthday->setDateRange(kNoBirthday, QDate(2100, 12, 31));
        birthday->setSpecialValueText(Str(3631));
        static_cast<QBoxLayout*>(box->layout())->insertWidget(0, birthday, 1);
        auto* clear = qobject_cast<QPushButton*>(GetPluginByName(this, QStringLiteral("birthday_clear")));
        clear->setText(QStringLiteral("×"));
        clear->setToolTip(Str(275));
        QObject::connect(clear, &QPushButton::clicked, birthday, [birthday] { birthday->setDate(kNoBirthday); });
    }
    if (m_sim) {
        // A SIM card keeps a name and one number only.
        for (const char* name : {"photo_box", "nickname_label", "modify_nickname", "company_label", "edit_company_name",
                                 "department_label", "edit_department_name", "title_label", "edit_title_name",
                                 "birthday_label", "birthday_box", "favorite_contact", "group_caption",
                                 "modify_group", "ring_label", "modify_ring", "edit_name_detail"}) {
            Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(name)), false);
        }
    }
    BuildSections();
    Fill();
    FitToLayout(false);
    return true;
}

LRESULT CContactEditDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CContactEditDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

void CContactEditDlg::BuildSections() {
    QWidget* templ = GetPluginByName(this, QStringLiteral("section_template"));
    QWidget* box = GetPluginByName(this, QStringLiteral("field_sections"));
    for (int s = 0; s < SecCount; ++s) {
        if (m_sim && s != SecPhone) {
            continue;
        }
        QWidget* section = Plugin_Clone(templ, box, -1, QStringLiteral("section_%1").arg(s));
        if (section == nullptr) {
            continue;
        }
        Plugin_SetClonedVisible(section, 1);
        Plugin_SetText(Plugin_GetChild(section, QStringLiteral("section_caption")), Str(174 + s));
        m_sectionRows[static_cast<std::size_t>(s)] = Plugin_GetChild(section, QStringLiteral("section_rows"));
        auto* add = qobject_cast<QPushButton*>(Plugin_GetChild(section, QStringLiteral("section_add")));
        if (add != nullptr) {
            add->setText(Str(3164));
            add->setVisible(!m_sim);
            QObject::connect(add, &QPushButton::clicked, this, [this, s] { AddRow(static_cast<Section>(s)); });
        }
    }
}

void CContactEditDlg::Fill() {
    const auto set = [this](const char* name, const QString& value) {
        if (QLineEdit* box = Box(QString::fromLatin1(name))) {
            box->setText(value);
        }
    };
    set("modify_name", m_contact.GetDisplayNameText());
    set("modify_nickname", m_contact.GetNickname());
    QString company, department, title;
    m_contact.GetOrganization(&company, &department, &title);
    set("edit_company_name", company);
    set("edit_department_name", department);
    set("edit_title_name", title);
    if (QDateEdit* birthday = BirthdayBox()) {
        // A birthday the picker cannot show is kept as it is unless the user picks another.
        const QDate date = QDate::fromString(m_contact.GetBirthday(), kBirthdayFormat);
        birthday->setDate(date.isValid() ? date : kNoBirthday);
        QObject::connect(birthday, &QDateEdit::dateChanged, this, [this] { m_birthdayPicked = true; });
    }
    if (auto* favourite = qobject_cast<QCheckBox*>(GetPluginByName(this, QStringLiteral("favorite_contact")))) {
        favourite->setChecked(m_contact.IsFavorite());
    }
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("modify_group")))) {
        for (const GroupChoice& g : m_groups) {
            auto* item = new QListWidgetItem(g.name, list);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(g.member ? Qt::Checked : Qt::Unchecked);
        }
    }
    for (const vexa::ContactField& f : m_contact.m_phones) {
        NewRow(SecPhone, f.m_type, f.m_label, {f.m_value});
    }
    if (m_sim && m_contact.m_phones.empty()) {
        NewRow(SecPhone, 2, {}, {});
    }
    for (const vexa::ContactField& f : m_contact.m_emails) {
        NewRow(SecEmail, f.m_type, f.m_label, {f.m_value});
    }
    for (const vexa::ContactField& f : m_contact.m_websites) {
        NewRow(SecWeb, f.m_type, f.m_label, {f.m_value});
    }
    for (const vexa::ContactAddress& a : m_contact.m_addresses) {
        NewRow(SecAddress, a.m_type, a.m_label, {a.m_street, a.m_city, a.m_region, a.m_postcode, a.m_country});
    }
    for (const vexa::ContactIm& im : m_contact.m_ims) {
        NewRow(SecIm, im.m_protocol, {}, {im.m_value});
    }
    for (const QString& note : m_contact.m_notes) {
        NewRow(SecNote, 0, {}, {note});
    }
    ShowPhoto();
    ShowRingtone();
}

QWidget* CContactEditDlg::AddRow(Section section) {
    FieldKind kind = FieldKind::Phone;
    const int type = KindOf(section, &kind) ? contacts::FieldTypes(kind).front().code : 0;
    QWidget* row = NewRow(section, type, {}, {});
    if (QLineEdit* value = row != nullptr ? EditIn(row, "field_value") : nullptr) {
        value->setFocus();
    }
    return row;
}

QWidget* CContactEditDlg::NewRow(Section section, int type, const QString& label, const QStringList& values) {
    QWidget* box = m_sectionRows[static_cast<std::size_t>(section)];
    // Addresses have rows of their own: five boxes that other rows need not carry.
    QWidget* templ = GetPluginByName(
        this, section == SecAddress ? QStringLiteral("address_row_template") : QStringLiteral("field_row_template"));
    if (box == nullptr || templ == nullptr) {
        return nullptr;
    }
    QWidget* row = Plugin_Clone(templ, box, -1, QStringLiteral("field_row_%1").arg(m_cloned++));
    if (row == nullptr) {
        return nullptr;
    }
    m_rows[section].push_back(row);
    FieldKind kind = FieldKind::Phone;
    const bool typed = KindOf(section, &kind);
    QWidget* chooser = Plugin_GetChild(row, QStringLiteral("field_type"));
    QLineEdit* labelBox = EditIn(row, "field_label");
    QLineEdit* value = EditIn(row, "field_value");
    row->setProperty("section", static_cast<int>(section));
    labelBox->setPlaceholderText(Str(217));
    labelBox->setText(label);
    Filter(labelBox, EditMode::None, kMaxText);
    chooser->setVisible(typed && !m_sim);
    if (typed) {
        // A menu, not a combo box: a combo box builds its popup as it is styled, which made a long
        // contact slow to open.
        QStringList names;
        for (const contacts::FieldType& t : contacts::FieldTypes(kind)) {
            names << Str(t.stringId);
        }
        Plugin_SetMenuItems(chooser, names);
    }
    SetRowType(row, type);
    value->setText(values.value(0));
    switch (section) {
    case SecPhone:
        value->setPlaceholderText(Str(257));
        Filter(value, EditMode::PhoneNumber, m_sim ? 20 : kMaxNumber);
        break;
    case SecEmail:
    case SecWeb:
        Filter(value, EditMode::Plain, kMaxAddress);
        break;
    case SecAddress: {
        value->setPlaceholderText(QString(Str(247)).remove(u' '));
        const char* parts[] = {"address_city", "address_region", "address_postcode", "address_country"};
        for (int i = 0; i < 4; ++i) {
            QLineEdit* part = EditIn(row, parts[i]);
            part->setText(values.value(i + 1));
            part->setPlaceholderText(QString(Str(248 + i)).remove(u' '));
            Filter(part, i == 2 ? EditMode::Digits : EditMode::None, i == 2 ? 10 : kMaxText);
        }
        Filter(value, EditMode::None, kMaxAddress);
        break;
    }
    default:
        Filter(value, EditMode::None, section == SecNote ? 1000 : kMaxAddress);
        break;
    }
    if (auto* action = qobject_cast<QPushButton*>(Plugin_GetChild(row, QStringLiteral("field_action")))) {
        const bool phone = section == SecPhone;
        const bool offered = (phone && m_sendMessage) || section == SecEmail || section == SecWeb;
        action->setVisible(offered);
        if (offered) {
            const FieldAction what = phone ? FieldAction::SendMessage
                                           : (section == SecEmail ? FieldAction::SendMail : FieldAction::OpenWeb);
            action->setText(Str(phone ? 992 : (section == SecEmail ? 993 : 994)));
            action->setEnabled(!value->text().trimmed().isEmpty());
            QObject::connect(value, &QLineEdit::textChanged, action,
                             [action](const QString& text) { action->setEnabled(!text.trimmed().isEmpty()); });
            QObject::connect(action, &QPushButton::clicked, this,
                             [this, what, value] { RunFieldAction(this, what, value->text(), m_sendMessage); });
        }
    }
    auto* remove = qobject_cast<QPushButton*>(Plugin_GetChild(row, QStringLiteral("field_remove")));
    remove->setText(QStringLiteral("×"));
    remove->setToolTip(Str(275));
    remove->setVisible(!m_sim);
    QObject::connect(remove, &QPushButton::clicked, this, [this, section, row] {
        std::erase(m_rows[section], row);
        Plugin_Delete(row);
    });
    Plugin_SetClonedVisible(row, 1);
    return row;
}

void CContactEditDlg::SetRowType(QWidget* row, int code) {
    FieldKind kind = FieldKind::Phone;
    QWidget* chooser = Plugin_GetChild(row, QStringLiteral("field_type"));
    const bool typed = KindOf(row->property("section").toInt(), &kind);
    if (chooser != nullptr) {
        chooser->setProperty("typeCode", code);
        Plugin_SetText(chooser, typed ? contacts::FieldTypeName(kind, code) : QString());
    }
    if (QLineEdit* label = EditIn(row, "field_label")) {
        label->setVisible(typed && contacts::IsCustomType(kind, code) && !m_sim);
    }
}

int CContactEditDlg::RowType(QWidget* row) {
    QWidget* chooser = Plugin_GetChild(row, QStringLiteral("field_type"));
    return chooser != nullptr ? chooser->property("typeCode").toInt() : 0;
}

LRESULT CContactEditDlg::OnTypeMenu(QWidget* widget, std::intptr_t choice, std::intptr_t) {
    QWidget* row = Plugin_GetCloneRoot(widget);
    FieldKind kind = FieldKind::Phone;
    if (row == nullptr || !KindOf(row->property("section").toInt(), &kind)) {
        return 0;
    }
    const std::vector<contacts::FieldType>& types = contacts::FieldTypes(kind);
    if (choice >= 0 && choice < static_cast<std::intptr_t>(types.size())) {
        SetRowType(row, types[static_cast<std::size_t>(choice)].code);
    }
    return 1;
}

void CContactEditDlg::Filter(QLineEdit* box, EditMode mode, int maxLength) {
    if (box == nullptr) {
        return;
    }
    QObject::connect(box, &QLineEdit::textEdited, this, [this, box, mode, maxLength](const QString& typed) {
        const contacts::FilterResult r = contacts::FilterInput(typed, mode, maxLength);
        if (r.message.isEmpty()) {
            ShowTip({});
            return;
        }
        const int cursor = box->cursorPosition() - static_cast<int>(typed.size() - r.text.size());
        box->setText(r.text);
        box->setCursorPosition(std::clamp(cursor, 0, static_cast<int>(r.text.size())));
        ShowTip(r.message);
    });
}

void CContactEditDlg::ShowTip(const QString& text) {
    QWidget* tip = GetPluginByName(this, QStringLiteral("input_tip"));
    Plugin_SetText(tip, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
    Plugin_SetVisible(tip, !text.isEmpty());
}

QString CContactEditDlg::TipText() const {
    QWidget* tip = GetPluginByName(const_cast<CContactEditDlg*>(this), QStringLiteral("input_tip"));
    return tip != nullptr && tip->isVisibleTo(this) ? Plugin_GetText(tip) : QString();
}

QDateEdit* CContactEditDlg::BirthdayBox() const {
    return qobject_cast<QDateEdit*>(GetPluginByName(const_cast<CContactEditDlg*>(this), QStringLiteral("modify_birthday")));
}

QLineEdit* CContactEditDlg::Box(const QString& name) const {
    return qobject_cast<QLineEdit*>(GetPluginByName(const_cast<CContactEditDlg*>(this), name));
}

void CContactEditDlg::Type(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->end(false);
    box->insert(text); // emits textEdited, as typing does
}

QByteArray CContactEditDlg::ScaledPhoto(const QImage& image) {
    constexpr int kSide = 96;
    const QImage fitted = image.width() > kSide || image.height() > kSide
                              ? image.scaled(kSide, kSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : image;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    fitted.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 90);
    return bytes;
}

void CContactEditDlg::PressEditName() {
    OnEditName(nullptr, 0, 0);
}

LRESULT CContactEditDlg::OnEditName(QWidget*, std::intptr_t, std::intptr_t) {
    vexa::NameParts parts;
    m_contact.GetNameParts(&parts);
    if (!m_editNameParts || !m_editNameParts(this, &parts)) {
        return 0;
    }
    for (int code = vexa::NAME_GIVEN; code <= vexa::NAME_PHONETIC_FAMILY; ++code) {
        m_contact.SetNamePart(code, parts.parts[code]);
    }
    // The parts make the name shown; with none written the typed name stays.
    const QString composed = contacts::DisplayNameFromParts(parts.parts);
    if (!composed.isEmpty()) {
        Box(QStringLiteral("modify_name"))->setText(composed);
    }
    return 0;
}

void CContactEditDlg::SetRingtones(const QString& current, const QStringList& onPhone) {
    m_ringtone = current;
    m_phoneRingtones = onPhone;
    ShowRingtone();
}

void CContactEditDlg::ShowRingtone() {
    QWidget* button = GetPluginByName(this, QStringLiteral("modify_ring"));
    if (button == nullptr) {
        return;
    }
    QStringList items{Str(185)};
    for (const QString& path : m_phoneRingtones) {
        items << QFileInfo(path).completeBaseName();
    }
    items << Str(232);
    Plugin_SetMenuItems(button, items);
    Plugin_SetText(button, RingtoneText());
    button->setToolTip(Str(233));
}

QString CContactEditDlg::RingtoneText() const {
    const QString& shown = m_ringtoneUpload.isEmpty() ? m_ringtone : m_ringtoneUpload;
    return shown.isEmpty() ? Str(185) : QFileInfo(shown).completeBaseName();
}

void CContactEditDlg::ChooseRingtone(int choice) {
    const int phoneCount = static_cast<int>(m_phoneRingtones.size());
    if (choice == 0 || (choice > 0 && choice <= phoneCount)) {
        m_ringtone = choice == 0 ? QString() : m_phoneRingtones[choice - 1];
        m_ringtoneUpload.clear();
        m_ringtoneChanged = true;
    } else if (choice == phoneCount + 1) {
        const QString path = m_chooseSound ? m_chooseSound(this) : QString();
        if (path.isEmpty()) {
            return;
        }
        m_ringtoneUpload = path;
        m_ringtoneChanged = true;
    }
    ShowRingtone();
}

LRESULT CContactEditDlg::OnRingMenu(QWidget*, std::intptr_t choice, std::intptr_t) {
    ChooseRingtone(static_cast<int>(choice));
    return 1;
}

void CContactEditDlg::ShowPhoto() {
    auto* player = qobject_cast<QLabel*>(GetPluginByName(this, QStringLiteral("image_player")));
    if (player == nullptr) {
        return;
    }
    QImage image;
    if (!m_photo.isEmpty() && image.loadFromData(m_photo)) {
        player->setPixmap(QPixmap::fromImage(image));
    } else {
        player->setPixmap({});
        const QString name = m_contact.GetDisplayNameText();
        player->setText(name.isEmpty() ? QString() : name.left(1));
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("delete_photo")), !m_photo.isEmpty());
}

void CContactEditDlg::LoadPhoto(const QString& path) {
    // Decoded straight to the photo's size, so a huge picture never sits whole in memory; a file
    // that is no picture, is cut short or claims absurd dimensions is refused.
    constexpr int kMaxSide = 20000;
    QImageReader reader(path);
    const QSize size = reader.size();
    QImage image;
    if (size.isValid() && size.width() <= kMaxSide && size.height() <= kMaxSide) {
        if (size.width() > 96 || size.height() > 96) {
            reader.setScaledSize(size.scaled(96, 96, Qt::KeepAspectRatio));
        }
        image = reader.read();
    }
    if (image.isNull()) {
        VexaMessageBox(Str(228), this, Str(227), 0);
        return;
    }
    m_photo = ScaledPhoto(image);
    m_photoChanged = true;
    ShowPhoto();
}

LRESULT CContactEditDlg::OnSetPhoto(QWidget*, std::intptr_t, std::intptr_t) {
    const QString path = m_choosePicture ? m_choosePicture(this) : QString();
    if (!path.isEmpty()) {
        LoadPhoto(path);
    }
    return 0;
}

LRESULT CContactEditDlg::OnDeletePhoto(QWidget*, std::intptr_t, std::intptr_t) {
    m_photo.clear();
    m_photoChanged = true;
    ShowPhoto();
    return 0;
}

bool CContactEditDlg::Collect(vexa::Contact* out) {
    *out = m_contact;
    out->SetDisplayName(Box(QStringLiteral("modify_name"))->text().trimmed());
    out->SetNickname(Box(QStringLiteral("modify_nickname"))->text().trimmed());
    out->SetCompany(Box(QStringLiteral("edit_company_name"))->text().trimmed());
    out->SetDepartment(Box(QStringLiteral("edit_department_name"))->text().trimmed());
    out->SetTitle(Box(QStringLiteral("edit_title_name"))->text().trimmed());
    if (const QDateEdit* birthday = BirthdayBox(); birthday != nullptr && m_birthdayPicked) {
        out->SetBirthday(birthday->date() == kNoBirthday ? QString() : birthday->date().toString(kBirthdayFormat));
    }
    if (auto* favourite = qobject_cast<QCheckBox*>(GetPluginByName(this, QStringLiteral("favorite_contact")))) {
        out->SetFavorite(favourite->isChecked());
    }
    out->ClearPhones();
    out->ClearEmails();
    out->ClearWebsites();
    out->ClearAddresses();
    out->ClearIms();
    out->ClearNotes();
    for (int s = 0; s < SecCount; ++s) {
        FieldKind kind = FieldKind::Phone;
        const bool typed = KindOf(s, &kind);
        for (QWidget* row : m_rows[static_cast<std::size_t>(s)]) {
            const int type = typed ? RowType(row) : 0;
            const QString label = typed && contacts::IsCustomType(kind, type) ? TextIn(row, "field_label") : QString();
            const QString value = TextIn(row, "field_value");
            const QStringList parts{TextIn(row, "address_city"), TextIn(row, "address_region"),
                                    TextIn(row, "address_postcode"), TextIn(row, "address_country")};
            if (value.isEmpty() && (s != SecAddress || parts.join(QString()).isEmpty())) {
                continue; // an empty row is not an entry
            }
            switch (s) {
            case SecPhone:
                out->AddPhone(m_sim ? 2 : type, &label, value, nullptr);
                break;
            case SecEmail:
                out->AddEmail(type, &label, value, nullptr);
                break;
            case SecWeb:
                out->AddWebsite(type, &label, value, nullptr);
                break;
            case SecAddress:
                out->AddAddress(type, &label, value, parts[0], parts[1], parts[2], parts[3], nullptr);
                break;
            case SecIm:
                out->AddIm(type, value, nullptr);
                break;
            default:
                out->AddNote(value);
                break;
            }
        }
    }
    if (out->GetDisplayNameText().isEmpty() && out->GetPhoneCount() == 0) {
        ShowTip(Str(3171));
        return false;
    }
    return true;
}

void CContactEditDlg::PressSave() {
    OnSave(nullptr, 0, 0);
}

LRESULT CContactEditDlg::OnSave(QWidget*, std::intptr_t, std::intptr_t) {
    auto edited = std::make_unique<vexa::Contact>();
    if (!Collect(edited.get())) {
        return 0;
    }
    m_edit.fields = std::move(edited);
    m_edit.groupIds.clear();
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("modify_group")))) {
        for (int i = 0; i < list->count() && i < static_cast<int>(m_groups.size()); ++i) {
            if (list->item(i)->checkState() == Qt::Checked) {
                m_edit.groupIds.push_back(m_groups[static_cast<std::size_t>(i)].id);
            }
        }
    }
    m_edit.photoChanged = m_photoChanged;
    m_edit.photo = m_photo;
    m_edit.ringtoneChanged = m_ringtoneChanged;
    m_edit.ringtone = m_ringtone;
    m_edit.ringtoneUpload = m_ringtoneUpload;
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CContactEditDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

contacts::ContactEdit CContactEditDlg::TakeEdit() {
    return std::move(m_edit);
}
