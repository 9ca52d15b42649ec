#pragma once

#include <QString>

#include <functional>

namespace TestSupport {

// Runs the event loop until the condition holds, at most timeoutMs; whether it held.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
// Runs the event loop for that long, whatever happens.
void settle(int ms);

} // namespace TestSupport

// Displayed peer names carry bidi isolates; checks that look at the words drop them.
QString withoutIsolates(QString text);

using TestSupport::settle;
using TestSupport::waitUntil;
