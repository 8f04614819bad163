// The dialog with the stand-in protocol component in the folder it searches:
// the synchronisation check box appears for a recording whose recorder runs
// behind the network, moves the shown times, and a split with it on writes
// parts whose names and times follow the network.
#include "SampleGenerator.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "UiTestKit.h"

#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimeZone>

using namespace UiTestKit;
using D = CDlgSplitter;

class TestDialogProtocolTime : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void checkBoxShiftsTimesAndParts();
    void withoutComponentNothingIsOffered();

  private:
    // A copy of the 10-s-behind recording in its own folder.
    QString Source(const QString &clstrFolder) const;
    // Splits the loaded source into one-minute parts with the Start button.
    static bool SplitByMinute(CTestDialog &clDialog, int lThreadEnds);
    static int64_t Shown(const CTestDialog &clDialog, int lId) {
        return clDialog.Get<QDateTimeEdit>(lId)->dateTime().toSecsSinceEpoch();
    }

    QTemporaryDir m_clDir;
    QString m_clstrRecording;
    QString m_clstrComponents;
    QString m_clstrNoComponents;
};

void TestDialogProtocolTime::initTestCase() {
    QVERIFY(m_clDir.isValid());
    StructSampleSettings clSample;
    clSample.lStartTime = WorkerTestKit::At("10:20:00");
    clSample.lMinutes = 3;
    clSample.lRate = 4;
    clSample.bNetworkTime = true;
    clSample.lNetworkOffset = 10;
    m_clstrRecording = m_clDir.filePath(QStringLiteral("recording.bvf"));
    QCOMPARE(WriteSampleRecording(ToWide(m_clstrRecording).c_str(), clSample).enResult, FILE_OK);
    m_clstrComponents = m_clDir.filePath(QStringLiteral("app"));
    m_clstrNoComponents = m_clDir.filePath(QStringLiteral("bare"));
    QVERIFY(QDir().mkpath(m_clstrComponents + QStringLiteral("/plugins")));
    QVERIFY(QDir().mkpath(m_clstrNoComponents));
    QVERIFY(QFile::copy(QStringLiteral(BVF_STANDIN_PATH),
                        m_clstrComponents + QStringLiteral("/plugins/libStandInProto5V.so")));
}

QString TestDialogProtocolTime::Source(const QString &clstrFolder) const {
    const QString clstrPath = m_clDir.filePath(clstrFolder + QStringLiteral("/cell.bvf"));
    if (!QDir().mkpath(QFileInfo(clstrPath).path()) || !QFile::copy(m_clstrRecording, clstrPath))
        return QString();
    return clstrPath;
}

bool TestDialogProtocolTime::SplitByMinute(CTestDialog &clDialog, int lThreadEnds) {
    clDialog.Click(D::ByTimeRadio);
    clDialog.SetControlValue(D::SchemeCombo, 2);
    clDialog.SetControlValue(D::UtcCheck, 1);
    clDialog.Get<QTimeEdit>(D::LengthEdit)->setTime(QTime(0, 1));
    clDialog.Click(D::SplitStartStop);
    return clDialog.WaitForThreadEnds(lThreadEnds);
}

void TestDialogProtocolTime::checkBoxShiftsTimesAndParts() {
    const QString clstrPlain = Source(QStringLiteral("plain"));
    const QString clstrSynced = Source(QStringLiteral("synced"));
    QVERIFY(!clstrPlain.isEmpty() && !clstrSynced.isEmpty());
    const int64_t lFirst = WorkerTestKit::At("10:20:00");
    const int64_t lLast = WorkerTestKit::At("10:22:59");

    auto pDialog = std::make_unique<CTestDialog>();
    CTestDialog &clDialog = *pDialog;
    clDialog.SetProtoComponentFolder(m_clstrComponents);
    QVERIFY(clDialog.Open());
    QCOMPARE(clDialog.ProtoComponents().Count(), 1u);
    QVERIFY(clDialog.Hidden(D::SyncProtoCheck));

    clDialog.Choose(clstrPlain);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clDialog.SourceInfo().offset, int64_t(10));
    QVERIFY(!clDialog.Hidden(D::SyncProtoCheck));
    QVERIFY(!clDialog.Checked(D::SyncProtoCheck));
    QCOMPARE(Shown(clDialog, D::FromEdit), lFirst);
    QCOMPARE(Shown(clDialog, D::ToEdit), lLast);

    // On: the source's span and the period move by the offset; off: back.
    clDialog.Click(D::SyncProtoCheck);
    QVERIFY(clDialog.SourceInfo().synchronised);
    QCOMPARE(clDialog.SourceInfo().first.toSecsSinceEpoch(), lFirst + 10);
    QCOMPARE(clDialog.SourceInfo().last.toSecsSinceEpoch(), lLast + 10);
    QCOMPARE(Shown(clDialog, D::FromEdit), lFirst + 10);
    QCOMPARE(Shown(clDialog, D::ToEdit), lLast + 10);
    // The clamp follows the shifted span.
    clDialog.Click(D::ByPeriodRadio);
    clDialog.Get<QDateTimeEdit>(D::FromEdit)
        ->setDateTime(QDateTime::fromSecsSinceEpoch(lFirst, QTimeZone::utc()));
    QCOMPARE(Shown(clDialog, D::FromEdit), lFirst + 10);
    clDialog.Click(D::SyncProtoCheck);
    QVERIFY(!clDialog.SourceInfo().synchronised);
    QCOMPARE(clDialog.SourceInfo().first.toSecsSinceEpoch(), lFirst);
    QCOMPARE(Shown(clDialog, D::FromEdit), lFirst);
    QCOMPARE(Shown(clDialog, D::ToEdit), lLast);

    QVERIFY(SplitByMinute(clDialog, 2));
    clDialog.Choose(clstrSynced);
    QVERIFY(clDialog.WaitForThreadEnds(3));
    clDialog.Click(D::SyncProtoCheck);
    QVERIFY(SplitByMinute(clDialog, 4));

    const QStringList clPlain =
        WorkerTestKit::DescribeParts(QFileInfo(clstrPlain).path(), {QStringLiteral("cell.bvf")});
    const QStringList clSynced =
        WorkerTestKit::DescribeParts(QFileInfo(clstrSynced).path(), {QStringLiteral("cell.bvf")});
    QCOMPARE(clPlain.size(), 3);
    QVERIFY2(clPlain.first().startsWith(QStringLiteral("cell__01__2024-03-07_10.20.00.bvf: ")),
             qPrintable(clPlain.first()));
    QCOMPARE(clSynced.size(), clPlain.size());
    for (int i = 0; i < clPlain.size(); ++i)
        QCOMPARE(clSynced[i], WorkerTestKit::ShiftedDescription(clPlain[i], 10));

    // A source loaded while the box is on is shown moved as well, so that a
    // period chosen on the shown times matches the shifted records.
    clDialog.Choose(clstrPlain);
    QVERIFY(clDialog.WaitForThreadEnds(5));
    QVERIFY(clDialog.Checked(D::SyncProtoCheck));
    QVERIFY(clDialog.SourceInfo().synchronised);
    QCOMPARE(Shown(clDialog, D::FromEdit), lFirst + 10);
    QCOMPARE(Shown(clDialog, D::ToEdit), lLast + 10);

    // Closing unloads the component; so does destruction.
    QVERIFY(clDialog.close());
    QCOMPARE(clDialog.ProtoComponents().Count(), 0u);
    pDialog.reset();
}

void TestDialogProtocolTime::withoutComponentNothingIsOffered() {
    const QString clstrSource = Source(QStringLiteral("bare-split"));
    QVERIFY(!clstrSource.isEmpty());
    CTestDialog clDialog;
    clDialog.SetProtoComponentFolder(m_clstrNoComponents);
    QVERIFY(clDialog.Open());
    QCOMPARE(clDialog.ProtoComponents().Count(), 0u);
    clDialog.Choose(clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clDialog.SourceInfo().offset, int64_t(0));
    QVERIFY(clDialog.Hidden(D::SyncProtoCheck));
    QVERIFY(SplitByMinute(clDialog, 2));
    QCOMPARE(
        WorkerTestKit::FilesIn(QFileInfo(clstrSource).path()),
        (QStringList{"cell.bvf", "cell__01__2024-03-07_10.20.00.bvf",
                     "cell__02__2024-03-07_10.21.00.bvf", "cell__03__2024-03-07_10.22.00.bvf"}));
    QVERIFY(clDialog.prompts->Kinds() == QStringList{"file:Choose split file"});
}

BVF_TEST_MAIN(TestDialogProtocolTime)
#include "test_dialog_protocol_time.moc"
