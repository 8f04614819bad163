// Events, the lock, threads and the tick count: the primitives that the
// dialog and its workers hand-shake with.
#include "Event.h"
#include "Lock.h"
#include "TestRegistry.h"
#include "Thread.h"
#include "Tick.h"

#include <atomic>
#include <thread>

namespace {

// Long enough never to expire on a loaded machine, short enough that a lost
// wake-up fails the test instead of hanging it.
constexpr uint32_t kGenerousMs = 5000;

} // namespace

class TestSynchronisation : public QObject {
    Q_OBJECT

  private slots:
    void events_data();
    void events();
    void lockAndThreads();
};

// "am" describes two events, auto or manual reset, "AM" when set; each row
// waits for either of them.
void TestSynchronisation::events_data() {
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("expected"); // of the wait
    QTest::addColumn<QString>("after");
    QTest::newRow("neither set: time-out") << "am" << -1 << "am";
    QTest::newRow("first auto set: taken") << "Am" << 0 << "am";
    QTest::newRow("first manual set: stays") << "Ma" << 0 << "Ma";
    QTest::newRow("second auto set: taken") << "mA" << 1 << "ma";
    QTest::newRow("second manual set: stays") << "aM" << 1 << "aM";
    // The question answered while a stop is pending: the first wins, and the
    // second (auto reset) must keep its signal for a later wait.
    QTest::newRow("both auto set: first wins, second kept") << "AA" << 0 << "aA";
}

void TestSynchronisation::events() {
    QFETCH(QString, events);
    QFETCH(int, expected);
    QFETCH(QString, after);
    const bool bFirstManual = events[0].toLower() == u'm';
    const bool bSecondManual = events[1].toLower() == u'm';
    CPlatformEvent clFirst(bFirstManual, events[0].isUpper());
    CPlatformEvent clSecond(bSecondManual, events[1].isUpper());
    QCOMPARE(WaitForEitherEvent(clFirst, clSecond, 30), expected);
    const auto fnState = [](const CPlatformEvent &clEvent, QChar c) {
        return clEvent.IsSet() ? c.toUpper() : c.toLower();
    };
    QCOMPARE(QString(fnState(clFirst, events[0])) + fnState(clSecond, events[1]), after);
}

// The lock excludes. A thread object runs one thread at a time; Join waits at
// most as long as asked; the destructor waits for a thread still running. A
// sleep is never shorter than asked, by a clock that never goes back.
void TestSynchronisation::lockAndThreads() {
    CPlatformLock clLock;
    long lCounter = 0; // deliberately not atomic: only the lock protects it
    auto Worker = [&] {
        for (int i = 0; i < 200000; ++i) {
            CPlatformLockGuard clGuard(clLock);
            lCounter = lCounter + 1;
        }
    };
    std::thread clFirst(Worker), clSecond(Worker);
    clFirst.join();
    clSecond.join();
    QCOMPARE(lCounter, 400000L);
    QVERIFY(clLock.TryAcquire() && !clLock.TryAcquire() && clLock.Release());

    CPlatformEvent clAuto(false, true), clManual(true, true);
    QVERIFY(clAuto.Wait(0) && !clAuto.Wait(30) && clManual.Wait(0) && clManual.Wait(0));
    clManual.Reset();
    QVERIFY(!clManual.IsSet() && !clManual.Wait(0));

    static CPlatformEvent s_clGate(true, false);
    const auto fnWait = +[](void *p) {
        s_clGate.Wait();
        static_cast<std::atomic<int> *>(p)->fetch_add(1);
    };
    std::atomic<int> lReached{0}, lScoped{0};
    CPlatformThread clThread;
    QVERIFY(clThread.Join(0) && !clThread.IsRunning() && !clThread.Start(nullptr, nullptr));
    QVERIFY(clThread.Start(fnWait, &lReached) && clThread.IsRunning());
    QVERIFY(!clThread.Join(30) && !clThread.Join(0) && !clThread.Start(fnWait, &lReached));
    s_clGate.Set();
    QVERIFY(clThread.Join(kGenerousMs) && clThread.Join(0) && !clThread.IsRunning());
    QCOMPARE(lReached.load(), 1);
    s_clGate.Reset();
    {
        CPlatformThread clInScope;
        QVERIFY(clInScope.Start(fnWait, &lScoped) && clThread.Start(fnWait, &lReached));
        QVERIFY(!clThread.Join(30));
        s_clGate.Set();
    }
    QCOMPARE(lScoped.load(), 1);
    QVERIFY(clThread.Join(kGenerousMs));
    QCOMPARE(lReached.load(), 2);
    const uint64_t lBefore = PlatformTickCount64();
    PlatformSleep(20);
    QVERIFY(PlatformTickCount64() >= lBefore + 20);
}

BVF_TEST_MAIN(TestSynchronisation)
#include "test_synchronisation.moc"
