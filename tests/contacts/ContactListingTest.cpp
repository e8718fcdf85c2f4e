// The group tree, the lists of its nodes, index letters and the search over a simulated phone.
#include "ContactGenerator.h"
#include "SimPhoneFixture.h"
#include "bridge/api/DeviceInfo.h"
#include "contacts/CContactSearchWorker.h"
#include "contacts/ContactListing.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace contacts;

class ContactListingTest : public ::testing::Test {
protected:
    // A book with a group of three, a favourite and two without a group.
    vexa::ContactBook* Populated(const QString& serial, bool dual) {
        vexa::ContactBook* book = m_phones.Create(serial, dual) ? m_phones.Open(serial) : nullptr;
        if (book == nullptr) {
            return nullptr;
        }
        vexa::Group* friends = book->NewGroup();
        friends->SetName("朋友");
        if (!book->CreateGroup(friends)) {
            return nullptr;
        }
        testdata::AddContact(*book, "张三", {"13800138000"}, friends);
        testdata::AddContact(*book, "alice", {"13912345678", "010-1380"}, friends, true);
        testdata::AddContact(*book, "Tom", {}, friends);
        testdata::AddContact(*book, "9号技师", {"555"});
        testdata::AddContact(*book, "李四", {"18600001111"});
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

// The fixed nodes follow the cards present; every node counts its contacts, groups included.
TEST_F(ContactListingTest, TreeHasOneNodePerPresentSimAndCountsEveryNode) {
    struct Case {
        const char* serial;
        bool dual; // two cards present, or one
        std::vector<int> fixed;
    };
    const Case cases[] = {
        {"dual-1", true, {NodeRoot, NodeAll, NodePhone, NodeSim1, NodeSim2, NodeFavorites, NodeUngrouped}},
        {"single-1", false, {NodeRoot, NodeAll, NodePhone, NodeSim1, NodeFavorites, NodeUngrouped}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        vexa::ContactBook* book = Populated(c.serial, c.dual);
        ASSERT_NE(book, nullptr);
        const std::vector<TreeNode> nodes = BuildTreeNodes(*book, m_phones.Session()->GetDeviceInfo());
        std::vector<int> fixed;
        std::map<int, int> counts;
        for (const TreeNode& n : nodes) {
            if (n.id < 0) {
                fixed.push_back(n.id);
            }
            counts[n.id] = n.count;
            if (n.caption == "朋友") {
                EXPECT_EQ(n.count, 3);
                EXPECT_EQ(Names(ContactsOfNode(*book, n.id)), (QStringList{"alice", "Tom", "张三"}));
            }
        }
        EXPECT_EQ(fixed, c.fixed);
        EXPECT_EQ(counts[NodeAll], 5);
        EXPECT_EQ(counts[NodeFavorites], 1);
        EXPECT_EQ(counts[NodeUngrouped], 2);
        EXPECT_EQ(nodes.size(), c.fixed.size() + 1);
        // Each node lists its contacts in book order: by spelling, Chinese by pinyin, no letter last.
        EXPECT_EQ(Names(ContactsOfNode(*book, NodeAll)), (QStringList{"alice", "李四", "Tom", "张三", "9号技师"}));
        EXPECT_EQ(Names(ContactsOfNode(*book, NodeFavorites)), QStringList{"alice"});
        EXPECT_EQ(Names(ContactsOfNode(*book, NodeUngrouped)), (QStringList{"李四", "9号技师"}));
        EXPECT_TRUE(ContactsOfNode(*book, 987654).empty());
    }
}

TEST(IndexLetterTest, FirstLetterOfThePinyinOrHash) {
    EXPECT_EQ(IndexLetter("张三"), "Z");
    EXPECT_EQ(IndexLetter("alice"), "A");
    EXPECT_EQ(IndexLetter("9号技师"), "#");
    EXPECT_EQ(IndexLetter("单雄信"), "S"); // surname reading
    EXPECT_EQ(IndexLetter("Élise"), "#"); // filed with the others that start with no a-z
    EXPECT_EQ(IndexLetter("  lee"), "L");
    EXPECT_EQ(IndexLetter(""), "");
}

TEST_F(ContactListingTest, SearchTheWorkerAndAReloadOverOneBook) {
    vexa::ContactBook* book = Populated("search-1", true);
    ASSERT_NE(book, nullptr);
    const auto search = [&](const QString& key) {
        std::vector<vexa::Contact*> found;
        EXPECT_TRUE(SearchContacts(*book, key, {}, [&](vexa::Contact* c) { found.push_back(c); }));
        return Names(found);
    };
    EXPECT_EQ(search("138"), (QStringList{"alice", "张三"}));
    EXPECT_EQ(search("To"), QStringList{"Tom"}); // no number, found by its name
    EXPECT_EQ(search("tOM"), QStringList{"Tom"}); // a Latin key ignores case
    EXPECT_EQ(search("李"), QStringList{"李四"});
    EXPECT_EQ(search("li"), (QStringList{"alice", "李四"}));
    EXPECT_EQ(search("张三138"), QStringList{"张三"}); // name and the start of its number
    EXPECT_EQ(search("zs"), QStringList{"张三"});
    EXPECT_EQ(search("alice010"), QStringList{"alice"});
    EXPECT_EQ(search(""), QStringList{});
    int asked = 0;
    EXPECT_FALSE(SearchContacts(*book, "1", [&asked] { return ++asked > 2; }, [](vexa::Contact*) {}));

    // A new key restarts the walk and only its results are reported; cancel and destruction end quietly.
    std::mutex lock;
    std::map<int, QStringList> found;
    std::map<int, bool> finished;
    auto worker = std::make_unique<CContactSearchWorker>(
        [book](const std::function<void(vexa::ContactBook&)>& run) { run(*book); },
        [&](int generation, std::vector<vexa::Contact*> batch) {
            std::lock_guard<std::mutex> guard(lock);
            found[generation] += Names(batch);
        },
        [&](int generation, bool complete) {
            std::lock_guard<std::mutex> guard(lock);
            finished[generation] = complete;
        });
    const int first = worker->Start("1");
    const int second = worker->Start("李");
    EXPECT_GT(second, first);
    ASSERT_TRUE(worker->WaitIdle(5000));
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_EQ(found[second], QStringList{"李四"});
        EXPECT_TRUE(finished[second]);
        // The first walk either finished before the second key or stopped; never both keys mixed.
        if (finished.contains(first) && finished[first]) {
            EXPECT_EQ(found[first], (QStringList{"alice", "李四", "张三"})); // the book's display order
        }
    }
    worker->Start("1");
    worker->Cancel();
    EXPECT_TRUE(worker->WaitIdle(0));
    worker.reset(); // joins the thread without hanging

    // Pointers of an earlier load are no longer held; ids taken before a reload name the new objects.
    const std::vector<vexa::Contact*> before = ContactsOfNode(*book, NodeAll);
    ASSERT_EQ(before.size(), 5U);
    EXPECT_EQ(StillInBook(*book, before), before);
    EXPECT_EQ(StillInBook(*book, {before[3], nullptr, before[1]}), (std::vector<vexa::Contact*>{before[3], before[1]}));
    const std::vector<std::int64_t> ids = {before[4]->GetId(), 987654, before[0]->GetId()};
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
    const std::vector<vexa::Contact*> byId = ContactsWithIds(*book, ids);
    EXPECT_EQ(Names(byId), (QStringList{"9号技师", "alice"})); // the order asked for; the unknown id skipped
    EXPECT_EQ(StillInBook(*book, byId), byId);
}


} // namespace
