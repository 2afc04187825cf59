#pragma once

#include <QString>

namespace halvora::test {

// Points HOME and every XDG directory at a fresh temporary directory, so that no test
// reads or writes the real user's files. Must run before Qt or glib read the environment;
// the test mains call it first thing. Returns the root of the temporary tree.
QString isolateUserEnvironment();

// The root made by isolateUserEnvironment().
QString isolatedRoot();

} // namespace halvora::test
