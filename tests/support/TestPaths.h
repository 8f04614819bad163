#pragma once

#include <QString>
#include <string>

// A QString path as the wide string the file classes take.
std::wstring ToWide(const QString &clstrPath);
