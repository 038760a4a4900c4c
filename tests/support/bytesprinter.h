#pragma once
// Failure messages that show byte strings readably: control and high bytes escaped.

#include <QtTest>

#include <string>

namespace QTest {
template <> inline char* toString(const std::string& s) {
    return toPrettyCString(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace QTest
