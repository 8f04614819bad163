#include "FormatChoice.h"
#include "TestRegistry.h"

#include <QTest>
#include <string>

Q_DECLARE_METATYPE(FileFormatKind)

class TestFormatChoice : public QObject {
    Q_OBJECT

  private slots:
    void choice_data();
    void choice();
    void onlinePrefix_data();
    void onlinePrefix();
    void positionAndProgress();
};

void TestFormatChoice::choice_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<FileFormatKind>("kind");
    QTest::newRow("mixed case .LaN") << "/rec/cell.LaN" << FileFormatKind::Tmw;
    QTest::newRow("lower .lan") << "a.lan" << FileFormatKind::Tmw;
    QTest::newRow("lower .tmw") << "/rec/x.tmw" << FileFormatKind::ProprietaryTmw;
    QTest::newRow("upper .TMW") << "X.TMW" << FileFormatKind::ProprietaryTmw;
    QTest::newRow("exactly four chars") << ".tmw" << FileFormatKind::ProprietaryTmw;
    QTest::newRow("three-character path") << "lan" << FileFormatKind::Container;
    QTest::newRow(".txt is tried as a container") << "notes.txt" << FileFormatKind::Container;
    QTest::newRow(".bvf") << "part.bvf" << FileFormatKind::Container;
    QTest::newRow("lan without dot") << "/rec/xlan" << FileFormatKind::Container;
    QTest::newRow(".lan inside the path only") << "/a.lan/b.bvf" << FileFormatKind::Container;
    QTest::newRow("online prefix does not hide the extension")
        << "online:/rec/a.tmw" << FileFormatKind::ProprietaryTmw;
}

void TestFormatChoice::choice() {
    QFETCH(QString, path);
    QFETCH(FileFormatKind, kind);
    QCOMPARE(ChooseFileFormat(path.toStdWString().c_str()), kind);
}

void TestFormatChoice::onlinePrefix_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("onlineArgument");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<bool>("online");
    QTest::newRow("online:") << "online:/r/a.bvf" << false << "/r/a.bvf" << true;
    QTest::newRow("Online:") << "Online:/r/a.bvf" << false << "/r/a.bvf" << true;
    QTest::newRow("ONLINE:") << "ONLINE:/r/a.bvf" << false << "/r/a.bvf" << true;
    QTest::newRow("other casing is no prefix")
        << "OnLine:/r/a.bvf" << false << "OnLine:/r/a.bvf" << false;
    QTest::newRow("inside the path is no prefix")
        << "/r/online:a.bvf" << false << "/r/online:a.bvf" << false;
    QTest::newRow("argument used without prefix") << "/r/a.bvf" << true << "/r/a.bvf" << true;
    QTest::newRow("prefix alone") << "online:" << false << "" << true;
}

void TestFormatChoice::onlinePrefix() {
    QFETCH(QString, path);
    QFETCH(bool, onlineArgument);
    QFETCH(QString, opened);
    QFETCH(bool, online);
    const std::wstring clstrPath = path.toStdWString();
    bool bOnline = onlineArgument;
    const wchar_t *pOpened = ApplyOnlinePrefix(clstrPath.c_str(), bOnline);
    QCOMPARE(QString::fromWCharArray(pOpened), opened);
    QCOMPARE(bOnline, online);
}

void TestFormatChoice::positionAndProgress() {
    // Position 0 or below, or an unknown size: no progress.
    QCOMPARE(ConsumedFilePosition(0, 0, 0), uint64_t(0));
    QCOMPARE(ConsumedFilePosition(-1, 10, 5), uint64_t(0));
    QCOMPARE(ConsumedFileProgress(1000, 0, 0, -1), 0.0);
    QCOMPARE(ConsumedFileProgress(1000, 0, 0, 0), 0.0);
    // 1000 bytes read from the file, 400 of them still in the buffer, 100 of
    // those used: 700 consumed.
    QCOMPARE(ConsumedFilePosition(1000, 400, 100), uint64_t(700));
    QCOMPARE(ConsumedFileProgress(1000, 400, 100, 1400), 50.0);
    // Everything held used up: the position is the file position.
    QCOMPARE(ConsumedFilePosition(131072, 131072, 131072), uint64_t(131072));
    // Positions past 4 GiB are not cut.
    const int64_t lBig = int64_t(6) << 30;
    QCOMPARE(ConsumedFilePosition(lBig, 0, 0), uint64_t(lBig));
    QCOMPARE(ConsumedFileProgress(lBig, 0, 0, lBig * 2), 50.0);
}

BVF_TEST_MAIN(TestFormatChoice)
#include "test_format_choice.moc"
