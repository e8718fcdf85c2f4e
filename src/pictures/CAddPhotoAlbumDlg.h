#pragma once
// The new album dialog: where the album goes (phone storage or card, as the phone has them) and
// its name, at most 50 characters; a character no name may hold is taken out as it is typed, with a
// tip naming them all. OK checks the name against the rules and the existing albums and ends the
// dialog only for a name that may be created. The same dialog renames a picture or an album: no
// storage row, the current name in the box with the part before a picture's extension selected.
// UI thread only.

#include "controls/CSkinDialog.h"

#include <QStringList>

#include <vector>

class CAddPhotoAlbumDlg : public CSkinDialog {
public:
    // storages: 0 phone, 1 card, in the order to offer them; existing: the albums' names.
    CAddPhotoAlbumDlg(std::vector<int> storages, QStringList existing, QWidget* parent = nullptr);
    struct Renaming {
        QString title;   // the caption
        QString current; // the name now
        bool picture = false; // it ends in an extension
    };
    explicit CAddPhotoAlbumDlg(Renaming renaming, QWidget* parent = nullptr);

    int Storage() const { return m_storage; }
    QString Name() const { return m_name; }
    // For tests and pictures: type into the name box, press OK.
    void TypeName(const QString& text);
    void PressOk();
    QString TipText() const;
    QString SelectedText() const;

    static constexpr int kMaxName = 50;

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    void OnEdited(const QString& text);

    std::vector<int> m_storages;
    QStringList m_existing;
    int m_storage = -1;
    QString m_name;
    bool m_renaming = false;
    bool m_picture = false;
    QString m_title;

    friend struct CAddPhotoAlbumDlgTable;
};
