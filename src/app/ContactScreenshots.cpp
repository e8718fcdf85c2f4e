#include "app/ContactScreenshots.h"

#include "app/CMainFrame.h"
#include "app/SceneFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "contacts/CCallRecordWnd.h"
#include "contacts/CContactEditDlg.h"
#include "contacts/CEditNameDlg.h"
#include "contacts/CContactPage.h"
#include "contacts/CGroupManageDlg.h"
#include "contacts/CMergeDuplicatesDlg.h"
#include "contacts/CQuickAddContactDlg.h"
#include "contacts/CPbListWnd.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QPushButton>
#include <QMenu>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QThread>

#include <functional>
#include <memory>

namespace {

using scenes::CSceneFrame;
using scenes::WaitFor;

// The frame connected to the phone with the contacts tab filled; null when that does not happen.
std::unique_ptr<CSceneFrame> ContactFrame(CContactPage** page) {
    auto frame = std::make_unique<CSceneFrame>();
    if (!frame->Create()) {
        return nullptr;
    }
    frame->show();
    if (!WaitFor([&] { return frame->IsConnected(); })) {
        return frame;
    }
    frame->SelectTab(CMainFrame::TabContact);
    *page = dynamic_cast<CContactPage*>(frame->Page(CMainFrame::TabContact));
    if (*page != nullptr) {
        WaitFor([&] { return !(*page)->IsLoading() && !(*page)->Nodes().empty(); });
    }
    return frame;
}

// A contact with an entry of every kind, as the editor shows one.
vexa::Contact SampleContact() {
    vexa::Contact c;
    c.SetDisplayName(QStringLiteral("欧阳娜娜"));
    c.SetNickname(QStringLiteral("娜娜"));
    c.SetCompany(QStringLiteral("维克萨科技"));
    c.SetDepartment(QStringLiteral("研发部"));
    c.SetTitle(QStringLiteral("工程师"));
    c.SetBirthday(QStringLiteral("1990-07-09"));
    c.SetFavorite(true);
    const QString custom = QStringLiteral("卫星电话");
    c.AddPhone(2, nullptr, QStringLiteral("13800138000"), nullptr);
    c.AddPhone(3, nullptr, QStringLiteral("+861062345678"), nullptr);
    c.AddPhone(0, &custom, QStringLiteral("008816212345"), nullptr);
    c.AddEmail(2, nullptr, QStringLiteral("nana@example.com"), nullptr);
    c.AddWebsite(2, nullptr, QStringLiteral("https://nana.example.com"), nullptr);
    c.AddAddress(1, nullptr, QStringLiteral("中关村大街1号"), QStringLiteral("北京"), QStringLiteral("北京市"),
                 QStringLiteral("100080"), QStringLiteral("中国"), nullptr);
    c.AddIm(4, QStringLiteral("10001"), nullptr);
    c.AddNote(QStringLiteral("大学同学"));
    return c;
}

// A group picture as a phone keeps one: image bytes (a photo-like disc on a coloured square).
QByteArray GroupPicture(QColor colour) {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawEllipse(QPoint(32, 24), 12, 12);
    painter.drawEllipse(QRect(12, 40, 40, 40));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::unique_ptr<QWidget> Shown(std::unique_ptr<CSkinDialog> dialog) {
    if (!dialog->CreateModeless()) {
        return nullptr;
    }
    return dialog;
}

void RegisterEditDialogs() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("contact_edit"), [] {
        auto dialog = std::make_unique<CContactEditDlg>(
            SampleContact(), false,
            std::vector<CContactEditDlg::GroupChoice>{{1, QStringLiteral("家人"), true},
                                                      {2, QStringLiteral("同事"), false},
                                                      {3, QStringLiteral("大学同学"), true}},
            QByteArray());
        dialog->SetRingtones(QStringLiteral("/system/media/audio/ringtones/Orbit.ogg"),
                             {QStringLiteral("/system/media/audio/ringtones/Orbit.ogg")});
        dialog->m_sendMessage = [](QWidget*, const QString&) {}; // numbers offer their message
        return Shown(std::move(dialog));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("edit_name"), [] {
        vexa::NameParts parts;
        parts.parts[vexa::NAME_FAMILY] = QStringLiteral("欧阳");
        parts.parts[vexa::NAME_GIVEN] = QStringLiteral("娜娜");
        parts.parts[vexa::NAME_PHONETIC_FAMILY] = QStringLiteral("ouyang");
        parts.parts[vexa::NAME_PHONETIC_GIVEN] = QStringLiteral("nana");
        return Shown(std::make_unique<CEditNameDlg>(parts));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("contact_new"), [] {
        vexa::Contact fresh;
        fresh.AddPhone(2, nullptr, QString(), nullptr);
        auto shown = Shown(std::make_unique<CContactEditDlg>(
            fresh, true,
            std::vector<CContactEditDlg::GroupChoice>{{1, QStringLiteral("家人"), false},
                                                      {2, QStringLiteral("同事"), false}},
            QByteArray()));
        if (auto* dialog = dynamic_cast<CContactEditDlg*>(shown.get())) {
            dialog->PressSave(); // nothing typed: the check text shows
        }
        return shown;
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("group_manage"), [] {
        auto dialog = std::make_unique<CGroupManageDlg>(
            std::vector<CGroupManageDlg::GroupRow>{{1, QStringLiteral("家人"), 6, GroupPicture(QColor(0xF0, 0x9A, 0x0E))},
                                                   {2, QStringLiteral("同事"), 24, GroupPicture(QColor(0x2E, 0xA1, 0x21))},
                                                   {3, QStringLiteral("Friends, old"), 3, {}}},
            [](CGroupManageDlg::Action, int, const QString&, std::vector<CGroupManageDlg::GroupRow>*) {
                return contacts::EditOutcome{false, Str(329), -1};
            });
        auto shown = Shown(std::move(dialog));
        if (auto* manage = dynamic_cast<CGroupManageDlg*>(shown.get())) {
            manage->Select(1);
            manage->SetName(QStringLiteral("家人"));
            manage->Press(CGroupManageDlg::ActRename);
        }
        return shown;
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("quick_add_contact"), [] {
        auto shown = Shown(std::make_unique<CQuickAddContactDlg>(
            QStringLiteral("13912345678"),
            std::vector<CContactEditDlg::GroupChoice>{{1, QStringLiteral("家人"), false},
                                                      {2, QStringLiteral("同事"), false}}));
        if (auto* dialog = dynamic_cast<CQuickAddContactDlg*>(shown.get())) {
            dialog->Fill(QStringLiteral("王芳"), QStringLiteral("13912345678x"), 2);
            dialog->PressOk(); // shows the refusal of a number with a letter in it
        }
        return shown;
    });
}

void RegisterMergeDialogs() {
    // The merge's two choices, on a plan long enough that its list scrolls.
    const auto mergeScene = [](bool hand) -> std::unique_ptr<QWidget> {
        contacts::MergeOutcome plan;
        plan.plan = {{QStringLiteral("张伟"), {{1, 2, 3}}},
                     {QStringLiteral("王芳"), {{4, 5}, {6}}},
                     {QStringLiteral("Alice"), {{7, 8}}}};
        plan.merged = 4;
        plan.leftForHand = {QStringLiteral("王芳")};
        const QString surnames = QStringLiteral("李刘陈杨黄赵吴周徐孙马朱胡郭何高林罗");
        for (int i = 0; i < surnames.size(); ++i) {
            const std::int64_t id = 100 + 3 * i;
            plan.plan.push_back({surnames.mid(i, 1) + QStringLiteral("明"), {{id, id + 1}, {id + 2}}});
            plan.leftForHand.push_back(plan.plan.back().name);
            ++plan.merged;
        }
        auto shown = Shown(std::make_unique<CMergeDuplicatesDlg>(
            std::move(plan), [](const std::vector<std::int64_t>&) { return false; }));
        if (auto* dialog = dynamic_cast<CMergeDuplicatesDlg*>(shown.get()); dialog != nullptr && hand) {
            dialog->Choose(true);
        }
        return shown;
    };
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("merge_duplicates"),
                            [mergeScene] { return mergeScene(false); });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("merge_duplicates_hand"),
                            [mergeScene] { return mergeScene(true); });
}

// The contact page in its states: a group, a card, the copy menu, a search, the call log.
void RegisterPageScenes() {
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("contact_group"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            for (const auto& node : page->Nodes()) {
                if (node.id >= 0) {
                    page->SelectNode(node.id);
                    break;
                }
            }
            QApplication::processEvents();
            page->List().ScrollBar()->setValue(3 * CPbListWnd::kRowHeight + 20);
            page->List().SetChecked(4, true);
            QApplication::processEvents();
            page->ShowIndexLetter();
        }
        return frame;
    });
    // The second card's contacts with their badges; the copy menu leaves that card out.
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("contact_sim"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr && page->SelectNode(contacts::NodeSim2)) {
            QApplication::processEvents();
            if (auto* copy = qobject_cast<QPushButton*>(GetPluginByName(page, QStringLiteral("copy_contact")));
                copy != nullptr && copy->menu() != nullptr) {
                copy->menu()->popup(copy->mapToGlobal(QPoint(0, copy->height())));
            }
        }
        return frame;
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("contact_copy_menu"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            page->List().SetChecked(0, true);
            page->List().SetChecked(2, true);
            QApplication::processEvents();
            // The copy targets as the SIM cards allow them, popped up under their button.
            if (auto* copy = qobject_cast<QPushButton*>(GetPluginByName(page, QStringLiteral("copy_contact")));
                copy != nullptr && copy->menu() != nullptr) {
                copy->menu()->popup(copy->mapToGlobal(QPoint(0, copy->height())));
            }
        }
        return frame;
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("contact_search"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            if (auto* box = qobject_cast<QLineEdit*>(GetPluginByName(page, QStringLiteral("Contact_search_ctrl")))) {
                box->setText(QStringLiteral("13"));
            }
            WaitFor([page] { return !page->IsSearching(); });
        }
        return frame;
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("call_records"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            page->ShowCallRecords(true);
            if (CCallRecordWnd* calls = page->CallRecords(); calls != nullptr) {
                // A long call log arrives in slices; draw it once it is all there.
                WaitFor([calls] { return calls->FilledRows() == static_cast<int>(calls->Groups().size()); });
                WaitFor([] { return false; }, 300);
                calls->SelectGroup(0);
            }
        }
        return frame;
    });
}

} // namespace

void RegisterContactScreenshots() {
    RegisterEditDialogs();
    RegisterMergeDialogs();
    RegisterPageScenes();
}
