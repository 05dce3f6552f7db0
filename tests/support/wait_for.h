#pragma once
// Waits, with the event loop running, until a condition holds or a generous time has passed;
// end-to-end tests wait on what the window shows, never on fixed sleeps.
#include <QTest>

namespace torvex::test {

template <class Pred>
bool WaitFor(Pred done, int timeoutMs = 10000) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    if (done()) return true;
    QTest::qWait(20);
  }
  return done();
}

}  // namespace torvex::test
