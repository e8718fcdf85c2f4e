#pragma once
// Group management ("group_manage_dialog"): the phone's groups with their pictures (the skin's
// "default_group_image.svg" for a group without one) and member counts, a name box
// and add, rename and delete. The phone work is the caller's runner (a worker behind a busy dialog
// running contacts::CContactDataHelper), which also hands back the fresh list; refusals (565, 329,
// 315) show in the tip line and the dialog stays. Delete asks 307 first. UI thread only.

#include "contacts/ContactEditing.h"
#include "controls/CSkinDialog.h"

#include <QPixmap>

#include <functional>
#include <vector>

class CGroupManageDlg : public CSkinDialog {
public:
    struct GroupRow {
        int id = -1;
        QString name;
        int members = 0;
        QByteArray icon; // the group's picture as the phone keeps it; empty: the skin's default
    };
    enum Action { ActAdd, ActRename, ActDelete };
    using Runner =
        std::function<contacts::EditOutcome(Action action, int groupId, const QString& name, std::vector<GroupRow>* rows)>;

    CGroupManageDlg(std::vector<GroupRow> rows, Runner runner, QWidget* parent = nullptr);

    bool Changed() const { return m_changed; }
    // For tests and pictures.
    void Select(int row);
    int ChosenRow() const;
    void SetName(const QString& name);
    void Press(Action action);
    QString TipText() const;
    QStringList Lines() const;
    // The picture a row shows: the group's own, or the skin's default group picture.
    QPixmap RowPicture(int row) const;
    static constexpr int kPictureSide = 32;

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnAdd(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRename(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDelete(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    void Run(Action action);
    void ShowRows();
    void ShowTip(const QString& text);

    std::vector<GroupRow> m_rows;
    Runner m_runner;
    bool m_changed = false;

    friend struct CGroupManageDlgTable;
};
