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
constexpr uint32_t kSettleMs = 100;

struct StructGateArgument {
    CPlatformEvent *pGate;
    std::atomic<int> *pReached;
};

void WaitAtGate(void *pArgument) {
    auto *pGate = static_cast<StructGateArgument *>(pArgument);
    pGate->pGate->Wait();
    pGate->pReached->fetch_add(1);
}

} // namespace

class TestSynchronisation : public QObject {
    Q_OBJECT

  private slots:
    void autoResetReleasesOneWaiterPerSet();
    void manualResetReleasesAllAndStaysSet();
    void waitTimesOutWhenNotSet();
    void waitForEitherEvent_data();
    void waitForEitherEvent();
    void waitForEitherEventWakesOnLaterSet();
    void pingPongLosesNoWakeUp();
    void lockExcludesAndKeepsItsMaximum();
    void threadJoinWithTimeOut();
    void tickCountAndSleep();
};

void TestSynchronisation::autoResetReleasesOneWaiterPerSet() {
    CPlatformEvent clEvent(false, false);
    std::atomic<int> lReleased{0};
    auto Waiter = [&] {
        if (clEvent.Wait(kGenerousMs))
            lReleased.fetch_add(1);
    };
    std::thread clFirst(Waiter);
    std::thread clSecond(Waiter);

    clEvent.Set();
    QTRY_COMPARE_WITH_TIMEOUT(lReleased.load(), 1, int(kGenerousMs));
    QTest::qWait(int(kSettleMs));
    QCOMPARE(lReleased.load(), 1);
    QVERIFY(!clEvent.IsSet()); // the released waiter took it

    clEvent.Set();
    clFirst.join();
    clSecond.join();
    QCOMPARE(lReleased.load(), 2);
    QVERIFY(!clEvent.IsSet());

    // Set without a waiter keeps the event for exactly one later Wait.
    clEvent.Set();
    QVERIFY(clEvent.IsSet());
    QVERIFY(clEvent.Wait(0));
    QVERIFY(!clEvent.Wait(0));

    // Initially set, and Reset clears it.
    CPlatformEvent clInitiallySet(false, true);
    QVERIFY(clInitiallySet.IsSet());
    clInitiallySet.Reset();
    QVERIFY(!clInitiallySet.Wait(0));
}

void TestSynchronisation::manualResetReleasesAllAndStaysSet() {
    CPlatformEvent clEvent(true, false);
    std::atomic<int> lReleased{0};
    std::thread aWaiters[3];
    for (auto &clWaiter : aWaiters) {
        clWaiter = std::thread([&] {
            if (clEvent.Wait(kGenerousMs))
                lReleased.fetch_add(1);
        });
    }
    clEvent.Set();
    for (auto &clWaiter : aWaiters)
        clWaiter.join();
    QCOMPARE(lReleased.load(), 3);

    QVERIFY(clEvent.IsSet());
    QVERIFY(clEvent.Wait(0));
    QVERIFY(clEvent.Wait(10));
    QVERIFY(clEvent.IsSet());

    clEvent.Reset();
    QVERIFY(!clEvent.IsSet());
    QVERIFY(!clEvent.Wait(0));

    CPlatformEvent clInitiallySet(true, true);
    QVERIFY(clInitiallySet.Wait(0));
    QVERIFY(clInitiallySet.Wait(0));
}

void TestSynchronisation::waitTimesOutWhenNotSet() {
    CPlatformEvent clAuto(false, false);
    CPlatformEvent clManual(true, false);
    QVERIFY(!clAuto.Wait(0));
    QVERIFY(!clAuto.Wait(30));
    QVERIFY(!clManual.Wait(30));
    QVERIFY(!clAuto.IsSet());
    QVERIFY(!clManual.IsSet());
}

void TestSynchronisation::waitForEitherEvent_data() {
    QTest::addColumn<bool>("bFirstManual");
    QTest::addColumn<bool>("bFirstSet");
    QTest::addColumn<bool>("bSecondManual");
    QTest::addColumn<bool>("bSecondSet");
    QTest::addColumn<int>("lExpected");
    QTest::addColumn<bool>("bFirstSetAfter");
    QTest::addColumn<bool>("bSecondSetAfter");

    QTest::newRow("neither set: time-out")
        << false << false << true << false << -1 << false << false;
    QTest::newRow("first auto set: consumed")
        << false << true << true << false << 0 << false << false;
    QTest::newRow("first manual set: stays")
        << true << true << false << false << 0 << true << false;
    QTest::newRow("second auto set: consumed")
        << true << false << false << true << 1 << false << false;
    QTest::newRow("second manual set: stays")
        << false << false << true << true << 1 << false << true;
    // The question answered while a stop is pending: the first wins, and the
    // second (auto reset) must keep its signal for a later wait.
    QTest::newRow("both auto set: first wins, second kept")
        << false << true << false << true << 0 << false << true;
    QTest::newRow("both manual set: first wins")
        << true << true << true << true << 0 << true << true;
}

void TestSynchronisation::waitForEitherEvent() {
    QFETCH(bool, bFirstManual);
    QFETCH(bool, bFirstSet);
    QFETCH(bool, bSecondManual);
    QFETCH(bool, bSecondSet);
    QFETCH(int, lExpected);
    QFETCH(bool, bFirstSetAfter);
    QFETCH(bool, bSecondSetAfter);

    CPlatformEvent clFirst(bFirstManual, bFirstSet);
    CPlatformEvent clSecond(bSecondManual, bSecondSet);
    QCOMPARE(WaitForEitherEvent(clFirst, clSecond, 30), lExpected);
    QCOMPARE(clFirst.IsSet(), bFirstSetAfter);
    QCOMPARE(clSecond.IsSet(), bSecondSetAfter);
}

void TestSynchronisation::waitForEitherEventWakesOnLaterSet() {
    // The waiter is already asleep when the event comes; each of the two
    // must wake it, and an auto-reset event is taken by that wake-up.
    for (int lWhich = 0; lWhich < 2; ++lWhich) {
        CPlatformEvent clAnswer(false, false);
        CPlatformEvent clStop(true, false);
        std::atomic<int> lResult{-2};
        std::thread clWaiter(
            [&] { lResult.store(WaitForEitherEvent(clAnswer, clStop, kGenerousMs)); });
        QTest::qWait(int(kSettleMs));
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

    // A second thread blocks in Acquire until the lock is released.
    std::atomic<bool> bAcquired{false};
    std::thread clBlocked([&] {
        clLock.Acquire();
        bAcquired.store(true);
    });
    QTest::qWait(int(kSettleMs));
    QVERIFY(!bAcquired.load());
    QVERIFY(clLock.Release());
    clBlocked.join();
    QVERIFY(bAcquired.load());

    // From 0 the count can be raised to 100 and no further.
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
    StructGateArgument clArgument{&clGate, &lReached};

    CPlatformThread clThread;
    QVERIFY(clThread.Join(0)); // nothing started: nothing to wait for
    QVERIFY(!clThread.IsRunning());
    QVERIFY(!clThread.Start(nullptr, nullptr));

    QVERIFY(clThread.Start(&WaitAtGate, &clArgument));
    QVERIFY(clThread.IsRunning());
    QVERIFY(!clThread.Join(30));
    QVERIFY(clThread.IsRunning());
    QVERIFY(!clThread.Join(0));
    QVERIFY(!clThread.Start(&WaitAtGate, &clArgument)); // one at a time

    clGate.Set();
    QVERIFY(clThread.Join(kGenerousMs));
    QCOMPARE(lReached.load(), 1);
    QVERIFY(!clThread.IsRunning());
    QVERIFY(clThread.Join(0));

    // The object runs a second thread after the first has ended, and its
    // destructor waits for a thread that is still running.
    clGate.Reset();
    std::atomic<int> lScopedReached{0};
    StructGateArgument clScopedArgument{&clGate, &lScopedReached};
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
    const uint64_t lAfter = PlatformTickCount64();
    // A sleep is never shorter than asked; the clock never goes back.
    QVERIFY(lAfter >= lBefore + 20);
}

BVF_TEST_MAIN(TestSynchronisation)
#include "test_synchronisation.moc"
