// Editing the address book of a simulated phone.
#include "SimPhoneFixture.h"
#include "TestFiles.h"

#include "callrecords/CallRecordBook.h"
#include "contacts/CContactDataHelper.h"
#include "contacts/CContactMoveAndCopyHelper.h"
#include "contacts/ContactEditing.h"
#include "contacts/ContactListing.h"
#include "contacts/ContactMerge.h"
#include "platform/StringTable.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace contacts;

class ContactEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_phones.Create("edit-1"));
        Reopen();
    }
    void Reopen() {
        m_book = m_phones.Open("edit-1");
        ASSERT_NE(m_book, nullptr);
    }
    std::unique_ptr<vexa::Contact> Fresh(const QString& name, const QStringList& numbers, int storage = 0) {
        std::unique_ptr<vexa::Contact> c(m_book->NewContact());
        c->SetDisplayName(name);
        c->SetStorage(storage);
        for (const QString& n : numbers) {
            c->AddPhone(2, nullptr, n, nullptr);
        }
        return c;
    }
    std::int64_t Add(const QString& name, const QStringList& numbers = {}, int storage = 0) {
        const EditOutcome out = AddContact(*m_book, Fresh(name, numbers, storage));
        EXPECT_TRUE(out.ok) << out.message.toStdString();
        return out.id;
    }
    vexa::Contact* Detailed(std::int64_t id) {
        Reopen();
        vexa::Contact* c = ContactsWithIds(*m_book, {id}).front();
        EXPECT_TRUE(m_book->LoadContactDetail(c));
        return c;
    }
    std::set<std::int64_t> IdsOnPhone() {
        Reopen();
        std::set<std::int64_t> ids;
        for (vexa::Contact* c : ContactsOfNode(*m_book, NodeAll)) {
            ids.insert(c->GetId());
        }
        return ids;
    }
    std::vector<vexa::Contact*> Named(const QString& name, int list = vexa::LIST_ALL) {
        std::vector<vexa::Contact*> out;
        for (int i = 0; i < m_book->GetContactCount(list); ++i) {
            if (m_book->GetContactAt(list, i)->GetDisplayNameText() == name) {
                out.push_back(m_book->GetContactAt(list, i));
            }
        }
        return out;
    }

    SimPhones m_phones;
    vexa::ContactBook* m_book = nullptr;
};

TEST_F(ContactEditTest, RefusedWritesLeaveThePhonesContactAsItWasAndTheRingtoneIsSaved) {
    const std::int64_t id = Add(QStringLiteral("Ann"), {QStringLiteral("111")});
    vexa::sim::SetFaults({0, 1, 0});
    Reopen();
    EXPECT_EQ(AddContact(*m_book, Fresh(QStringLiteral("Bob"), {QStringLiteral("2")})).message, Str(315));
    Reopen(); // the first write of the new session fails again
    // A refused save keeps the listed contact as the phone holds it.
    vexa::Contact* ann = ContactsWithIds(*m_book, {id}).front();
    vexa::Contact edited = *ann;
    edited.SetDisplayName(QStringLiteral("Anne"));
    edited.AddEmail(1, nullptr, QStringLiteral("anne@example.com"), nullptr);
    const EditOutcome refused = SaveContact(*m_book, ann, edited);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(ann->GetDisplayNameText(), "Ann");
    vexa::sim::SetFaults({});
    EXPECT_EQ(IdsOnPhone(), std::set<std::int64_t>{id});
    ann = ContactsWithIds(*m_book, {id}).front();
    EXPECT_EQ(ann->GetDisplayNameText(), "Ann");
    ASSERT_TRUE(SaveContact(*m_book, ann, edited).ok);
    ann = Detailed(id);
    EXPECT_EQ(ann->GetDisplayNameText(), "Anne");
    EXPECT_EQ(ann->m_emails, edited.m_emails);

    // The editor's ringtone: one of the phone's, a PC file uploaded on saving, or back to the default.
    const QString sound = m_phones.Folder() + QStringLiteral("/my song.mp3");
    ASSERT_TRUE(vexa::test::WriteFile(sound, QByteArray(4000, 's')));
    const auto commit = [&](const QString& ringtone, const QString& upload) {
        vexa::Contact* anne = Detailed(id);
        ContactEdit edit;
        edit.fields = std::make_unique<vexa::Contact>(*anne);
        edit.ringtoneChanged = true;
        edit.ringtone = ringtone;
        edit.ringtoneUpload = upload;
        EXPECT_TRUE(CommitEdit(*m_book, id, edit).ok);
        Reopen();
        return m_book->GetContactRingtone(ContactsWithIds(*m_book, {id}).front());
    };
    const QString uploaded = commit({}, sound);
    EXPECT_TRUE(uploaded.endsWith(QStringLiteral(".mp3"))) << uploaded.toStdString();
    QStringList onPhone;
    ASSERT_TRUE(m_book->ListRingtones(&onPhone));
    EXPECT_TRUE(onPhone.contains(uploaded));
    EXPECT_EQ(commit({}, {}), QString());
    EXPECT_EQ(commit(uploaded, {}), uploaded); // now one of the phone's own
}

TEST_F(ContactEditTest, GroupNamesAreCheckedAndMembersBecomeUngrouped) {
    using Helper = CContactDataHelper;
    ASSERT_TRUE(Helper::AddGroup(*m_book, QStringLiteral("家人")).ok);
    const EditOutcome work = Helper::AddGroup(*m_book, QStringLiteral("Work"));
    ASSERT_TRUE(work.ok);
    const struct {
        const char* name;
        QString expected;
    } adds[] = {{"", Str(565)}, {"家人", Str(329)}, {"家人 ", QString()}, {"work", QString()}};
    for (const auto& c : adds) {
        EXPECT_EQ(Helper::AddGroup(*m_book, QString::fromUtf8(c.name)).message, c.expected) << c.name;
    }
    EXPECT_EQ(Helper::RenameGroup(*m_book, QStringLiteral("Work"), QStringLiteral("家人")).message, Str(329));
    EXPECT_TRUE(Helper::RenameGroup(*m_book, QStringLiteral("Work"), QStringLiteral("Work")).ok);
    EXPECT_TRUE(Helper::RenameGroup(*m_book, QStringLiteral("Work"), QStringLiteral("工作")).ok);
    EXPECT_EQ(Helper::RenameGroup(*m_book, QStringLiteral("Work"), QStringLiteral("x")).message,
              FormatText(Str(3150), "Work"));

    const std::vector<std::int64_t> ids{Add(QStringLiteral("A")), Add(QStringLiteral("B"))};
    const int groupId = static_cast<int>(work.id);
    EXPECT_EQ(Helper::ChangeMembership(*m_book, groupId, ids, true, nullptr, {}).done, 2);
    EXPECT_EQ(Helper::SetFavorite(*m_book, ids, true, nullptr, {}).done, 2);
    Reopen();
    EXPECT_EQ(m_book->GetFavoriteCount(), 2);
    EXPECT_EQ(m_book->GetUngroupedCount(), 0);
    EXPECT_EQ(m_book->GetGroupById(groupId, 0)->GetName(), "工作");
    ASSERT_TRUE(Helper::DeleteGroup(*m_book, groupId).ok);
    Reopen();
    EXPECT_EQ(m_book->GetUngroupedCount(), 2);
    EXPECT_EQ(Helper::FindGroup(*m_book, QStringLiteral("工作")), nullptr);
}

// A batch delete ended by the user or by a lost link leaves exactly the contacts it had not reached.
TEST_F(ContactEditTest, DeleteBatchEndedEarlyKeepsTheRest) {
    for (const bool dropLink : {false, true}) {
        SCOPED_TRACE(dropLink);
        std::vector<std::int64_t> ids;
        for (int i = 0; i < 20; ++i) {
            ids.push_back(Add(QStringLiteral("c%1").arg(i)));
        }
        vexa::sim::SetFaults({0, 0, dropLink ? 8 : 0});
        Reopen();
        std::atomic<bool> cancel{false};
        const BatchOutcome out = DeleteContacts(*m_book, ids, &cancel, [&](int total, int done) {
            EXPECT_EQ(total, 20);
            cancel = !dropLink && done == 5;
        });
        vexa::sim::SetFaults({});
        EXPECT_EQ(out.cancelled, !dropLink);
        EXPECT_EQ(out.failed, dropLink);
        ASSERT_GT(out.done, 0);
        ASSERT_LT(out.done, 20);
        EXPECT_EQ(DeleteResultText(out), out.failed ? FormatText(Str(313), out.done) + "\r\n" + Str(315)
                                                    : FormatText(Str(313), 5));
        EXPECT_EQ(IdsOnPhone(), std::set<std::int64_t>(ids.begin() + out.done, ids.end()));
        DeleteContacts(*m_book, ids, nullptr, {});
    }

    // The call records of one number go in batches of 50 and stop on a cancel as well.
    vexa::CallRecordList* list = m_phones.Session()->GetCallRecords();
    ASSERT_EQ(list->LoadCallRecords(), 1);
    for (int i = 0; i < 130; ++i) {
        vexa::CallRecord* r = list->NewCallRecord();
        r->m_number = i % 10 == 0 ? QStringLiteral("10086") : QStringLiteral("555");
        r->m_time = vexa::UnpackTime(20120725140309LL + i);
        ASSERT_TRUE(list->AddCallRecord(r));
    }
    ASSERT_EQ(list->LoadCallRecords(), 1);
    const std::vector<std::int64_t> ids = callrecords::RecordIdsOfNumber(*list, QStringLiteral("555"));
    ASSERT_EQ(ids.size(), 117u);
    std::atomic<bool> cancel{false};
    std::vector<int> steps;
    auto out = callrecords::DeleteCallRecordsById(*list, ids, &cancel, [&](int, int done) {
        steps.push_back(done);
        cancel = done >= 100;
    });
    EXPECT_EQ(steps, (std::vector<int>{50, 100}));
    EXPECT_TRUE(out.cancelled);
    out = callrecords::DeleteCallRecordsById(*list, ids, nullptr, {}); // the 17 left
    EXPECT_EQ(out.deleted, 17);
    ASSERT_EQ(list->LoadCallRecords(), 1);
    EXPECT_EQ(list->GetCallRecordCount(), 13);
    EXPECT_TRUE(callrecords::RecordIdsOfNumber(*list, QStringLiteral("555")).empty());
}

TEST_F(ContactEditTest, TargetMenuFollowsTheSimCardsAndLeavesOutWhereTheContactsAre) {
    const struct {
        bool dual;
        int state;
        std::vector<int> chosen; // storages of the chosen contacts
        std::vector<int> texts;
        std::vector<int> storages;
    } cases[] = {
        {true, 3, {}, {750, 751, 752}, {0, 1, 2}},  {true, 2, {}, {750, 752}, {0, 2}},
        {true, 0, {}, {750, 753}, {0, -1}},         {false, 1, {}, {750, 754}, {0, 1}},
        {false, 0, {}, {750, 753}, {0, -1}},        {true, 3, {0, 0}, {751, 752}, {1, 2}},
        {true, 3, {1}, {750, 752}, {0, 2}},         {true, 3, {0, 1}, {750, 751, 752}, {0, 1, 2}},
        {false, 1, {0}, {754}, {1}},
    };
    for (const auto& c : cases) {
        std::vector<int> storages;
        QStringList texts, expected;
        for (const auto& t : CContactMoveAndCopyHelper::Targets(c.dual, c.state, c.chosen)) {
            texts << t.text;
            storages.push_back(t.storage);
        }
        for (int id : c.texts) {
            expected << Str(id);
        }
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(storages, c.storages);
    }
}

TEST_F(ContactEditTest, CopyToSimCutsNameAndNumberAndMoveRemovesTheSource) {
    const QString longNumber = QStringLiteral("123456789012345678901");
    const std::int64_t plain = Add(QStringLiteral("Abcdefghijklmnopqrs"), {longNumber, QStringLiteral("22")});
    const std::int64_t chinese = Add(QStringLiteral("欧阳Abcdefg"), {QStringLiteral("33")});
    const std::int64_t none = Add(QStringLiteral("No phone"));
    using Helper = CContactMoveAndCopyHelper;
    const auto copied = Helper::Run(*m_book, {plain, chinese, none}, vexa::STORAGE_SIM1, false, nullptr, {});
    EXPECT_EQ(Helper::ResultText(copied, false), FormatText(Str(433), 3));
    // A contact already on the target is neither copied again nor counted as copied.
    const int phoneContacts = m_book->GetContactCount(vexa::LIST_PHONE);
    const auto same = Helper::Run(*m_book, {plain}, vexa::STORAGE_PHONE, false, nullptr, {});
    EXPECT_EQ(same.done, 0);
    EXPECT_EQ(same.unchanged, 1);
    EXPECT_EQ(m_book->GetContactCount(vexa::LIST_PHONE), phoneContacts);
    // One contact of two numbers makes two SIM entries, and the result says so.
    const auto two = Helper::Run(*m_book, {plain}, vexa::STORAGE_SIM2, false, nullptr, {});
    EXPECT_EQ(Helper::ResultText(two, false), FormatText(Str(433), 1) + FormatText(Str(3501), 2));
    Reopen();
    const auto sim = Named(QStringLiteral("Abcdefghijklmn"), vexa::LIST_SIM1);
    ASSERT_EQ(sim.size(), 2u);
    EXPECT_EQ(sim[0]->GetPhoneAt(0)->GetValue(), longNumber.left(20));
    EXPECT_EQ(sim[1]->GetPhoneAt(0)->GetValue(), "22");
    EXPECT_EQ(Named(QStringLiteral("欧阳Abcd"), vexa::LIST_SIM1).size(), 1u);
    EXPECT_EQ(m_book->GetContactCount(vexa::LIST_SIM1), 3);

    // Moving to the phone keeps every field and takes the SIM contact away.
    const std::int64_t simId = Named(QStringLiteral("欧阳Abcd"), vexa::LIST_SIM1).front()->GetId();
    const auto moved = Helper::Run(*m_book, {simId}, vexa::STORAGE_PHONE, true, nullptr, {});
    EXPECT_EQ(Helper::ResultText(moved, true), FormatText(Str(434), 1));
    Reopen();
    EXPECT_EQ(m_book->GetContactCount(vexa::LIST_SIM1), 2);
    EXPECT_EQ(Named(QStringLiteral("欧阳Abcd"), vexa::LIST_PHONE).size(), 1u);

    vexa::sim::SetFaults({0, 1, 0});
    Reopen();
    const auto refused = Helper::Run(*m_book, {plain}, vexa::STORAGE_SIM2, true, nullptr, {});
    vexa::sim::SetFaults({});
    EXPECT_EQ(Helper::ResultText(refused, true), FormatText(Str(434), 0) + "\r\n" + Str(435));
    EXPECT_EQ(IdsOnPhone().count(plain), 1u); // a failed move keeps its source
}

TEST_F(ContactEditTest, SameNameGroupsAndTheDuplicateTest) {
    for (const char* name : {"Li", "Li  ", " Li", "li", "Li", "Solo"}) {
        Add(QString::fromUtf8(name), {QStringLiteral("1")});
    }
    Add(QStringLiteral("Li"), {QStringLiteral("1")}, vexa::STORAGE_SIM1); // SIM contacts never count
    const SameNameGroups groups = FindSameNameGroups(*m_book);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups.begin()->first, "Li");
    EXPECT_EQ(groups.begin()->second.size(), 3u);

    const auto contact = [](std::initializer_list<const char*> phones, const char* birthday,
                            std::initializer_list<const char*> notes) {
        vexa::Contact c;
        for (const char* p : phones) {
            c.AddPhone(2, nullptr, QString::fromUtf8(p), nullptr);
        }
        c.SetBirthday(QString::fromUtf8(birthday));
        for (const char* n : notes) {
            c.AddNote(QString::fromUtf8(n));
        }
        return c;
    };
    const struct {
        vexa::Contact a, b;
        bool duplicate;
    } cases[] = {
        {contact({"1", "2"}, "", {}), contact({"2"}, "1990-01-01", {}), true},
        {contact({"1", "1"}, "", {}), contact({"1"}, "", {}), true},
        {contact({"1", "1"}, "", {}), contact({"1", "2"}, "", {}), false}, // each entry matches once
        {contact({"1"}, "1990-01-01", {}), contact({"1"}, "1990-01-02", {}), false},
        {contact({"1"}, "", {"a"}), contact({"1"}, "", {"a", "b"}), true},
        {contact({"1"}, "", {"a"}), contact({"1"}, "", {"b"}), false},
        {contact({"1-2"}, "", {}), contact({"12"}, "", {}), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsDuplicate(c.a, c.b), c.duplicate);
        EXPECT_EQ(IsDuplicate(c.b, c.a), c.duplicate);
    }
}

TEST_F(ContactEditTest, SmartMergeJoinsDuplicatesAndLeavesTheRestForTheHand) {
    const std::int64_t keep = Add(QStringLiteral("王伟"), {QStringLiteral("1")});
    {
        auto twin = Fresh(QStringLiteral("王伟 "), {QStringLiteral("1"), QStringLiteral("138-0000")});
        twin->AddEmail(1, nullptr, QStringLiteral("w@example.com"), nullptr);
        twin->SetFavorite(true);
        ASSERT_TRUE(AddContact(*m_book, std::move(twin)).ok);
    }
    Add(QStringLiteral("王伟"), {QStringLiteral("9")}); // a namesake, not a duplicate
    Add(QStringLiteral("Zoe"), {QStringLiteral("5")});
    Add(QStringLiteral("Zoe"), {QStringLiteral("5")});
    const std::set<std::int64_t> before = IdsOnPhone();

    const MergeOutcome dry = SmartMerge(*m_book, false, nullptr, {});
    EXPECT_EQ(dry.merged, 2);
    EXPECT_EQ(dry.leftForHand, std::vector<QString>{QStringLiteral("王伟")});
    EXPECT_EQ(IdsOnPhone(), before);

    const MergeOutcome done = SmartMerge(*m_book, true, nullptr, {});
    EXPECT_TRUE(done.ok);
    EXPECT_EQ(done.merged, 2);
    vexa::Contact* merged = Detailed(keep);
    EXPECT_EQ(m_book->GetContactCount(vexa::LIST_ALL), 3);
    ASSERT_EQ(merged->GetPhoneCount(), 2);
    EXPECT_EQ(merged->GetPhoneAt(1)->GetValue(), "1380000"); // spaces and dashes go
    EXPECT_EQ(merged->GetEmailCount(), 1);
    EXPECT_TRUE(merged->IsFavorite());
    EXPECT_EQ(SmartMerge(*m_book, true, nullptr, {}).merged, 0); // merging twice equals once
}

// Re-imported SIM contacts land in phone memory: copies adding nothing merge away, the SIM one stays.
TEST_F(ContactEditTest, PhoneCopiesOfSimContactsMergeAwayAndTheSimContactStays) {
    const std::int64_t onSim = Add(QStringLiteral("张三"), {QStringLiteral("13800000001")}, vexa::STORAGE_SIM1);
    Add(QStringLiteral("张三"), {QStringLiteral("138 0000 0001")});
    Add(QStringLiteral("张三"), {QStringLiteral("13800000001")});
    const std::int64_t more = Add(QStringLiteral("李四"), {QStringLiteral("13900000002")});
    Add(QStringLiteral("李四"), {QStringLiteral("13900000002")}, vexa::STORAGE_SIM2);
    // A lone phone copy, with no same-name group in phone memory to find it.
    const std::int64_t wangOnSim = Add(QStringLiteral("王五"), {QStringLiteral("10001")}, vexa::STORAGE_SIM1);
    Add(QStringLiteral("王五"), {QStringLiteral("10001")});
    {
        vexa::Contact* li = Detailed(more);
        vexa::Contact edited = *li;
        edited.AddEmail(1, nullptr, QStringLiteral("li@example.com"), nullptr);
        ASSERT_TRUE(SaveContact(*m_book, li, edited).ok);
    }

    const MergeOutcome dry = SmartMerge(*m_book, false, nullptr, {});
    EXPECT_EQ(dry.merged, 3);
    EXPECT_EQ(MergePlanLines(dry).size(), 2);

    EXPECT_EQ(SmartMerge(*m_book, true, nullptr, {}).merged, 3);
    Reopen();
    EXPECT_EQ(Named(QStringLiteral("张三")).size(), 1u);
    EXPECT_EQ(Named(QStringLiteral("张三")).front()->GetId(), onSim);
    ASSERT_EQ(Named(QStringLiteral("王五")).size(), 1u);
    EXPECT_EQ(Named(QStringLiteral("王五")).front()->GetId(), wangOnSim);
    EXPECT_EQ(Named(QStringLiteral("李四")).size(), 2u);
}

// The hand merge keeps an equal number once and adds an unequal spelling without its dashes.
TEST_F(ContactEditTest, HandMergeAddsWhatTheTargetLacks) {
    const std::int64_t target = Add(QStringLiteral("Li"), {QStringLiteral("13800000000")});
    const std::int64_t same = Add(QStringLiteral("Li"), {QStringLiteral("13800000000")});
    const std::int64_t dashed = Add(QStringLiteral("Li"), {QStringLiteral("138-0000-0000"), QStringLiteral("1 2")});
    ASSERT_TRUE(MergeContacts(*m_book, {target, same, dashed}));
    EXPECT_FALSE(MergeContacts(*m_book, {target, same})); // same is gone
    Reopen();
    EXPECT_EQ(IdsOnPhone(), std::set<std::int64_t>{target});
    const vexa::Contact* merged = ContactsWithIds(*m_book, {target}).front();
    std::vector<QString> numbers;
    for (const vexa::ContactField& f : merged->m_phones) {
        numbers.push_back(f.m_value);
    }
    EXPECT_EQ(numbers, (std::vector<QString>{"13800000000", "13800000000", "12"}));
}

} // namespace
