#include "TestPaths.h"

std::wstring ToWide(const QString &clstrPath) {
    return clstrPath.toStdWString();
}
