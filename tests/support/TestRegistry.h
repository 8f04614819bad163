// One test executable per area: every test file registers its test class
// here instead of having a main of its own. The area's main runs them all, or
// only the file named as the first argument (what CTest does, one process a
// file, so that the files stay independent of each other).
#pragma once

// What every test file uses comes with the registration.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace TestRegistry {

using Factory = std::function<std::unique_ptr<QObject>()>;
// clstrSourceFile: __FILE__ of the test file; its base name selects it.
bool Add(const char *clstrSourceFile, Factory fnCreate);
// A test that runs the executable again as a child process of its own: with
// clstrOption as the first argument, main runs fnChild instead of the tests,
// before any application object exists.
using ChildMain = int (*)(int argc, char **argv);
bool AddChild(const char *clstrOption, ChildMain fnChild);

} // namespace TestRegistry

#define BVF_TEST_MAIN(Class)                                                                       \
    static const bool g_bBvfTestRegistered =                                                       \
        TestRegistry::Add(__FILE__, [] { return std::unique_ptr<QObject>(new Class); });
