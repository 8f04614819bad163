// Events, the lock, threads and the tick count: the primitives that the
// dialog and its workers hand-shake with.
#include "Event.h"
#include "Lock.h"
#include "TestRegistry.h"
#include "Thread.h"
#include "Tick.h"

#include <QTest>
#include <atomic>
#include <thread>

namespace {

// Long enough never to expire on a loaded machine, short enough that a lost
// wake-up fails the test instead of hanging it.
constexpr uint32_t kGenerousMs = 5000;
// How long a waiter that must stay blocked is given to (wrongly) run.
constexpr int kSettleMs = 100;

struct StructGate {
    CPlatformEvent *pGate;
    std::atomic<int> *pReached;
};

void WaitAtGate(void *pArgument) {
    auto *pGate = static_cast<StructGate *>(pArgument);
    pGate->pGate->Wait();
    pGate->pReached->fetch_add(1);
}

} // namespace

class TestSynchronisation : public QObject {
    Q_OBJECT

  private slots:
    void eventReleasesWaiters_data();
    void eventReleasesWaiters();
    void waitForEitherEvent_data();
    void waitForEitherEvent();
    void pingPongLosesNoWakeUp();
    void lockExcludesAndKeepsItsMaximum();
    void threadJoinWithTimeOut();
    void tickCountAndSleep();
};

void TestSynchronisation::eventReleasesWaiters_data() {
    QTest::addColumn<bool>("manual");
    QTest::addColumn<int>("releasedBySet"); // of three sleeping waiters
    QTest::newRow("auto reset: one waiter per Set, then clear") << false << 1;
    QTest::newRow("manual reset: all waiters, stays set") << true << 3;
}

void TestSynchronisation::eventReleasesWaiters() {
    QFETCH(bool, manual);
    QFETCH(int, releasedBySet);
    CPlatformEvent clEvent(manual, false);
    QVERIFY(!clEvent.Wait(0));
    QVERIFY(!clEvent.Wait(30));
    QVERIFY(!clEvent.IsSet());
    std::atomic<int> lReleased{0};
    std::thread aWaiters[3];
    for (auto &clWaiter : aWaiters)
        clWaiter = std::thread([&] { lReleased += clEvent.Wait(kGenerousMs) ? 1 : 0; });
    QTest::qWait(kSettleMs);
    QCOMPARE(lReleased.load(), 0);
    clEvent.Set();
    QTRY_COMPARE_WITH_TIMEOUT(lReleased.load(), releasedBySet, int(kGenerousMs));
    QTest::qWait(kSettleMs);
    QCOMPARE(lReleased.load(), releasedBySet);
    QCOMPARE(clEvent.IsSet(), manual);
    while (lReleased.load() < 3) {
        const int lBefore = lReleased.load();
        clEvent.Set();
        QTRY_VERIFY_WITH_TIMEOUT(lReleased.load() > lBefore, int(kGenerousMs));
    }
    for (auto &clWaiter : aWaiters)
        clWaiter.join();
    // A Set without a waiter is kept for one later Wait (auto) or all (manual).
    clEvent.Reset();
    clEvent.Set();
    QVERIFY(clEvent.IsSet());
    QVERIFY(clEvent.Wait(0));
    QCOMPARE(clEvent.Wait(0), manual);
    clEvent.Reset();
    QVERIFY(!clEvent.Wait(0));
    CPlatformEvent clInitiallySet(manual, true);
    QVERIFY(clInitiallySet.Wait(0));
    QCOMPARE(clInitiallySet.IsSet(), manual);
}

// "am" describes two events, auto or manual reset, "AM" when set.
void TestSynchronisation::waitForEitherEvent_data() {
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("expected"); // 2: neither is set; each is set later, in turn
    QTest::addColumn<QString>("after");
    auto row = [](const char *pRow, const char *pEvents, int lExpected, const char *pAfter) {
        QTest::newRow(pRow) << pEvents << lExpected << pAfter;
    };
    row("neither set: time-out", "am", -1, "am");
    row("first auto set: taken", "Am", 0, "am");
    row("first manual set: stays", "Ma", 0, "Ma");
    row("second auto set: taken", "mA", 1, "ma");
    row("second manual set: stays", "aM", 1, "aM");
    // The question answered while a stop is pending: the first wins, and the
    // second (auto reset) must keep its signal for a later wait.
    row("both auto set: first wins, second kept", "AA", 0, "aA");
    row("both manual set: first wins", "MM", 0, "MM");
    row("asleep when the event comes", "am", 2, "");
}

void TestSynchronisation::waitForEitherEvent() {
    QFETCH(QString, events);
    QFETCH(int, expected);
    QFETCH(QString, after);
    const bool bFirstManual = events[0].toLower() == u'm';
    const bool bSecondManual = events[1].toLower() == u'm';
    if (expected != 2) {
        CPlatformEvent clFirst(bFirstManual, events[0].isUpper());
        CPlatformEvent clSecond(bSecondManual, events[1].isUpper());
        QCOMPARE(WaitForEitherEvent(clFirst, clSecond, 30), expected);
        const auto fnState = [](const CPlatformEvent &clEvent, QChar cKind) {
            return clEvent.IsSet() ? cKind.toUpper() : cKind.toLower();
        };
        QCOMPARE(QString(fnState(clFirst, events[0])) + fnState(clSecond, events[1]), after);
        return;
    }
    for (int lWhich = 0; lWhich < 2; ++lWhich) {
        CPlatformEvent clAnswer(bFirstManual, false);
        CPlatformEvent clStop(bSecondManual, false);
        std::atomic<int> lResult{-2};
        std::thread clWaiter(
            [&] { lResult.store(WaitForEitherEvent(clAnswer, clStop, kGenerousMs)); });
        QTest::qWait(kSettleMs);
        QCOMPARE(lResult.load(), -2);
        (lWhich == 0 ? clAnswer : clStop).Set();
        clWaiter.join();
        QCOMPARE(lResult.load(), lWhich);
        QVERIFY(!clAnswer.IsSet());
        QCOMPARE(clStop.IsSet(), lWhich == 1);
    }
}

void TestSynchronisation::pingPongLosesNoWakeUp() {
    // Two threads hand a turn back and forth through auto-reset events; a
    // single lost wake-up stalls the exchange until the time-out.
    constexpr int kRounds = 20000;
    CPlatformEvent clPing(false, false);
    CPlatformEvent clPong(false, false);
    CPlatformEvent clStop(true, false);
    std::atomic<int> lFailures{0};
    std::thread clPartner([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (WaitForEitherEvent(clPing, clStop, kGenerousMs) != 0) {
                lFailures.fetch_add(1);
                return;
            }
            clPong.Set();
        }
    });
    int lCompleted = 0;
    for (; lCompleted < kRounds; ++lCompleted) {
        clPing.Set();
        if (!clPong.Wait(kGenerousMs))
            break;
    }
    clStop.Set();
    clPartner.join();
    QCOMPARE(lCompleted, kRounds);
    QCOMPARE(lFailures.load(), 0);
}

void TestSynchronisation::lockExcludesAndKeepsItsMaximum() {
    CPlatformLock clLock;
    constexpr int kIncrements = 200000;
    long lCounter = 0; // deliberately not atomic: only the lock protects it
    auto Worker = [&] {
        for (int i = 0; i < kIncrements; ++i) {
            CPlatformLockGuard clGuard(clLock);
            lCounter = lCounter + 1;
        }
    };
    std::thread clFirst(Worker);
    std::thread clSecond(Worker);
    clFirst.join();
    clSecond.join();
    QCOMPARE(lCounter, 2L * kIncrements);

    // Count 1 after the guards: one take succeeds, the next does not.
    QVERIFY(clLock.TryAcquire());
    QVERIFY(!clLock.TryAcquire());
    std::atomic<bool> bAcquired{false};
    std::thread clBlocked([&] {
        clLock.Acquire();
        bAcquired.store(true);
    });
    QTest::qWait(kSettleMs);
    QVERIFY(!bAcquired.load());
    QVERIFY(clLock.Release()); // any thread may release
    clBlocked.join();
    QVERIFY(bAcquired.load());

    // From 0 the count can be raised to its maximum and no further.
    for (int i = 0; i < CPlatformLock::kMaximumCount; ++i)
        QVERIFY(clLock.Release());
    QVERIFY(!clLock.Release());
    int lTaken = 0;
    while (clLock.TryAcquire())
        ++lTaken;
    QCOMPARE(lTaken, CPlatformLock::kMaximumCount);
}

void TestSynchronisation::threadJoinWithTimeOut() {
    CPlatformEvent clGate(true, false);
    std::atomic<int> lReached{0};
    StructGate clArgument{&clGate, &lReached};
    CPlatformThread clThread;
    QVERIFY(clThread.Join(0)); // nothing started: nothing to wait for
    QVERIFY(!clThread.IsRunning());
    QVERIFY(!clThread.Start(nullptr, nullptr));
    QVERIFY(clThread.Start(&WaitAtGate, &clArgument));
    QVERIFY(clThread.IsRunning());
    QVERIFY(!clThread.Join(30));
    QVERIFY(!clThread.Join(0));
    QVERIFY(!clThread.Start(&WaitAtGate, &clArgument)); // one at a time
    clGate.Set();
    QVERIFY(clThread.Join(kGenerousMs));
    QVERIFY(clThread.Join(0));
    QCOMPARE(lReached.load(), 1);
    QVERIFY(!clThread.IsRunning());

    // A second thread after the first has ended; the destructor waits for a
    // thread that is still running.
    clGate.Reset();
    std::atomic<int> lScopedReached{0};
    StructGate clScopedArgument{&clGate, &lScopedReached};
    {
        CPlatformThread clScoped;
        QVERIFY(clScoped.Start(&WaitAtGate, &clScopedArgument));
        QVERIFY(clThread.Start(&WaitAtGate, &clArgument));
        QVERIFY(!clThread.Join(30));
        clGate.Set();
    }
    QCOMPARE(lScopedReached.load(), 1);
    QVERIFY(clThread.Join(kGenerousMs));
    QCOMPARE(lReached.load(), 2);
}

void TestSynchronisation::tickCountAndSleep() {
    const uint64_t lBefore = PlatformTickCount64();
    PlatformSleep(20);
    // A sleep is never shorter than asked; the clock never goes back.
    QVERIFY(PlatformTickCount64() >= lBefore + 20);
}

BVF_TEST_MAIN(TestSynchronisation)
#include "test_synchronisation.moc"
