#pragma once

#include <QIcon>

// The program's window icon in all its sizes; a null icon when the resource is
// missing (then no window icon is set and nothing is reported).
QIcon LoadApplicationIcon();
