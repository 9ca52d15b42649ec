#pragma once

// Closes every open popup and modal window, innermost first, as Escape would: a question or an error
// box ends unanswered. The number closed. Used when the program must end now (a termination signal).
int CloseModalWindows();
