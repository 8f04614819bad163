// The split tab's editors: carry and clamp of the period edits, the carry of
// the length edit, the size per part, the UTC display and the frequency
// correction.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QFileInfo>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>

using namespace UiTestKit;
using WorkerTestKit::At;
using D = CDlgSplitter;

class TestDialogEditors : public QObject {
    Q_OBJECT

  private slots:
    void periodCarry_data();
    void periodCarry();
    void periodSnapsIntoTheSource();
    void lengthCarry();
    void sizePerPart();
    void utcDisplayKeepsTheInstants();
    void frequencyCorrection();

  private:
    // Loads the records through the file dialog; the dialog shows UTC.
    bool Load(CTestDialog &clDialog, const QList<WorkerTestKit::RecordSpec> &clRecords);

    QTemporaryDir m_clDir;
    int m_lFiles = 0;
};

bool TestDialogEditors::Load(CTestDialog &clDialog,
                             const QList<WorkerTestKit::RecordSpec> &clRecords) {
    const QString clstrPath = m_clDir.filePath(QStringLiteral("source%1.bvf").arg(++m_lFiles));
    if (!WorkerTestKit::WriteRecording(clstrPath, clRecords) || !clDialog.Open())
        return false;
    const int lEnds = clDialog.threadEnds->count();
    clDialog.Choose(clstrPath);
    if (!clDialog.WaitForThreadEnds(lEnds + 1) || clDialog.SourceInfo().name != clstrPath)
        return false;
    clDialog.SetControlValue(D::UtcCheck, 1);
    return true;
}

namespace {

QList<WorkerTestKit::RecordSpec> Hourly(const char *pFrom, const char *pTo) {
    QList<WorkerTestKit::RecordSpec> clRecords;
    for (int64_t t = At(pFrom); t <= At(pTo); t += 3600)
        clRecords << WorkerTestKit::Tetra(t);
    return clRecords;
}

} // namespace

void TestDialogEditors::periodCarry_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("edit");
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("expected");

    const int lMinute = QDateTimeEdit::MinuteSection;
    QTest::newRow("minutes 59 to 00 at 10:59")
        << "2024-03-07 10:00:00"
        << "2024-03-07 14:00:00" << int(D::FromEdit) << lMinute << "2024-03-07 10:59:00" << 1
        << "2024-03-07 11:00:00";
    QTest::newRow("minutes 00 to 59 at 11:00")
        << "2024-03-07 10:00:00"
        << "2024-03-07 14:00:00" << int(D::FromEdit) << lMinute << "2024-03-07 11:00:00" << -1
        << "2024-03-07 10:59:00";
    QTest::newRow("To: minutes 59 to 00 at 12:59")
        << "2024-03-07 10:00:00"
        << "2024-03-07 14:00:00" << int(D::ToEdit) << lMinute << "2024-03-07 12:59:00" << 1
        << "2024-03-07 13:00:00";
    QTest::newRow("minutes within the hour: no carry")
        << "2024-03-07 10:00:00"
        << "2024-03-07 14:00:00" << int(D::FromEdit) << lMinute << "2024-03-07 10:30:00" << 1
        << "2024-03-07 10:31:00";
    QTest::newRow("seconds 59 to 00")
        << "2024-03-07 10:00:00"
        << "2024-03-07 14:00:00" << int(D::FromEdit) << int(QDateTimeEdit::SecondSection)
        << "2024-03-07 10:20:59" << 1 << "2024-03-07 10:21:00";
    QTest::newRow("hours 23 to 00")
        << "2024-03-06 20:00:00"
        << "2024-03-08 04:00:00" << int(D::FromEdit) << int(QDateTimeEdit::HourSection)
        << "2024-03-06 23:30:00" << 1 << "2024-03-07 00:30:00";
    QTest::newRow("hours 00 to 23")
        << "2024-03-06 20:00:00"
        << "2024-03-08 04:00:00" << int(D::ToEdit) << int(QDateTimeEdit::HourSection)
        << "2024-03-08 00:30:00" << -1 << "2024-03-07 23:30:00";
    QTest::newRow("day 31 to 1 on 2024-01-31")
        << "2024-01-20 00:00:00"
        << "2024-02-10 00:00:00" << int(D::FromEdit) << int(QDateTimeEdit::DaySection)
        << "2024-01-31 10:00:00" << 1 << "2024-02-01 10:00:00";
    QTest::newRow("day 31 to 1, clamped to the last record")
        << "2024-01-20 00:00:00"
        << "2024-01-31 20:00:00" << int(D::FromEdit) << int(QDateTimeEdit::DaySection)
        << "2024-01-31 10:00:00" << 1 << "2024-01-31 20:00:00";
    QTest::newRow("day 1 to 31") << "2024-01-20 00:00:00"
                                 << "2024-02-10 00:00:00" << int(D::ToEdit)
                                 << int(QDateTimeEdit::DaySection) << "2024-02-01 10:00:00" << -1
                                 << "2024-01-29 10:00:00";
    QTest::newRow("month 12 to 1")
        << "2023-12-01 00:00:00"
        << "2024-01-31 00:00:00" << int(D::FromEdit) << int(QDateTimeEdit::MonthSection)
        << "2023-12-15 00:00:00" << 1 << "2024-01-15 00:00:00";
}

void TestDialogEditors::periodCarry() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, edit);
    QFETCH(int, section);
    QFETCH(QString, start);
    QFETCH(int, steps);
    QFETCH(QString, expected);

    CTestDialog clDialog;
    QList<WorkerTestKit::RecordSpec> clRecords = Hourly(qPrintable(from), qPrintable(to));
    QVERIFY(Load(clDialog, clRecords));
    clDialog.Click(D::ByPeriodRadio);
    auto *pEdit = clDialog.Get<QDateTimeEdit>(edit);
    QVERIFY(pEdit->isEnabled());
    QCOMPARE(pEdit->timeSpec(), Qt::UTC);
    // A display with every section, so that each can be stepped.
    clDialog.SetControlText(edit, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    pEdit->setDateTime(Utc(qPrintable(start)));
    QCOMPARE(pEdit->dateTime(), Utc(qPrintable(start)));

    pEdit->setCurrentSection(QDateTimeEdit::Section(section));
    pEdit->stepBy(steps);
    QCOMPARE(pEdit->dateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), expected);
    // The other edit is untouched.
    const int lOther = edit == D::FromEdit ? D::ToEdit : D::FromEdit;
    QCOMPARE(clDialog.Get<QDateTimeEdit>(lOther)->dateTime(),
             edit == D::FromEdit ? clDialog.SourceInfo().last : clDialog.SourceInfo().first);
}

void TestDialogEditors::periodSnapsIntoTheSource() {
    CTestDialog clDialog;
    QVERIFY(Load(clDialog, TenMinuteRecords()));
    auto *pFrom = clDialog.Get<QDateTimeEdit>(D::FromEdit);
    auto *pTo = clDialog.Get<QDateTimeEdit>(D::ToEdit);
    // The scan's span is taken into the edits.
    QCOMPARE(pFrom->dateTime(), Utc("10:20:00"));
    QCOMPARE(pTo->dateTime(), Utc("13:10:00"));

    clDialog.Click(D::ByPeriodRadio);
    pFrom->setDateTime(Utc("09:45:00"));
    QCOMPARE(pFrom->dateTime(), Utc("10:20:00"));
    pTo->setDateTime(Utc("2024-03-08 00:00:00"));
    QCOMPARE(pTo->dateTime(), Utc("13:10:00"));
    pFrom->setDateTime(Utc("11:11:00"));
    QCOMPARE(pFrom->dateTime(), Utc("11:11:00"));
    // Typed in: the same rule.
    pTo->setFocus();
    pTo->setCurrentSection(QDateTimeEdit::HourSection);
    pTo->stepBy(-5);
    QCOMPARE(pTo->dateTime(), Utc("10:20:00"));
}

void TestDialogEditors::lengthCarry() {
    CTestDialog clDialog;
    QVERIFY(Load(clDialog, TenMinuteRecords()));
    auto *pLength = clDialog.Get<QTimeEdit>(D::LengthEdit);
    QVERIFY(pLength->isEnabled());
    clDialog.SetControlText(D::LengthEdit, QStringLiteral("hh:mm:ss"));
    pLength->setTime(QTime(0, 59));
    pLength->setCurrentSection(QDateTimeEdit::MinuteSection);
    pLength->stepBy(1);
    QCOMPARE(pLength->time(), QTime(1, 0));
    pLength->stepBy(-1);
    QCOMPARE(pLength->time(), QTime(0, 59));
    pLength->setTime(QTime(1, 30));
    pLength->stepBy(1);
    QCOMPARE(pLength->time(), QTime(1, 31));

    pLength->setTime(QTime(2, 10, 59));
    pLength->setCurrentSection(QDateTimeEdit::SecondSection);
    pLength->stepBy(1);
    QCOMPARE(pLength->time(), QTime(2, 11, 0));
    pLength->stepBy(-1);
    QCOMPARE(pLength->time(), QTime(2, 10, 59));

    // The hours wrap without carry; 00:00 reads as a whole day.
    pLength->setCurrentSection(QDateTimeEdit::HourSection);
    pLength->setTime(QTime(23, 0));
    pLength->stepBy(1);
    QCOMPARE(pLength->time(), QTime(0, 0));
    QCOMPARE(pLength->text(), QStringLiteral("24:00"));
}

void TestDialogEditors::sizePerPart() {
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    // Nothing loaded: no estimate.
    clDialog.Button_Splitter_NumberChanged(2);
    QCOMPARE(clDialog.ControlText(D::SizeLabel), QString());

    clDialog.SetControlValue(D::NumberSpin, 5);
    QVERIFY(Load(clDialog, TenMinuteRecords()));
    const qint64 lSize = QFileInfo(clDialog.SourceInfo().name).size();
    QCOMPARE(clDialog.SourceInfo().size, uint64_t(lSize));
    QCOMPARE(clDialog.ControlText(D::SizeLabel),
             QStringLiteral("%1 MB per file").arg((double(lSize) / 5 + 2355) / 1048576, 0, 'f', 2));

    clDialog.SourceInfo().size = 10485760;
    clDialog.Click(D::ByNumberRadio);
    clDialog.SetControlValue(D::NumberSpin, 2);
    QCOMPARE(clDialog.ControlText(D::SizeLabel), QStringLiteral("5.00 MB per file"));
    clDialog.SetControlValue(D::NumberSpin, 3);
    QCOMPARE(clDialog.ControlText(D::SizeLabel), QStringLiteral("3.34 MB per file"));
    clDialog.SourceInfo().size = 0;
    clDialog.SetControlValue(D::NumberSpin, 4);
    QCOMPARE(clDialog.ControlText(D::SizeLabel), QString());
}

void TestDialogEditors::utcDisplayKeepsTheInstants() {
    const QByteArray clOldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    {
        CTestDialog clDialog;
        QVERIFY(Load(clDialog, TenMinuteRecords()));
        auto *pFrom = clDialog.Get<QDateTimeEdit>(D::FromEdit);
        clDialog.SetControlText(D::FromEdit, QStringLiteral("hh:mm"));
        QCOMPARE(pFrom->text(), QStringLiteral("10:20"));
        clDialog.SetControlValue(D::UtcCheck, 0);
        QCOMPARE(pFrom->timeSpec(), Qt::LocalTime);
        QCOMPARE(pFrom->text(), QStringLiteral("11:20"));
        QCOMPARE(pFrom->dateTime(), Utc("10:20:00"));
        QCOMPARE(clDialog.Get<QDateTimeEdit>(D::ToEdit)->dateTime(), Utc("13:10:00"));
        clDialog.SetControlValue(D::UtcCheck, 1);
        QCOMPARE(pFrom->timeSpec(), Qt::UTC);
        QCOMPARE(pFrom->text(), QStringLiteral("10:20"));
    }
    if (clOldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", clOldTz);
}

void TestDialogEditors::frequencyCorrection() {
    CTestDialog clDialog;
    // TETRA auxiliary records without a frequency of their own.
    QVERIFY(Load(clDialog, {WorkerTestKit::Aux(At("10:00:00")), WorkerTestKit::Aux(At("10:05:00")),
                            WorkerTestKit::Tetra(At("10:10:00"), 392000000)}));
    QCOMPARE(clDialog.SourceInfo().frequency, int64_t(-1));
    QVERIFY(!clDialog.Hidden(D::FreqCheck));
    QVERIFY(!clDialog.Hidden(D::FreqEdit));
    QVERIFY(!clDialog.Checked(D::FreqCheck));
    QCOMPARE(clDialog.ControlText(D::FreqEdit), QStringLiteral("0"));
    QVERIFY(!clDialog.Enabled(D::FreqEdit));
    clDialog.Click(D::FreqCheck);
    QVERIFY(clDialog.Enabled(D::FreqEdit));
    clDialog.Click(D::FreqCheck);
    QVERIFY(!clDialog.Enabled(D::FreqEdit));

    // A source that states its frequency needs no correction.
    QVERIFY(Load(clDialog, {WorkerTestKit::Aux(At("10:00:00"), 390012500),
                            WorkerTestKit::Aux(At("10:05:00"))}));
    QCOMPARE(clDialog.SourceInfo().frequency, int64_t(390012500));
    QVERIFY(clDialog.Hidden(D::FreqCheck));
    QVERIFY(clDialog.Hidden(D::FreqEdit));
    QCOMPARE(clDialog.ControlText(D::FreqEdit), QStringLiteral("390012500"));

    // Nor one without auxiliary records.
    QVERIFY(Load(clDialog, TenMinuteRecords()));
    QCOMPARE(clDialog.SourceInfo().frequency, int64_t(-1));
    QVERIFY(clDialog.Hidden(D::FreqCheck));
    QCOMPARE(clDialog.ControlText(D::FreqEdit), QStringLiteral("0"));
}

BVF_TEST_MAIN(TestDialogEditors)
#include "test_dialog_editors.moc"
