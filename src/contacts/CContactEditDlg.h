#pragma once
// The contact editor ("contact_edit_dialog"): name, nickname, organisation, birthday, favourite,
// groups, photo and one section per kind of entry (phones, e-mail, web, addresses, IM, notes), each
// row with its type chooser and a custom label where the type is custom. Text boxes filter what is
// typed (SIM names and numbers to what the card keeps, numbers to the dialling characters,
// postcodes to digits, lengths to their maximum) and say why in the tip line. A SIM contact shows
// only its name and one number. Numbers, mail and web addresses have their action beside them (a
// message, a mail, the page). The dialog only edits a copy: the caller writes the result with
// contacts::CommitEdit on a worker. UI thread only.

#include "contacts/ContactEditUi.h"
#include "contacts/ContactEditing.h"
#include "contacts/ContactFieldTypes.h"
#include "contacts/ContactRules.h"
#include "controls/CSkinDialog.h"

#include "bridge/api/ContactBook.h"

#include <QByteArray>
#include <QImage>

#include <array>
#include <functional>
#include <vector>

class QDateEdit;
class QLineEdit;

class CContactEditDlg : public CSkinDialog {
public:
    struct GroupChoice {
        int id = -1;
        QString name;
        bool member = false;
    };
    // Sections in the order of their captions (174-179).
    enum Section { SecPhone, SecEmail, SecWeb, SecAddress, SecIm, SecNote, SecCount };

    // contact: the stored contact with its detail (for a new one: empty, storage set); photo: its
    // picture bytes, empty when none.
    CContactEditDlg(const vexa::Contact& contact, bool isNew, std::vector<GroupChoice> groups, QByteArray photo,
                    QWidget* parent = nullptr);

    // After IDOK: the edited contact, its groups and the photo change.
    contacts::ContactEdit TakeEdit();

    // Where a picture and a PC ringtone come from (tests replace them); empty: cancelled.
    std::function<QString(QWidget*)> m_choosePicture;
    std::function<QString(QWidget*)> m_chooseSound;
    // Numbers offer 992 "发送信息" through this (set before the dialog shows; empty: they do not).
    SendMessageAction m_sendMessage;
    // The name's parts editor (tests replace it); false: cancelled.
    std::function<bool(QWidget*, vexa::NameParts*)> m_editNameParts;

    // The contact's ringtone (a phone path, empty for the default) and the phone's own ringtones,
    // offered by "modify_ring". Call before the dialog shows.
    void SetRingtones(const QString& current, const QStringList& onPhone);

    // A picture as the phone keeps it: scaled to fit 96 x 96 (never enlarged), as JPEG.
    static QByteArray ScaledPhoto(const QImage& image);

    static constexpr int kMaxText = 64;   // names, nickname, organisation
    static constexpr int kMaxNumber = 40; // a phone memory number
    static constexpr int kMaxAddress = 128;

    // For tests and pictures.
    int RowCount(Section section) const { return static_cast<int>(m_rows[section].size()); }
    QWidget* Row(Section section, int index) const { return m_rows[section][static_cast<std::size_t>(index)]; }
    QWidget* AddRow(Section section);
    QLineEdit* Box(const QString& name) const;
    // The birthday's date picker (its lowest date: no birthday).
    QDateEdit* BirthdayBox() const;
    // Chooses a type in a row as its type menu does; the custom label box shows for a custom type.
    void SetRowType(QWidget* row, int code);
    static int RowType(QWidget* row);
    // Types into a box as the user would (the box's filter runs).
    void Type(QLineEdit* box, const QString& text);
    QString TipText() const;
    void PressSave();
    void PressEditName();
    void LoadPhoto(const QString& path);
    // Chooses in "modify_ring" as its menu does: 0 the default, then the phone's ringtones, then a PC file.
    void ChooseRingtone(int choice);
    QString RingtoneText() const;

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnSave(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSetPhoto(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDeletePhoto(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnTypeMenu(QWidget* widget, std::intptr_t choice, std::intptr_t);
    LRESULT OnRingMenu(QWidget* widget, std::intptr_t choice, std::intptr_t);
    LRESULT OnEditName(QWidget*, std::intptr_t, std::intptr_t);

    void BuildSections();
    void Fill();
    QWidget* NewRow(Section section, int type, const QString& label, const QStringList& values);
    void Filter(QLineEdit* box, contacts::EditMode mode, int maxLength);
    void ShowTip(const QString& text);
    void ShowPhoto();
    void ShowRingtone();
    bool Collect(vexa::Contact* out);

    vexa::Contact m_contact;
    bool m_isNew;
    bool m_sim;
    std::vector<GroupChoice> m_groups;
    QByteArray m_photo;
    bool m_photoChanged = false;
    bool m_birthdayPicked = false; // else the stored birthday text is kept as it was
    QString m_ringtone;
    QString m_ringtoneUpload;
    QStringList m_phoneRingtones;
    bool m_ringtoneChanged = false;
    std::array<QWidget*, SecCount> m_sectionRows{};
    std::array<std::vector<QWidget*>, SecCount> m_rows;
    int m_cloned = 0;
    contacts::ContactEdit m_edit;

    friend struct CContactEditDlgTable;
};
