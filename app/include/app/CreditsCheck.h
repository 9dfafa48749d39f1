#pragma once
// Watches the keys typed into the main dialog for the credits word. Virtual-key codes of
// letters are the upper-case ASCII codes, so the letters are matched without regard to the
// shift state (k + 32 is the lower-case letter).
#include <cstdint>

class CCreditsCheck {
public:
    // Six lower-case letters.
    static constexpr const char kWord[] = "thanks";
    static constexpr int kLength = 6;

    // Feeds one key-down; true when it completed the word (the count then starts again).
    bool OnKeyDown(uint32_t virtualKey);
    int Index() const { return m_index; }

private:
    int m_index = 0;  // letters matched so far
};
