#pragma once

// A window that Esc or Enter closes must not pass the rest of that keystroke on: its auto-repeat would
// otherwise reach the window below (an Enter into a talk's input sends a message). After Swallow(key),
// every key press and shortcut up to the release of that key is eaten, for at most a second.
namespace KeySwallow {

void Swallow(int key);
bool IsSwallowing();

} // namespace KeySwallow
