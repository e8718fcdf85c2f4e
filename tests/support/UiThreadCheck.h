#pragma once
// The window tests' watch over the UI thread: the program must never call the phone there, where a
// slow phone would freeze the window. VEXA_QTEST_MAIN replaces QTEST_MAIN. What the program does
// while the UI thread delivers an event (a click, a key, a page shown, a timer, a posted message, a
// modal dialog's loop) is the program's own; a test function's direct calls (seeding the phone,
// reading it back) are the test's. A test's call made from inside an event (a timer answering a
// dialog) is marked with TestsOwnPhoneCalls; a direct call into the program standing for a user's
// action can be marked with ProgramActs. The program fails when any test function let a phone
// operation through on the UI thread, naming it with the first call's stack.

#include "bridge/sim/SimPhones.h"

#include <QApplication>
#include <QTest>
#include <QThread>

#include <execinfo.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace vexa::test {

struct UiThreadWatch {
    int events = 0;                                           // depth of event deliveries on the UI thread
    int own = 0;                                              // depth of TestsOwnPhoneCalls scopes
    int acts = 0;                                             // depth of ProgramActs scopes
    std::map<std::string, std::pair<int, std::string>> calls; // test function: count, first stack
};

inline UiThreadWatch& Watch() {
    static UiThreadWatch watch;
    return watch;
}

// Asked by the simulated phone for each operation on the UI thread.
inline bool CountsAsProgramCall() {
    UiThreadWatch& watch = Watch();
    if (watch.own > 0 || (watch.events == 0 && watch.acts == 0)) {
        return false;
    }
    const char* function = QTest::currentTestFunction();
    auto& [count, stack] = watch.calls[function != nullptr ? function : "(outside the test functions)"];
    if (count++ == 0) {
        void* frames[24];
        const int depth = backtrace(frames, 24);
        if (char** names = backtrace_symbols(frames, depth)) {
            for (int i = 1; i < depth; ++i) {
                stack += std::string("\n    ") + names[i];
            }
            std::free(names);
        }
    }
    return true;
}

class TestsOwnPhoneCalls {
public:
    TestsOwnPhoneCalls() { ++Watch().own; }
    ~TestsOwnPhoneCalls() { --Watch().own; }
    TestsOwnPhoneCalls(const TestsOwnPhoneCalls&) = delete;
    TestsOwnPhoneCalls& operator=(const TestsOwnPhoneCalls&) = delete;
};

class ProgramActs {
public:
    ProgramActs() : m_own(std::exchange(Watch().own, 0)) { ++Watch().acts; }
    ~ProgramActs() {
        --Watch().acts;
        Watch().own = m_own;
    }
    ProgramActs(const ProgramActs&) = delete;
    ProgramActs& operator=(const ProgramActs&) = delete;

private:
    int m_own;
};

// What act returns, its phone calls on the UI thread counted as the program's: for a test that
// calls into the program directly where the user would click.
template <class Act>
decltype(auto) AsProgram(Act&& act) {
    const ProgramActs acts;
    return act();
}

class CCheckedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread()) {
            return QApplication::notify(receiver, event);
        }
        // Whatever the event makes the program do is its own, even inside a test's marked call.
        UiThreadWatch& watch = Watch();
        const int own = std::exchange(watch.own, 0);
        ++watch.events;
        const bool done = QApplication::notify(receiver, event);
        --watch.events;
        watch.own = own;
        return done;
    }
};

inline int ExecChecked(QObject* test, int argc, char** argv) {
    vexa::sim::SetUiThreadOperationFilter(&CountsAsProgramCall);
    int result = QTest::qExec(test, argc, argv);
    for (const auto& [function, call] : Watch().calls) {
        std::fprintf(stderr, "FAIL!  : %s made %d phone operation(s) on the UI thread, first at:%s\n", function.c_str(),
                     call.first, call.second.c_str());
        result = result == 0 ? 1 : result;
    }
    return result;
}

} // namespace vexa::test

#define VEXA_QTEST_MAIN(TestObject)                                                                                    \
    int main(int argc, char** argv) {                                                                                  \
        vexa::test::CCheckedApplication app(argc, argv);                                                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return vexa::test::ExecChecked(&test, argc, argv);                                                             \
    }
