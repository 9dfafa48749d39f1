#include "app/CreditsCheck.h"

bool CCreditsCheck::OnKeyDown(uint32_t virtualKey) {
    if (m_index < 0 || m_index > kLength)
        m_index = 0;
    if (static_cast<uint8_t>(virtualKey + 32) == static_cast<uint8_t>(kWord[m_index])) {
        if (++m_index == kLength) {
            m_index = 0;
            return true;
        }
        return false;
    }
    m_index = 0;
    return false;
}
