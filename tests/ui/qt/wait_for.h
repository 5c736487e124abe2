// Waiting in a Qt test: the event loop runs until `done` holds, at most ten seconds.
#pragma once

#include <functional>

#include <QTest>

namespace melodock::testing {

inline bool until(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10'000); }

}  // namespace melodock::testing
