// The group tree, the lists of its nodes, index letters and the search over a simulated phone.
#include "SimPhoneFixture.h"
#include "bridge/api/DeviceInfo.h"
#include "contacts/CContactSearchWorker.h"
#include "contacts/ContactListing.h"
#include "platform/StringTable.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace contacts;

class ContactListingTest : public ::testing::Test {
protected:
    vexa::Contact* Add(vexa::ContactBook& book, const QString& name, const QStringList& numbers,
                       vexa::Group* group = nullptr, bool favourite = false, int storage = vexa::STORAGE_PHONE) {
        auto* c = new vexa::Contact;
        c->SetDisplayName(name);
        int index = 0;
        for (const QString& n : numbers) {
            c->AddPhone(2, nullptr, n, &index);
        }
        c->SetFavorite(favourite);
        c->SetStorage(storage);
        if (group != nullptr) {
            book.AddContactToGroup(group, c, 0);
        }
        if (!book.CreateContact(c)) {
            delete c;
            return nullptr;
        }
        return c;
    }
    vexa::Group* AddGroup(vexa::ContactBook& book, const QString& name) {
        vexa::Group* g = book.NewGroup();
        g->SetName(name);
        if (!book.CreateGroup(g)) {
            delete g;
            return nullptr;
        }
        return g;
    }
    // A book with a group of three, a favourite and two without a group.
    vexa::ContactBook* Populated(const QString& serial, bool dual, int simState) {
        if (!m_phones.Create(serial, dual, simState)) {
            return nullptr;
        }
        vexa::ContactBook* book = m_phones.Open(serial);
        if (book == nullptr) {
            return nullptr;
        }
        vexa::Group* friends = AddGroup(*book, "朋友");
        Add(*book, "张三", {"13800138000"}, friends);
        Add(*book, "alice", {"13912345678", "010-1380"}, friends, true);
        Add(*book, "Tom", {}, friends);
        Add(*book, "9号技师", {"555"});
        Add(*book, "李四", {"18600001111"});
        return m_phones.Open(serial);
    }
    QStringList Names(const std::vector<vexa::Contact*>& contacts) {
        QStringList out;
        for (auto* c : contacts) {
            out << c->GetDisplayNameText();
        }
        return out;
    }

    SimPhones m_phones;
};

TEST_F(ContactListingTest, DualSimPhoneShowsTwoSimNodesAndGroupCounts) {
    vexa::ContactBook* book = Populated("dual-1", true, 3);
    ASSERT_NE(book, nullptr);
    const std::vector<TreeNode> nodes = BuildTreeNodes(*book, m_phones.Session()->GetDeviceInfo());
    std::vector<int> ids;
    for (const TreeNode& n : nodes) {
        ids.push_back(n.id);
    }
    ASSERT_EQ(ids.size(), 8U);
    EXPECT_EQ(std::vector<int>(ids.begin(), ids.begin() + 7), (std::vector<int>{-16, -17, -18, -19, -20, -22, -23}));
    EXPECT_EQ(nodes[0].Text(), Str(267));
    EXPECT_EQ(nodes[1].Text(), Str(346) + "(5)");
    EXPECT_EQ(nodes[3].caption, Str(744));
    EXPECT_EQ(nodes[4].caption, Str(745));
    EXPECT_EQ(nodes[5].Text(), Str(271) + "(1)");
    EXPECT_EQ(nodes[6].Text(), Str(272) + "(2)");
    // Groups: ours and whatever the phone brought; ours shows its three members.
    bool found = false;
    for (std::size_t i = 7; i < nodes.size(); ++i) {
        if (nodes[i].caption == "朋友") {
            found = true;
            EXPECT_GE(nodes[i].id, 0);
            EXPECT_EQ(nodes[i].Text(), "朋友(3)");
            EXPECT_EQ(Names(ContactsOfNode(*book, nodes[i].id)), (QStringList{"张三", "alice", "Tom"}));
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(ContactListingTest, SingleSimPhoneShowsOneSimNode) {
    vexa::ContactBook* book = Populated("single-1", false, 1);
    ASSERT_NE(book, nullptr);
    const std::vector<TreeNode> nodes = BuildTreeNodes(*book, m_phones.Session()->GetDeviceInfo());
    int simNodes = 0;
    for (const TreeNode& n : nodes) {
        if (n.id == NodeSim1) {
            EXPECT_EQ(n.caption, Str(348));
            ++simNodes;
        }
        EXPECT_NE(n.id, NodeSim2);
    }
    EXPECT_EQ(simNodes, 1);
}

TEST_F(ContactListingTest, NodesListTheirContactsInBookOrder) {
    vexa::ContactBook* book = Populated("order-1", true, 3);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(Names(ContactsOfNode(*book, NodeAll)), (QStringList{"张三", "alice", "Tom", "9号技师", "李四"}));
    EXPECT_EQ(Names(ContactsOfNode(*book, NodeFavorites)), QStringList{"alice"});
    EXPECT_EQ(Names(ContactsOfNode(*book, NodeUngrouped)), (QStringList{"9号技师", "李四"}));
    EXPECT_TRUE(ContactsOfNode(*book, 987654).empty());
    EXPECT_EQ(NodeCaption(*book, NodeSim1, false), Str(348));
}

TEST_F(ContactListingTest, PointersOfAnEarlierLoadAreNoLongerHeld) {
    vexa::ContactBook* book = Populated("reload-1", true, 3);
    ASSERT_NE(book, nullptr);
    const std::vector<vexa::Contact*> before = ContactsOfNode(*book, NodeAll);
    ASSERT_EQ(before.size(), 5U);
    EXPECT_EQ(StillInBook(*book, before), before);
    EXPECT_EQ(StillInBook(*book, {before[3], nullptr, before[1]}), (std::vector<vexa::Contact*>{before[3], before[1]}));
    book->ResetContacts();
    ASSERT_EQ(book->LoadContacts(), 1);
    const std::vector<vexa::Contact*> after = ContactsOfNode(*book, NodeAll);
    ASSERT_EQ(after.size(), 5U);
    // Only objects of the new load count, whatever addresses the old ones had.
    const std::vector<vexa::Contact*> held = StillInBook(*book, before);
    for (vexa::Contact* c : held) {
        EXPECT_NE(std::find(after.begin(), after.end(), c), after.end());
    }
    EXPECT_EQ(StillInBook(*book, after), after);
}

TEST_F(ContactListingTest, IdsTakenBeforeAReloadNameTheNewObjects) {
    vexa::ContactBook* book = Populated("ids-1", true, 3);
    ASSERT_NE(book, nullptr);
    const std::vector<vexa::Contact*> before = ContactsOfNode(*book, NodeAll);
    ASSERT_EQ(before.size(), 5U);
    const std::vector<std::int64_t> ids = {before[4]->GetId(), 987654, before[0]->GetId()};
    book->ResetContacts();
    ASSERT_EQ(book->LoadContacts(), 1);
    const std::vector<vexa::Contact*> found = ContactsWithIds(*book, ids);
    EXPECT_EQ(Names(found), (QStringList{"李四", "张三"})); // the order asked for; the unknown id skipped
    EXPECT_EQ(StillInBook(*book, found), found);
}

TEST(IndexLetterTest, FirstLetterOfThePinyinOrTheCharacter) {
    EXPECT_EQ(IndexLetter("张三"), "Z");
    EXPECT_EQ(IndexLetter("alice"), "A");
    EXPECT_EQ(IndexLetter("9号技师"), "9");
    EXPECT_EQ(IndexLetter("欧阳"), "O");
    EXPECT_EQ(IndexLetter("#tag"), "#");
    EXPECT_EQ(IndexLetter(""), "");
}

TEST(IndexLetterTest, TopRowFromTheScrollPosition) {
    EXPECT_EQ(TopRowOfScroll(0), 0);
    EXPECT_EQ(TopRowOfScroll(1), 0);
    EXPECT_EQ(TopRowOfScroll(50), 0);
    EXPECT_EQ(TopRowOfScroll(51), 1);
    EXPECT_EQ(TopRowOfScroll(100), 1);
    EXPECT_EQ(TopRowOfScroll(101), 2);
}

TEST_F(ContactListingTest, SearchMatchesNameAndNumberCaseSensitively) {
    vexa::ContactBook* book = Populated("search-1", true, 3);
    ASSERT_NE(book, nullptr);
    const auto search = [&](const QString& key) {
        std::vector<vexa::Contact*> found;
        EXPECT_TRUE(SearchContacts(*book, key, {}, [&](vexa::Contact* c) { found.push_back(c); }));
        return Names(found);
    };
    EXPECT_EQ(search("138"), (QStringList{"张三", "alice"}));
    EXPECT_EQ(search("To"), QStringList{"Tom"}); // no number, found by its name
    EXPECT_EQ(search("tom"), QStringList{});
    EXPECT_EQ(search("张三138"), QStringList{"张三"}); // name and the start of its number
    EXPECT_EQ(search("alice010"), QStringList{"alice"});
    EXPECT_EQ(search(""), QStringList{});
    // A stop request ends the walk.
    int asked = 0;
    EXPECT_FALSE(SearchContacts(*book, "1", [&asked] { return ++asked > 2; }, [](vexa::Contact*) {}));
}

TEST_F(ContactListingTest, WorkerRestartsForANewKeyAndReportsOnlyItsResults) {
    vexa::ContactBook* book = Populated("worker-1", true, 3);
    ASSERT_NE(book, nullptr);
    std::mutex lock;
    std::map<int, QStringList> found;
    std::map<int, bool> finished;
    CContactSearchWorker worker(
        [book](const std::function<void(vexa::ContactBook&)>& run) { run(*book); },
        [&](int generation, std::vector<vexa::Contact*> batch) {
            std::lock_guard<std::mutex> guard(lock);
            found[generation] += Names(batch);
        },
        [&](int generation, bool complete) {
            std::lock_guard<std::mutex> guard(lock);
            finished[generation] = complete;
        });
    const int first = worker.Start("1");
    const int second = worker.Start("李");
    EXPECT_GT(second, first);
    ASSERT_TRUE(worker.WaitIdle(5000));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(found[second], QStringList{"李四"});
    EXPECT_TRUE(finished[second]);
    // The first walk either finished before the second key or stopped; never both keys mixed.
    if (finished.contains(first) && finished[first]) {
        EXPECT_EQ(found[first], (QStringList{"张三", "alice", "李四"}));
    }
}

TEST_F(ContactListingTest, WorkerCancelAndStopEndQuietly) {
    vexa::ContactBook* book = Populated("worker-2", true, 3);
    ASSERT_NE(book, nullptr);
    std::atomic<int> reports{0};
    auto worker = std::make_unique<CContactSearchWorker>(
        [book](const std::function<void(vexa::ContactBook&)>& run) { run(*book); },
        [&](int, std::vector<vexa::Contact*>) { ++reports; }, [&](int, bool) {});
    worker->Start("1");
    worker->Cancel();
    EXPECT_TRUE(worker->WaitIdle(0));
    worker.reset(); // joins the thread without hanging
}

} // namespace
