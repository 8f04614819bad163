// The main of an area's test executable: "test_AREA [FILE] [Qt Test options]"
// runs the test classes of the named file (its base name, as test_files), or
// of every file. Built into each area executable; BVF_TEST_GUI selects a
// widgets application, started offscreen.
#include "TestRegistry.h"

#ifdef BVF_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif
#include <QFileInfo>
#include <QList>
#include <QStringList>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

struct Entry {
    QString name;
    TestRegistry::Factory create;
};

std::vector<Entry> &Entries() {
    static std::vector<Entry> s_clEntries;
    return s_clEntries;
}

std::vector<std::pair<const char *, TestRegistry::ChildMain>> &Children() {
    static std::vector<std::pair<const char *, TestRegistry::ChildMain>> s_clChildren;
    return s_clChildren;
}

} // namespace

bool TestRegistry::Add(const char *clstrSourceFile, Factory fnCreate) {
    Entries().push_back(
        {QFileInfo(QString::fromUtf8(clstrSourceFile)).completeBaseName(), std::move(fnCreate)});
    return true;
}

bool TestRegistry::AddChild(const char *clstrOption, ChildMain fnChild) {
    Children().emplace_back(clstrOption, fnChild);
    return true;
}

int main(int argc, char **argv) {
    for (const auto &[clstrOption, fnChild] : Children()) {
        if (argc > 1 && std::strcmp(argv[1], clstrOption) == 0)
            return fnChild(argc, argv);
    }
#ifdef BVF_TEST_GUI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication clApp(argc, argv);
#else
    QCoreApplication clApp(argc, argv);
#endif
    QStringList clArguments = clApp.arguments();
    QString clstrOnly;
    if (clArguments.size() > 1 && !clArguments[1].startsWith(u'-')) {
        clstrOnly = clArguments[1];
        clArguments.removeAt(1);
    }
    int lFailed = 0;
    bool bFound = false;
    for (const Entry &clEntry : Entries()) {
        if (!clstrOnly.isEmpty() && clEntry.name != clstrOnly)
            continue;
        bFound = true;
        const std::unique_ptr<QObject> pTest = clEntry.create();
        lFailed += QTest::qExec(pTest.get(), clArguments);
    }
    if (!bFound) {
        std::fprintf(stderr, "no test file named %s\n", qPrintable(clstrOnly));
        return 2;
    }
    return lFailed;
}
