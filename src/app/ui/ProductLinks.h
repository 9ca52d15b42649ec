#pragma once

// The product's web page and support mailbox. Both are placeholders: this is the one place to change
// them, and every link command, the About window, the error report and the packaging (the package's
// maintainer and home page, the AppStream file) read them from here.
namespace ProductLinks {
inline constexpr char WebPage[] = "https://perixchat.example.org/";
inline constexpr char SupportMail[] = "support@perixchat.example.org";
} // namespace ProductLinks
